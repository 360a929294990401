// Paths and error texts for the Windows calls. The catalogue and the front ends hold UTF-8; the
// wide ("W") calls take UTF-16, and paths of any length once they carry the "\\?\" prefix.
// Only the Windows build has these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dravelo {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

// The path for a wide file call: "/" becomes "\", a relative path is made absolute, and a path
// of a drive or share gets "\\?\" ("\\?\UNC\" for a share) so that it may be longer than 260
// characters and may hold names that the plain calls would alter (a trailing dot or blank).
// A device path ("\\.\X:") and a path that has a prefix already are left as they are.
std::wstring long_path(const std::string& utf8);

// The system's text for an error code (GetLastError), without the closing line break.
std::string win32_error_text(std::uint32_t code);

}  // namespace dravelo
