// File names that Windows refuses, and the visible substitutes that a recovery writes instead.
// FAT and NTFS volumes (and a damaged directory) can hold names that Win32 cannot create: names
// with : * ? " < > | \ or control characters, names ending in a dot or a blank (the Win32 layer
// strips those), and the device names CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9, with any
// extension ("con.txt" opens the console). A recovery on Windows writes such a file under a
// substitute and says so.
#pragma once

#include <string>

namespace dravelo {

// Which file-name rules the target follows.
enum class NameRules {
  posix,    // only "/" and NUL are refused
  windows,  // the Win32 rules above
};

// The rules of the system this program was built for.
constexpr NameRules native_name_rules() {
#ifdef _WIN32
  return NameRules::windows;
#else
  return NameRules::posix;
#endif
}

// The name itself when Windows accepts it; otherwise each refused character and each trailing
// dot or blank becomes "_", and a device name gets "_" in front ("CON.txt" -> "_CON.txt").
std::string windows_safe_name(const std::string& name);

// Whether name is one of the device names, with or without an extension, in any case.
bool is_windows_device_name(const std::string& name);

}  // namespace dravelo
