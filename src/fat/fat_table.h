// The file allocation table: reading one entry of any width, following a directory's chain, and
// the search for the next free cluster.
#pragma once

#include <cstdint>

#include "fat/fat_boot.h"

namespace dravelo {

class TBuffer;

// Byte offset of cluster n's entry in the first FAT: n x width / 8, rounded down. A 12-bit entry
// starts at byte n x 3 / 2, a 16-bit one at n x 2, a 32-bit one at n x 4.
std::int64_t fat_entry_offset(const FatGeometry& g, ClusterNumber n);

// Decodes cluster n's entry from the little-endian bytes read at its offset (at least 2 bytes
// for 12 and 16 bits, 4 for 32). A 12-bit entry of an odd cluster is the high 12 bits of its two
// bytes, of an even cluster the low 12 bits; a 32-bit entry keeps only its low 28 bits, the top
// four being reserved.
inline std::uint32_t decode_fat_entry(std::uint32_t fat_bits, ClusterNumber n, const std::uint8_t* bytes) {
  if (fat_bits == 32) {
    const std::uint32_t v = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                            (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
    return v & 0x0FFFFFFFu;
  }
  std::uint32_t v = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8);
  if (fat_bits == 12) {
    if (n & 1u) v >>= 4;
    return v & 0x0FFFu;
  }
  return v;
}

// Reads cluster n's entry through reader. False when n has no entry in the FAT or the bytes could
// not be read.
bool ReadFatEntry(TBuffer& reader, const FatGeometry& g, ClusterNumber n, std::uint32_t* value);

// Reads size bytes of the first FAT from byte offset at on. Where a sector of the first FAT cannot
// be read, the same bytes of the next copy are taken, as Windows keeps the copies the same.
// Returns how many bytes from at on were read in one unbroken stretch from the start (what the
// caller may use), at most size; bytes that no copy delivers stand as zeros.
std::int64_t read_fat_bytes(TBuffer& reader, const FatGeometry& g, std::int64_t at, std::uint32_t size,
                            std::uint8_t* out);

// The lowest end-of-chain value of the entry width: 0xFF8, 0xFFF8 or 0x0FFFFFF8.
std::uint32_t end_of_chain_mark(const FatGeometry& g);

// The next cluster of a directory's chain. A value that names no data cluster (end of chain, a
// bad-cluster mark, a reserved value, an unreadable entry) comes back as end_of_chain_mark. While
// the chain of a deleted directory is followed (deleted_dir), a free entry also ends the chain:
// deletion clears the chain, so what follows a free entry belongs to nobody.
std::uint32_t GetNextCluster(TBuffer& chain_reader, const FatGeometry& g, ClusterNumber cluster, bool deleted_dir);

// The smallest cluster number N with start < N < limit whose entry is 0 (free), or 0 when there
// is none. The limit is never taken beyond the volume's last cluster; an entry that cannot be
// read counts as in use.
ClusterNumber FindNextFreeCluster(TBuffer& free_map_reader, const FatGeometry& g, ClusterNumber start,
                                  ClusterNumber limit);

}  // namespace dravelo
