#include "catalogue/result_text.h"

#include <cstdio>

#include "catalogue/texts.h"

namespace dravelo {

int status_text_index(int percent) {
  if (percent == 100) return 60;
  if (percent >= 67 && percent <= 99) return 59;
  if (percent >= 34 && percent <= 66) return 58;
  if (percent >= 1 && percent <= 33) return 57;
  if (percent == 0) return 56;
  if (percent == -1) return 53;
  if (percent == -2) return 54;
  if (percent == -3) return 55;
  return -1;
}

std::string status_text(int percent) {
  const int index = status_text_index(percent);
  return index < 0 ? std::string() : lang_text(index);
}

std::string format_size(std::int64_t size) {
  char buf[64];
  if (size >= 1000000) {
    std::snprintf(buf, sizeof buf, "%.2f Mb", static_cast<double>(size) / 1000000.0);
  } else if (size < 1024) {
    std::snprintf(buf, sizeof buf, "%lld b", static_cast<long long>(size));
  } else {
    std::snprintf(buf, sizeof buf, "%.0f Kb", static_cast<double>(size) / 1024.0);
  }
  return buf;
}

}  // namespace dravelo
