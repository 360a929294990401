#include "fat/fat_scan.h"

#include <cctype>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "fat/fat_folders.h"
#include "fat/fat_walk.h"
#include "volume/tbuffer.h"

namespace dravelo {

bool LoadFatBootSector(TBuffer& reader, FatGeometry* geometry) {
  FatBootRecord boot;
  if (!read_exact(reader, 0, static_cast<std::uint32_t>(boot.bytes.size()), boot.bytes.data())) {
    out_text("FAT boot sector could not be read", MsgType::error, true);
    return false;
  }
  bootb_fat = boot;
  std::string reason;
  if (!DeriveFatGeometry(boot, geometry, &reason)) {
    out_text("FAT boot sector is not usable: " + reason, MsgType::error, true);
    return false;
  }
  return true;
}

bool ScanFatVolume() {
  DriveInfo& drive = current_drive_info();
  TBuffer data_reader(drive.drive_name, BufferSectors);
  if (data_reader.error != 0) return false;
  FatScanContext context;
  if (!LoadFatBootSector(data_reader, &context.geometry)) return false;
  TBuffer chain_reader(drive.drive_name, BufferSectors);
  TBuffer free_map_reader(drive.drive_name, BufferSectors);
  if (chain_reader.error != 0 || free_map_reader.error != 0) return false;

  FatFolderRegistry folders;
  context.DataReader = &data_reader;
  context.ChainReader = &chain_reader;
  context.FreeMapReader = &free_map_reader;
  context.folders = &folders;
  context.drive = current_drive;
  context.fs = drive.drive_fs;
  context.letter = drive.drive_name;
  context.used_bytes = drive.total_bytes - drive.free_bytes;
  host()._updateProgress(0);

  const std::string root_name = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(drive.drive_name)))) + ":";
  const ClusterNumber root = context.geometry.type == FatType::fat32 ? context.geometry.root_cluster : 0;
  WalkFatDirectory(context, root, root_name, 0, kRootFolder - 1);

  host()._updateProgress(100);
  return true;
}

}  // namespace dravelo
