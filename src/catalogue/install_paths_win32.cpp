#include <windows.h>

#include <vector>

#include "catalogue/install_paths.h"
#include "catalogue/win32_path.h"

namespace dravelo {

std::string program_dir() {
  std::vector<wchar_t> buffer(32768);
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n >= buffer.size()) return {};
  std::wstring path(buffer.data(), n);
  const std::size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? std::string() : narrow(path.substr(0, cut));
}

}  // namespace dravelo
