// Raw dumps of a volume's bytes for examination elsewhere: the first sector of a drive and the
// MFT record of a found NTFS file. Both only read. The buffers are cleared before anything is
// read into them, so a dump of something that could not be read holds zeros, never leftover
// memory.
#pragma once

#include <array>
#include <cstdint>

#include "catalogue/records.h"

namespace dravelo {

constexpr std::size_t kSectorDumpSize = 512;
constexpr std::size_t kRecordDumpSize = 1024;

using SectorDump = std::array<std::uint8_t, kSectorDumpSize>;
using RecordDump = std::array<std::uint8_t, kRecordDumpSize>;

// Pumps the host's messages once, then reads the first 512 bytes of the drive-list entry with
// this letter. True when all 512 bytes were read.
bool DumpFirstSector(char drive, SectorDump& buffer);

// Reads the 1024 bytes at the entry's MFT record (lcn, lcn_offset as the NTFS scan recorded
// them) on the entry's own volume, with that volume's geometry. Nothing is read for an entry
// that is not on NTFS or has no record position. True when all 1024 bytes were read.
bool DumpMftRecord(const FileInfo& entry, RecordDump& buffer);

}  // namespace dravelo
