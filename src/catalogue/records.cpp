#include "catalogue/records.h"

#include <utility>

namespace dravelo {

void FolderArray::append(FolderInfo record) {
  if (records_.size() % kBlock == 0) records_.reserve(records_.size() + kBlock);
  first_by_inode_.try_emplace(record.inode, size());
  records_.push_back(std::move(record));
}

std::int32_t FolderArray::find(std::int32_t inode) const {
  auto it = first_by_inode_.find(inode);
  return it == first_by_inode_.end() ? -1 : it->second;
}

void FolderArray::release() {
  std::vector<FolderInfo>().swap(records_);
  std::unordered_map<std::int32_t, std::int32_t>().swap(first_by_inode_);
}

void FolderArray::reindex() {
  first_by_inode_.clear();
  for (std::int32_t i = 0; i < size(); ++i) first_by_inode_.try_emplace(records_[static_cast<std::size_t>(i)].inode, i);
}

FileInfo& FileList::push(FileInfo&& entry) {
  if (size_ % kBlock == 0 && capacity() == size_) blocks_.push_back(std::make_unique<FileInfo[]>(kBlock));
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
  blocks_.clear();
  blocks_.shrink_to_fit();
  size_ = 0;
}

}  // namespace dravelo
