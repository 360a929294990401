#include "catalogue/install_paths.h"

#include <filesystem>
#include <system_error>

namespace dravelo {

namespace fs = std::filesystem;

std::string data_dir(std::string_view name, const std::string& program_folder) {
  const std::string from = program_folder.empty() ? program_dir() : program_folder;
  if (from.empty()) return {};
  const fs::path bin(from);
  std::error_code ec;
  const fs::path installed = bin / ".." / "share" / "dravelo" / name;
  if (fs::is_directory(installed, ec)) return fs::weakly_canonical(installed, ec).string();
  // BUILD/src/ui/dravelo or BUILD/src/cli/dravelo-cli.
  const fs::path build = bin.parent_path().parent_path();
  if (bin.parent_path().filename() == "src" && fs::is_directory(build / name, ec))
    return fs::weakly_canonical(build / name, ec).string();
  return {};
}

}  // namespace dravelo
