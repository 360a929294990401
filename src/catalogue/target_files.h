// The file calls that the recovery's target files need, one set per platform: an exclusive
// create, writes, close and removal, folders, existence and the modification time. Paths are
// UTF-8; on Windows they reach the wide calls as "\\?\" paths, so names and paths of any length
// are written as given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dravelo {

// An open target file: a file descriptor, or a Windows HANDLE.
using TargetHandle = std::intptr_t;
constexpr TargetHandle kNoTargetHandle = -1;

// Creates path for writing; fails when anything exists there already (*existed then true).
// On failure *error holds the system's reason.
bool create_exclusive_file(const std::string& path, TargetHandle* handle, std::string* error, bool* existed);

// Writes all of data, or as much as the target takes; returns the count written. A short count
// sets *error (a full disk gives the system's text for it).
std::size_t write_target_file(TargetHandle handle, const void* data, std::size_t size, std::string* error);

// Moves the file's end bytes past the current position (its end) without writing them: the gap
// reads as zeros and, where the file system allows, takes no space (a hole; on Windows the file
// is made sparse first). The next write goes after it. False with *error when the file cannot be
// made that long.
bool extend_target_file(TargetHandle handle, std::int64_t bytes, std::string* error);

// Closes the file; false with *error when the last bytes could not be written.
bool close_target_file(TargetHandle handle, std::string* error);

// Deletes a file (a recovery cut short, a stream that could not be finished); silent on failure.
void remove_target_file(const std::string& path);

// Makes the folder and its missing parents; false with *error when it cannot be made.
bool make_target_folder(const std::string& path, std::string* error);

// Whether anything (a file, a folder, a dangling link) exists at path.
bool target_path_exists(const std::string& path);

// Why files cannot be written into the existing folder path, empty when they can.
std::string target_folder_unusable(const std::string& path);

// Sets the file's modification time (seconds since 1970, UTC); the access time is left alone.
void set_target_modified_time(const std::string& path, std::int64_t unix_seconds);
// The same through a file's open handle, without looking its path up again.
void set_target_handle_modified_time(TargetHandle handle, std::int64_t unix_seconds);

}  // namespace dravelo
