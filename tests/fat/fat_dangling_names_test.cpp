// Long names cut by the end of a deleted folder's first cluster, on a crafted FAT16 volume of
// many such folders: each part found further on is tied to its folder through an index, so the
// work of the search grows with the count of names, not with its square. The work is counted in
// name checks (never timed).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "fat/fat_image_builder.h"
#include "fat/fat_names.h"
#include "fat/fat_scan.h"
#include "fat/fat_test_util.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

constexpr std::uint16_t kDate = (40 << 9) | (3 << 5) | 14;  // 2020-03-14

// A 32-byte short entry; name11 is the 8.3 name without the dot, blank-padded.
std::array<std::uint8_t, 32> short_entry(const std::string& name11, std::uint8_t attr, std::uint32_t cluster,
                                         std::uint32_t size) {
  std::array<std::uint8_t, 32> e{};
  for (std::size_t i = 0; i < 11; ++i) e[i] = static_cast<std::uint8_t>(name11[i]);
  e[11] = attr;
  e[16] = kDate & 0xFF;
  e[17] = kDate >> 8;
  e[24] = kDate & 0xFF;
  e[25] = kDate >> 8;
  e[20] = static_cast<std::uint8_t>(cluster >> 16);
  e[21] = static_cast<std::uint8_t>(cluster >> 24);
  e[26] = static_cast<std::uint8_t>(cluster);
  e[27] = static_cast<std::uint8_t>(cluster >> 8);
  for (int i = 0; i < 4; ++i) e[28 + i] = static_cast<std::uint8_t>(size >> (8 * i));
  return e;
}

// The deleted entries of a file with a long name (ASCII), in the order they lie: the pieces,
// last part first, then the short entry.
std::vector<std::array<std::uint8_t, 32>> deleted_file(const std::string& name, const std::string& name11,
                                                       std::uint32_t cluster, std::uint32_t size) {
  std::array<std::uint8_t, 32> shorty = short_entry(name11, 0x20, cluster, size);
  const std::uint8_t checksum = ShortNameChecksum(shorty, shorty[0]);
  shorty[0] = 0xE5;
  std::u16string units(name.begin(), name.end());
  units.push_back(0);
  while (units.size() % 13) units.push_back(0xFFFF);
  static constexpr std::size_t kUnitOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  std::vector<std::array<std::uint8_t, 32>> out;
  for (std::size_t piece = units.size() / 13; piece-- > 0;) {
    std::array<std::uint8_t, 32> e{};
    e[0] = 0xE5;
    e[11] = 0x0F;
    e[13] = checksum;
    for (std::size_t k = 0; k < 13; ++k) {
      e[kUnitOffsets[k]] = static_cast<std::uint8_t>(units[piece * 13 + k]);
      e[kUnitOffsets[k] + 1] = static_cast<std::uint8_t>(units[piece * 13 + k] >> 8);
    }
    out.push_back(e);
  }
  out.push_back(shorty);
  return out;
}

std::string number(int n, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, n);
  return text;
}

// kFolders deleted folders in the root, each of one 512-byte cluster: ".", "..", six files, and
// the first pieces of a name whose short entry begins another free cluster two further on, as a
// system that grows the folder after writing a file puts it (the free cluster of zeros between
// stops the walk of the folder from reading on into it). In even folders the cluster holds all
// pieces of the name, in odd ones all but the piece with the start of the name. With 2000 names
// and a checksum of 8 bits, most names share their checksum with others.
constexpr int kFolders = 2000;

struct Volume {
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint32_t> parts;  // the cluster that goes on with folder n's cut name
};

Volume cut_names_volume() {
  test::BootFields f;
  f.root_entries = kFolders + 16;
  const std::uint32_t clusters = 4 * kFolders + 8;
  f.fat_sectors = (2 * (clusters + 2) + 511) / 512;
  const std::uint32_t root_sectors = f.root_entries * 32 / 512;
  f.total_sectors = 1 + f.fat_sectors + root_sectors + clusters;
  test::FatOnlyVolume v(f);
  const FatGeometry& g = v.geometry;
  v.bytes.resize(static_cast<std::size_t>(f.total_sectors) * 512, 0);
  const auto put = [&](std::int64_t at, const std::array<std::uint8_t, 32>& e) {
    std::copy(e.begin(), e.end(), v.bytes.begin() + at);
  };
  // One cluster in use that all the files claim.
  const std::uint32_t data_cluster = 2;
  v.set_entry(data_cluster, 0xFFFF);
  Volume out;
  for (int n = 0; n < kFolders; ++n) {
    const std::uint32_t first = 4 + 4 * n;
    const std::uint32_t part = first + 2;
    out.parts.push_back(part);
    put(g.root_dir_offset + 32 * n, short_entry("\xE5OLD" + number(n, 4) + "   ", 0x10, first, 0));
    std::int64_t at = ClusterByteOffset(g, first);
    put(at, short_entry(".          ", 0x10, first, 0));
    put(at + 32, short_entry("..         ", 0x10, 0, 0));
    at += 64;
    for (int k = 1; k <= 6; ++k)
      for (const auto& e : deleted_file("N" + std::to_string(k) + "-" + number(n, 4) + ".txt",
                                        "N" + std::to_string(k) + number(n, 4) + "  TXT", data_cluster, 100)) {
        put(at, e);
        at += 32;
      }
    const bool whole = n % 2 == 0;
    const std::string name = "Picture " + number(n, 5) + (whole ? " trip.jpg" : " of the trip.jpg");
    std::vector<std::array<std::uint8_t, 32>> cut = deleted_file(name, "P" + number(n, 5) + "~1JPG", data_cluster, 100);
    std::int64_t part_at = ClusterByteOffset(g, part);
    for (std::size_t k = 0; k < cut.size(); ++k) {
      if (k < 2) {
        put(at, cut[k]);
        at += 32;
      } else {
        put(part_at, cut[k]);
        part_at += 32;
      }
    }
  }
  out.bytes = std::move(v.bytes);
  return out;
}

TEST(FatDanglingNames, TiesEachCutNameToItsFolderWithWorkLinearInTheNames) {
  const Volume volume = cut_names_volume();
  register_memory_volume("fat-cut-names", volume.bytes);
  test::single_drive("mem:fat-cut-names", "FAT", static_cast<std::int64_t>(volume.bytes.size()));
  test::RecordingHost host;
  {
    ScopedHost scope(host);
    ASSERT_TRUE(ScanFatVolume({.deep = true}));
  }
  unregister_memory_volume("fat-cut-names");

  EXPECT_EQ(last_fat_lost_folder_figures.dangling_names, static_cast<std::uint64_t>(kFolders));
  // Each part is checked against the few names that its checksum (and first letter) leaves:
  // without the index, every part met every name (kFolders x kFolders checks).
  EXPECT_LE(last_fat_lost_folder_figures.name_comparisons, 4u * kFolders);
  ASSERT_EQ(file_count(), 7 * kFolders);
  int tied = 0;
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    if (e.FileName.rfind("Picture ", 0) != 0) continue;
    const int n = std::stoi(e.FileName.substr(8, 5));
    SCOPED_TRACE(e.Path + e.FileName);
    EXPECT_EQ(e.Path, "C:\\_OLD" + number(n, 4) + "\\");
    tied += e.Path == "C:\\_OLD" + number(n, 4) + "\\";
  }
  EXPECT_EQ(tied, kFolders);
}

}  // namespace
}  // namespace dravelo
