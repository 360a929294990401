// Text helpers shared by the engines and the front ends. Names are kept as UTF-8 throughout.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dravelo {

// Appends one character as UTF-8.
void append_utf8(std::string& out, char32_t c);

// UTF-16 (little-endian code units already decoded) to UTF-8; a lone surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);
// UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);
// Reads count UTF-16LE code units from raw bytes.
std::u16string utf16le_units(const std::uint8_t* bytes, std::size_t count);

// Number of characters (code points) in UTF-8 text.
std::size_t utf8_length(std::string_view text);
// The first max_chars characters of UTF-8 text.
std::string cut_utf8(std::string_view text, std::size_t max_chars);
// Cuts a catalogue name in place to 255 characters.
void cut_name(std::string& text);

// A name from a volume made safe to show: the C0 controls and DEL become \t, \n, \r or \xHH and
// the C1 controls (U+0080 to U+009F) \u0080 to \u009f, so that a name can neither drive a
// terminal nor break a line or a column. Everything else, backslashes included (paths use them),
// is kept as it is.
std::string escape_controls(std::string_view text);

// Upper-cases the ASCII letters a to z only.
std::string upper_ascii(std::string_view text);

}  // namespace dravelo
