// The catalogue's records: drives, folders found on a volume, found files, recycle-bin name pairs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalogue/shared_text.h"

namespace dravelo {

// Days since 1899-12-30 00:00, the fraction being the time of day; 0 means no known date.
using DateTime = double;

// Names (FileName, FolderName) are UTF-8 text of at most this many characters. A Path is kept
// whole, however deep the folder: it is stored once per folder (SharedText), so its length costs
// nothing per file, and a cut path would recreate the cut folder and lose the deeper levels.
constexpr std::size_t kNameCapacity = 255;
// FolderInfo::fs keeps at most this many characters of the drive's file-system name.
constexpr std::size_t kFolderFsCapacity = 5;

// The root directory's identity on both file systems.
constexpr std::int32_t kRootFolder = 5;

struct FolderInfo {
  std::int32_t inode = 0;
  std::string fs;
  char drv = 0;
  std::int32_t parent = 0;
  std::string FolderName;
  std::uint8_t deleted_flag = 0;
};

// A drive's folder array. Its capacity grows in blocks of 1000 records; the storage under it
// grows by half of itself at a time, so that a volume of a million folders costs a few dozen
// moves of the array rather than a thousand. Keeps an index by inode beside the records so that
// a lookup does not cost a search of the whole array.
class FolderArray {
 public:
  static constexpr std::int32_t kBlock = 1000;

  std::int32_t size() const { return static_cast<std::int32_t>(records_.size()); }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return records_.empty(); }
  FolderInfo& operator[](std::int32_t i) { return records_[static_cast<std::size_t>(i)]; }
  const FolderInfo& operator[](std::int32_t i) const { return records_[static_cast<std::size_t>(i)]; }

  void append(FolderInfo record);
  // Position of the first record with this inode, or -1.
  std::int32_t find(std::int32_t inode) const;
  // Empties the array and releases its storage.
  void release();
  // For reordering in place; call reindex() afterwards.
  std::vector<FolderInfo>& records() { return records_; }
  void reindex();

 private:
  std::vector<FolderInfo> records_;
  std::size_t capacity_ = 0;
  std::unordered_map<std::int32_t, std::int32_t> first_by_inode_;
};

struct DriveInfo {
  std::int32_t drive_type = 0;  // 0 floppy, 1 fixed disk or image file, 2 other removable
  char drive_name = 0;          // lower-case letter
  double drive_size = 0;        // MiB, with its fraction (a 1.44 MB floppy: 1.40625)
  std::uint8_t selected = 0;
  std::string drive_fs;         // "FAT32", "FAT", "exFAT", "NTFS" or empty
  std::int32_t cluster_size = 0;
  std::int64_t total_bytes = 0;
  std::int64_t free_bytes = 0;
  FolderArray Folders;
  // Where the volume is read from: a block device or an image file, and the byte range of it that
  // the volume fills (a partition of a whole disk starts further in; -1: to the device's end).
  std::string device_path;
  bool is_image = false;
  std::int64_t volume_offset = 0;
  std::int64_t volume_length = -1;
  // Where in the volume the boot sector that stands in for its first sector lies, when the first
  // is damaged and a backup serves (FAT32's backup sector, NTFS's last sector); 0: its own.
  std::int64_t boot_from = 0;
  // Which part of its disk the volume is: the number of its partition in the table (0: none), or
  // a volume that no table entry covers, found by a search of the disk.
  std::int32_t partition = 0;
  bool lost = false;
  // The probed file-system name before it is reduced to drive_fs ("FAT16", "ntfs", ...).
  std::string probed_fs;

  std::int32_t CurrentFolder() const { return Folders.size(); }
};

// Names one volume among all those of the process: its device and where on it the volume starts
// (two partitions of one disk share the device).
inline std::string volume_key(const DriveInfo& drive) {
  return drive.volume_offset == 0 ? drive.device_path : drive.device_path + "@" + std::to_string(drive.volume_offset);
}

// A found file. The fields are ordered by size so that no padding is wasted: a catalogue holds
// millions of them.
struct FileInfo {
  std::int64_t startCluster = 0;
  std::int64_t FileSize = 0;
  DateTime DateCreated = 0;
  DateTime DateModified = 0;
  std::int64_t lcn = 0;
  std::string FileName;
  // The file's folder, shared with the other files of the same folder (add_file does that).
  SharedText Path;
  SharedText fs;
  std::int32_t drive = 0;
  std::int32_t inode = 0;
  std::int32_t parent = 0;
  std::int32_t lcn_offset = 0;
  std::uint16_t FileExt = 0;
  char drv = 0;
  std::int8_t Percent = 0;
  std::uint8_t selected = 0;
};

// What tells one volume from another, as read when it was scanned: where it is read from, its
// size, and what its boot sector says (file system, serial number, geometry). A letter can move
// when the drive list is rebuilt and a medium or image can be replaced under the same path; the
// found files stay tied to the volume that these facts name.
struct VolumeIdentity {
  bool known = false;  // recorded by an analysis
  char letter = 0;     // the drive letter the volume was scanned under
  std::string device_path;
  bool is_image = false;
  std::int64_t volume_offset = 0;  // where the volume starts on its device
  std::int64_t total_bytes = 0;
  std::string drive_fs;
  std::uint64_t serial = 0;  // the volume serial number of the boot sector (0 when it has none)
  std::uint32_t bytes_per_sector = 0;
  std::uint32_t sectors_per_cluster = 0;
  std::uint64_t total_sectors = 0;
  std::string label;  // the volume label, empty when it has none
};

struct TRecycleBinFile {
  std::string oFileName;  // "$R..." name of the recycle-bin data file
  std::string FileName;   // the name the file had before it went to the recycle bin
};

// The found files. Storage comes in blocks of 5000 entries that never move once allocated, so
// the capacity is always a multiple of 5000 and growing never copies the entries already there.
// The blocks are cut from slabs of large memory (see large_memory.h), several blocks a slab.
class FileList {
 public:
  static constexpr std::int32_t kBlock = 5000;

  FileList() = default;
  FileList(const FileList&) = delete;
  FileList& operator=(const FileList&) = delete;
  ~FileList() { release(); }

  std::int32_t size() const { return size_; }
  std::int64_t capacity() const { return static_cast<std::int64_t>(blocks_.size()) * kBlock; }
  FileInfo& operator[](std::int32_t i) { return blocks_[static_cast<std::size_t>(i / kBlock)][i % kBlock]; }
  const FileInfo& operator[](std::int32_t i) const { return blocks_[static_cast<std::size_t>(i / kBlock)][i % kBlock]; }

  // Appends an entry, growing by one block when the count is a multiple of 5000.
  FileInfo& push(FileInfo&& entry);
  void swap_entries(std::int32_t a, std::int32_t b);
  // Empties the list and releases all storage (capacity 0).
  void release();

 private:
  struct Slab {
    void* memory;
    std::size_t bytes;
  };
  void add_block();
  std::vector<FileInfo*> blocks_;
  std::vector<Slab> slabs_;
  std::size_t blocks_in_last_slab_ = 0;
  std::int32_t size_ = 0;
};

}  // namespace dravelo
