// Hand-made FAT boot sectors and allocation tables for the parser tests, held in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fat/fat_boot.h"
#include "volume/volume_backend.h"

namespace dravelo::test {

struct BootFields {
  std::uint16_t bytes_per_sector = 512;
  std::uint8_t sectors_per_cluster = 1;
  std::uint16_t reserved = 1;
  std::uint8_t fats = 1;
  std::uint16_t root_entries = 16;
  std::uint32_t total_sectors = 0;  // put in TotSec16 when it fits, else TotSec32
  std::uint32_t fat_sectors = 1;    // FATSz16, or FATSz32 when fat32_layout
  bool fat32_layout = false;
  std::uint32_t root_cluster = 2;
};

inline void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}

inline std::vector<std::uint8_t> boot_sector(const BootFields& f) {
  std::vector<std::uint8_t> b(512, 0);
  b[0] = 0xEB;
  b[1] = 0x3C;
  b[2] = 0x90;
  put16(b, 0x0B, f.bytes_per_sector);
  b[0x0D] = f.sectors_per_cluster;
  put16(b, 0x0E, f.reserved);
  b[0x10] = f.fats;
  put16(b, 0x11, f.root_entries);
  if (f.total_sectors < 0x10000) put16(b, 0x13, f.total_sectors);
  else put32(b, 0x20, f.total_sectors);
  b[0x15] = 0xF8;
  if (f.fat32_layout) {
    put32(b, 0x24, f.fat_sectors);
    put32(b, 0x2C, f.root_cluster);
  } else {
    put16(b, 0x16, f.fat_sectors);
  }
  b[510] = 0x55;
  b[511] = 0xAA;
  return b;
}

inline FatBootRecord boot_record(const BootFields& f) {
  FatBootRecord r;
  const std::vector<std::uint8_t> b = boot_sector(f);
  std::copy(b.begin(), b.end(), r.bytes.begin());
  return r;
}

// Boot sector and the first FAT only (the data area is left out: the FAT tests never read it).
// Entries are set with set_entry; every other entry is 0 (free), except the two reserved ones.
struct FatOnlyVolume {
  BootFields fields;
  FatGeometry geometry;
  std::vector<std::uint8_t> bytes;

  explicit FatOnlyVolume(const BootFields& f) : fields(f) {
    DeriveFatGeometry(boot_record(f), &geometry);
    bytes = boot_sector(f);
    bytes.resize(static_cast<std::size_t>(geometry.first_fat_offset + geometry.fat_bytes), 0);
    set_entry(0, 0x0FFFFFF8);
    set_entry(1, 0x0FFFFFFF);
  }

  void set_entry(std::uint32_t n, std::uint32_t value) {
    const std::size_t at = static_cast<std::size_t>(geometry.first_fat_offset) + static_cast<std::size_t>(n) * geometry.fat_bits / 8;
    if (geometry.fat_bits == 32) {
      put32(bytes, at, value);
    } else if (geometry.fat_bits == 16) {
      put16(bytes, at, value & 0xFFFF);
    } else if (n & 1) {
      bytes[at] = static_cast<std::uint8_t>((bytes[at] & 0x0F) | ((value & 0x0F) << 4));
      bytes[at + 1] = static_cast<std::uint8_t>(value >> 4);
    } else {
      bytes[at] = static_cast<std::uint8_t>(value);
      bytes[at + 1] = static_cast<std::uint8_t>((bytes[at + 1] & 0xF0) | ((value >> 8) & 0x0F));
    }
  }

  // Registers the bytes as "mem:name" and returns that path.
  std::string publish(const std::string& name) const {
    register_memory_volume(name, bytes);
    return "mem:" + name;
  }
};

}  // namespace dravelo::test
