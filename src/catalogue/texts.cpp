#include "catalogue/texts.h"

#include <charconv>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dravelo {

const std::vector<std::string_view>& embedded_string_tables();

int lang_base = kEnglishBase;

namespace {

int parse_int(std::string_view s, bool* ok) {
  int v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  *ok = ec == std::errc() && p == s.data() + s.size();
  return v;
}

// Every table's texts, keyed by base + index.
const std::unordered_map<int, std::string>& all_texts() {
  static const std::unordered_map<int, std::string> texts = [] {
    std::unordered_map<int, std::string> out;
    for (std::string_view table : embedded_string_tables()) {
      int base = -1;
      std::size_t pos = 0;
      while (pos < table.size()) {
        std::size_t end = table.find('\n', pos);
        if (end == std::string_view::npos) end = table.size();
        std::string_view line = table.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, tab);
        const std::string_view text = line.substr(tab + 1);
        bool ok = false;
        if (key == "base") {
          base = parse_int(text, &ok);
          if (!ok) base = -1;
          continue;
        }
        const int index = parse_int(key, &ok);
        if (ok && base >= 0) out[base + index] = std::string(text);
      }
    }
    return out;
  }();
  return texts;
}

}  // namespace

std::string table_text(int base, int i) {
  const auto& texts = all_texts();
  auto it = texts.find(base + i);
  return it == texts.end() ? std::string() : it->second;
}

std::string lang_text(int i) {
  std::string text = table_text(lang_base, i);
  if (text.empty()) text = table_text(kEnglishBase, i);
  return text;
}

}  // namespace dravelo
