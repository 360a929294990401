#include <filesystem>
#include <system_error>

#include "catalogue/install_paths.h"

namespace dravelo {

std::string program_dir() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

}  // namespace dravelo
