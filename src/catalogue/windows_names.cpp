#include "catalogue/windows_names.h"

#include <cctype>
#include <string_view>

namespace dravelo {
namespace {

bool refused_char(unsigned char c) {
  return c < 0x20 || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|' ||
         c == '\\' || c == '/';
}

}  // namespace

bool is_windows_device_name(const std::string& name) {
  // The device is named by the part before the first dot; blanks before the dot do not count.
  std::string_view base(name);
  base = base.substr(0, base.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  std::string upper(base);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  return upper.size() == 4 && (upper.rfind("COM", 0) == 0 || upper.rfind("LPT", 0) == 0) && upper[3] >= '1' &&
         upper[3] <= '9';
}

std::string windows_safe_name(const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (refused_char(static_cast<unsigned char>(c))) c = '_';
  for (std::size_t i = out.size(); i > 0 && (out[i - 1] == '.' || out[i - 1] == ' '); --i) out[i - 1] = '_';
  if (is_windows_device_name(out)) out.insert(out.begin(), '_');
  return out;
}

}  // namespace dravelo
