// Names of FAT directory entries: short (8.3) names in the OEM code page 437, long (VFAT) names
// from their UTF-16 pieces, and the test of a name that a FAT volume could have held. Every name
// leaves here as UTF-8.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace dravelo {

// One byte of code page 437 as a Unicode code point.
char32_t cp437_char(std::uint8_t byte);

// Code page 437 bytes to UTF-8.
std::string cp437_to_utf8(std::span<const std::uint8_t> bytes);

// The name part of a short name (its first 8 bytes): taken up to its first 0x00 byte, decoded
// with code page 437 (first byte as FatShortName reads it), and trimmed of leading and trailing
// characters at or below U+0020. "." for a directory's own "." entry.
std::string short_name_part(std::span<const std::uint8_t> bytes);

// The short name of a 32-byte directory entry: the name part, then "." and the extension part
// when that is not empty (README, two blanks, TXT gives README.TXT; an all-zero entry gives the
// empty name). A first byte 0xE5 is the deletion mark, which took the place of the name's first
// character: it reads as "_" (a deleted README.TXT gives _EADME.TXT). A first byte 0x05 stands
// for a real first character 0xE5, which the deletion mark would otherwise hide.
// Byte 12's flags 0x08 and 0x10 show the name part and the extension in lower case (A to Z
// only): lower.txt, deleted _ower.txt.
std::string FatShortName(std::span<const std::uint8_t, 32> entry);

// Appends the text of one long-name entry (its 13 UTF-16 units at offsets 1, 14 and 28) to
// units: up to the name's terminator U+0000, without the 0xFFFF fillers after it. True when
// the piece holds the terminator: the name ends there, whatever later pieces hold.
bool append_long_name_units(std::span<const std::uint8_t, 32> entry, std::u16string* units);

// Characters that a short name may hold (lower-case letters excluded: short names are stored
// in upper case, the case flags of byte 12 aside).
bool IsShortNameByte(std::uint8_t b);

// True for a byte that a short name may start with: a short-name character other than the
// blank and the deletion mark.
bool IsShortNameFirstByte(std::uint8_t b);

// The checksum of a short name (the 11 bytes of its entry, the first one given apart, since a
// deleted entry lost it to the deletion mark) that its long-name entries carry.
std::uint8_t ShortNameChecksum(std::span<const std::uint8_t, 32> entry, std::uint8_t first);

// False when the name is empty, holds any of \ / : * ? " < > |, or starts or ends with the
// control character U+0014: such names cannot stand on a FAT volume, so the entry is debris.
bool IsValidFileName(std::string_view name);

}  // namespace dravelo
