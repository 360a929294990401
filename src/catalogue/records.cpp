#include "catalogue/records.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>

#include "catalogue/large_memory.h"

namespace dravelo {

void FolderArray::append(FolderInfo record) {
  if (records_.size() % kBlock == 0 && records_.size() == capacity_) capacity_ = records_.size() + kBlock;
  if (records_.size() == records_.capacity()) records_.reserve(std::max(capacity_, records_.size() + records_.size() / 2));
  first_by_inode_.try_emplace(record.inode, size());
  records_.push_back(std::move(record));
}

std::int32_t FolderArray::find(std::int32_t inode) const {
  auto it = first_by_inode_.find(inode);
  return it == first_by_inode_.end() ? -1 : it->second;
}

void FolderArray::release() {
  std::vector<FolderInfo>().swap(records_);
  capacity_ = 0;
  std::unordered_map<std::int32_t, std::int32_t>().swap(first_by_inode_);
}

void FolderArray::reindex() {
  first_by_inode_.clear();
  for (std::int32_t i = 0; i < size(); ++i) first_by_inode_.try_emplace(records_[static_cast<std::size_t>(i)].inode, i);
}

namespace {

// A slab holds as many blocks as fit in 8 MiB (about eleven), so that large pages are filled.
constexpr std::size_t kSlabBytes = std::size_t{8} << 20;
constexpr std::size_t kBlockBytes = sizeof(FileInfo) * FileList::kBlock;
constexpr std::size_t kBlocksPerSlab = kSlabBytes / kBlockBytes > 0 ? kSlabBytes / kBlockBytes : 1;

}  // namespace

void FileList::add_block() {
  if (slabs_.empty() || blocks_in_last_slab_ == kBlocksPerSlab) {
    const std::size_t bytes = kBlocksPerSlab * kBlockBytes;
    void* memory = large_allocate(bytes);
    if (!memory) throw std::bad_alloc();
    slabs_.push_back({memory, bytes});
    blocks_in_last_slab_ = 0;
  }
  auto* block = static_cast<FileInfo*>(slabs_.back().memory) + blocks_in_last_slab_ * static_cast<std::size_t>(kBlock);
  std::uninitialized_value_construct_n(block, kBlock);
  blocks_.push_back(block);
  ++blocks_in_last_slab_;
}

FileInfo& FileList::push(FileInfo&& entry) {
  if (size_ == capacity()) add_block();
  FileInfo& slot = (*this)[size_];
  slot = std::move(entry);
  ++size_;
  return slot;
}

void FileList::swap_entries(std::int32_t a, std::int32_t b) {
  using std::swap;
  swap((*this)[a], (*this)[b]);
}

void FileList::release() {
  for (FileInfo* block : blocks_) std::destroy_n(block, kBlock);
  for (const Slab& slab : slabs_) large_release(slab.memory, slab.bytes);
  std::vector<FileInfo*>().swap(blocks_);
  std::vector<Slab>().swap(slabs_);
  blocks_in_last_slab_ = 0;
  size_ = 0;
}

}  // namespace dravelo
