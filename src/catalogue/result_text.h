// Texts of the result list's cells that the core shares with the command line.
#pragma once

#include <cstdint>
#include <string>

namespace dravelo {

// The status word of a Percent value in the current language ("Very Good" ... "Encrypted"),
// empty for values outside the vocabulary.
std::string status_text(int percent);
// The string-table index of that word, or -1.
int status_text_index(int percent);

// "1023 b", "977 Kb", "1.05 Mb": megabytes are 10^6 bytes, kilobytes 1024.
std::string format_size(std::int64_t size);

}  // namespace dravelo
