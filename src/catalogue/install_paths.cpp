#include "catalogue/install_paths.h"

#include <filesystem>
#include <system_error>

namespace dravelo {

namespace fs = std::filesystem;

std::string program_dir() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

std::string data_dir(std::string_view name, const std::string& program_folder) {
  const std::string from = program_folder.empty() ? program_dir() : program_folder;
  if (from.empty()) return {};
  const fs::path bin(from);
  std::error_code ec;
  for (const fs::path& candidate : {bin / ".." / "share" / "dravelo" / name, bin / ".." / ".." / name}) {
    if (fs::is_directory(candidate, ec)) return fs::weakly_canonical(candidate, ec).string();
  }
  return {};
}

}  // namespace dravelo
