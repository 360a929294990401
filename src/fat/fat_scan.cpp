#include "fat/fat_scan.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "fat/fat_claims.h"
#include "fat/fat_folders.h"
#include "fat/fat_quality.h"
#include "fat/fat_free_map.h"
#include "fat/fat_walk.h"
#include "volume/tbuffer.h"

namespace dravelo {
namespace {

// 64 KiB: a few clusters of a directory at the largest cluster size, many at the smallest.
constexpr int kDirectoryWindowSectors = 128;

}  // namespace

FatLostFolderFigures last_fat_lost_folder_figures;

bool LoadFatBootSector(TBuffer& reader, FatGeometry* geometry) {
  FatBootRecord boot;
  if (!read_exact(reader, 0, static_cast<std::uint32_t>(boot.bytes.size()), boot.bytes.data())) {
    out_text("FAT boot sector could not be read", MsgType::error, true);
    return false;
  }
  std::string reason;
  if (!DeriveFatGeometry(boot, geometry, &reason)) {
    out_text("FAT boot sector is not usable: " + reason, MsgType::error, true);
    return false;
  }
  return true;
}

bool ScanFatVolume(const ScanOptions& options) {
  last_fat_lost_folder_figures = {};
  // A new analysis starts with an empty catalogue: what the recoveries kept of earlier scans goes.
  if (file_count() == 0) fat_claim_record::clear();
  DriveInfo& drive = current_drive_info();
  // Directory clusters lie scattered over the volume between files: the walk reads each one
  // straight into its own block, and the window, kept small, serves only the few entries read
  // on their own (the boot sector, a deleted folder's "." and ".."), so that a directory costs
  // its own clusters and not the file data around them. The search for lost folders (deep scan
  // only) reads the free clusters through a window of the usual size.
  TBuffer data_reader(drive.drive_name, kDirectoryWindowSectors);
  if (data_reader.error != 0) return false;
  FatScanContext context;
  if (!LoadFatBootSector(data_reader, &context.geometry)) return false;
  // The two FAT readers' windows hold at most the first FAT (and the sector that ends the
  // window): a window of the usual size would read megabytes of file data after a small FAT.
  const std::int64_t fat_sectors = (context.geometry.fat_bytes + TBuffer::kSector - 1) / TBuffer::kSector + 1;
  const int fat_window = static_cast<int>(std::clamp<std::int64_t>(fat_sectors, 2, std::max(BufferSectors, 2)));
  TBuffer chain_reader(drive.drive_name, fat_window);
  TBuffer free_map_reader(drive.drive_name, fat_window);
  if (chain_reader.error != 0 || free_map_reader.error != 0) return false;

  // The root directory must be readable: a volume whose root cannot be read is a failed scan,
  // never one that found nothing.
  const FatGeometry& g = context.geometry;
  const bool fat32 = g.type == FatType::fat32;
  const ClusterNumber root = fat32 ? g.root_cluster : 0;
  std::uint8_t first_entry[32];
  if ((fat32 && !is_data_cluster(g, root)) ||
      !read_exact(data_reader, fat32 ? ClusterByteOffset(g, root) : g.root_dir_offset, sizeof first_entry, first_entry)) {
    out_text("FAT root directory could not be read", MsgType::error, true);
    return false;
  }

  FatFolderRegistry folders;
  FatFreeMap free_map(free_map_reader, g);
  context.DataReader = &data_reader;
  context.ChainReader = &chain_reader;
  context.FreeMapReader = &free_map_reader;
  context.free_map = &free_map;
  context.folders = &folders;
  context.drive = current_drive;
  context.fs = drive.drive_fs;
  context.letter = drive.drive_name;
  context.used_bytes = drive.total_bytes - drive.free_bytes;
  host()._updateProgress(0);

  const std::string root_name = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(drive.drive_name)))) + ":";
  WalkFatDirectory(context, root, root_name, 0, kRootFolder - 1);
  // Folders that the tree no longer reaches: their parent's entry was reused or overwritten, or
  // they are the later clusters of a deleted folder that were not next to its first one. Finding
  // them means reading every free cluster, most of a mostly empty volume: a deep scan only.
  if (options.deep && !stop_flag) {
    TBuffer sweep_reader(drive.drive_name, BufferSectors);
    if (sweep_reader.error == 0) FindLostFolders(context, sweep_reader, kRootFolder);
    last_fat_lost_folder_figures = {context.dangling_names.size(), context.dangling_names.comparisons()};
  }

  // Clusters that a newer deleted file claims hold that file's bytes: for an older file they
  // count as overwritten from the first of them on, as a cluster in use does.
  TrimFatClaims(context.claims);
  FatClaimCuts cuts = ResolveFatClaims(context.claims);
  for (std::size_t k = 0; k < context.claims.size(); ++k) {
    const FatClaim& claim = context.claims[k];
    if (cuts.cut[k] >= claim.end) continue;
    FileInfo& entry = file_list[claim.inode];
    const std::uint64_t clusters =
        std::max<std::uint64_t>(1, (static_cast<std::uint64_t>(entry.FileSize) + g.bytes_per_cluster - 1) / g.bytes_per_cluster);
    entry.Percent = static_cast<std::int8_t>(percent_half_even(cuts.cut[k] - claim.first, clusters));
  }
  fat_claim_record::keep(current_drive, std::move(cuts.newest));

  host()._updateProgress(100);
  return true;
}

}  // namespace dravelo
