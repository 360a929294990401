#include "catalogue/win32_path.h"

#include <windows.h>

#include <vector>

namespace dravelo {

std::wstring widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring long_path(const std::string& utf8) {
  std::wstring path = widen(utf8);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) return path;
  // GetFullPathNameW makes the path absolute; it also drops trailing dots and blanks of the last
  // name, which a "\\?\" path keeps, so the name is put back as it was given.
  const DWORD need = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return path;
  std::vector<wchar_t> buffer(need + 1);
  const DWORD got = ::GetFullPathNameW(path.c_str(), need + 1, buffer.data(), nullptr);
  if (got == 0 || got > need) return path;
  std::wstring full(buffer.data(), got);
  const std::size_t given_cut = path.find_last_of(L'\\');
  const std::wstring given_name = given_cut == std::wstring::npos ? path : path.substr(given_cut + 1);
  const std::size_t full_cut = full.find_last_of(L'\\');
  if (!given_name.empty() && given_name.find(L':') == std::wstring::npos && full_cut != std::wstring::npos)
    full = full.substr(0, full_cut + 1) + given_name;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::string win32_error_text(std::uint32_t code) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out;
  if (n > 0 && text) out = narrow(std::wstring_view(text, n));
  if (text) ::LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
    out.pop_back();
  if (out.empty()) out = "error " + std::to_string(code);
  return out;
}

}  // namespace dravelo
