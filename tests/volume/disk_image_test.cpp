// Whole-disk images (tests/fixtures/disk, made by sfdisk/sgdisk and the real mkfs tools): every
// partition is offered at the offset and size that mmls shows, scanned, and its deleted files
// recovered byte for byte; damaged first boot sectors are stood in for by their backups. Runs
// the built dravelo-cli.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/unxz.h"

namespace {

namespace fs = std::filesystem;

struct CliRun {
  std::string out;
  int status = -1;
};

CliRun run_cli(const std::string& args) {
  const std::string command = std::string("'") + DRAVELO_CLI + "' " + args + " 2>&1";
  CliRun run;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  char buf[4096];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) run.out.append(buf, n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string fixture(const std::string& name) { return std::string(DRAVELO_TEST_FIXTURES_DIR) + "/disk/" + name; }

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The bytes that the fixture script wrote into a file of this size.
std::vector<std::uint8_t> pattern(std::size_t size) {
  std::vector<std::uint8_t> out(size);
  const std::size_t seed = size % 251;
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>((seed * 31 + i + 7 * (i >> 8)) & 0xFF);
  return out;
}

class DiskImage : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/dravelo-disk-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  // The fixture unpacked into the test's folder, with edits (byte offset, bytes) applied.
  std::string unpack(const std::string& name, const std::vector<std::pair<std::int64_t, std::vector<std::uint8_t>>>& edits = {}) {
    std::vector<std::uint8_t> bytes = dravelo::test::unxz(fixture(name + ".img.xz"));
    EXPECT_FALSE(bytes.empty()) << name;
    for (const auto& [at, with] : edits) std::copy(with.begin(), with.end(), bytes.begin() + at);
    const std::string path = dir_ + "/" + name + ".img";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  // Recovers every file of the volumes and checks each against the fixture's manifest: as many
  // files as it lists deleted, each of one of its sizes, holding exactly the bytes written.
  void expect_recovered_exact(const std::string& volumes, std::size_t files) {
    const std::string to = dir_ + "/out";
    fs::remove_all(to);
    const CliRun run = run_cli("recover --to '" + to + "' --all " + volumes);
    EXPECT_EQ(run.status, 0) << run.out;
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(to)) {
      const std::string text = read_text(entry.path().string());
      const std::vector<std::uint8_t> got(text.begin(), text.end());
      EXPECT_TRUE(got.size() == 3000 || got.size() == 5000 || got.size() == 70000) << entry.path();
      EXPECT_TRUE(got == pattern(got.size())) << entry.path();
      ++count;
    }
    EXPECT_EQ(count, files) << run.out;
  }
  std::string dir_;
};

// "004:  000  0000002048  0000018431  0000016384  ..." -> {2048, 16384} for each partition row of
// mmls (its slot column holds digits, or "ttt:sss" for a DOS table), metadata rows left out.
std::vector<std::pair<long long, long long>> mmls_partitions(const std::string& name) {
  std::vector<std::pair<long long, long long>> out;
  std::istringstream in(read_text(fixture(name + ".mmls")));
  const std::regex row(R"(^\d+:\s+[\d:]+\s+(\d+)\s+\d+\s+(\d+))");
  std::smatch m;
  for (std::string line; std::getline(in, line);)
    if (std::regex_search(line, m, row)) out.push_back({std::stoll(m[1]), std::stoll(m[2])});
  return out;
}

TEST_F(DiskImage, PartitionsAtTheOffsetsMmlsShows) {
  const struct {
    const char* name;
    std::vector<int> numbers;
    std::vector<const char*> fs;
  } disks[] = {{"disk_mbr", {1, 5, 6}, {"FAT32", "exFAT", "NTFS"}}, {"disk_gpt", {1, 2, 3}, {"NTFS", "exFAT", "FAT"}}};
  for (const auto& disk : disks) {
    const std::string image = unpack(disk.name);
    const CliRun run = run_cli("volumes --json --images-only '" + image + "'");
    EXPECT_EQ(run.status, 0) << run.out;
    const auto expected = mmls_partitions(disk.name);
    ASSERT_EQ(expected.size(), disk.numbers.size()) << disk.name;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const std::string entry = "\"fs\": \"" + std::string(disk.fs[i]) + "\"";
      const std::string where = "\"size_bytes\": " + std::to_string(expected[i].second * 512);
      const std::string name = "\"name\": \"" + image + "@" + std::to_string(disk.numbers[i]) + "\", \"offset\": " +
                               std::to_string(expected[i].first * 512) + ", \"partition\": " + std::to_string(disk.numbers[i]);
      EXPECT_NE(run.out.find(entry), std::string::npos) << disk.name << " " << i << "\n" << run.out;
      EXPECT_NE(run.out.find(where), std::string::npos) << disk.name << " " << i << "\n" << run.out;
      EXPECT_NE(run.out.find(name), std::string::npos) << disk.name << " " << i << "\n" << run.out;
    }
  }
}

TEST_F(DiskImage, EveryPartitionScannedAndRecoveredExact) {
  const std::string mbr = unpack("disk_mbr"), gpt = unpack("disk_gpt");
  // fls -o START -rd lists three deleted files in each partition (the manifests); so does the scan.
  for (const std::string& name : {"disk_mbr", "disk_gpt"}) {
    std::istringstream manifest(read_text(fixture(std::string(name) + ".manifest")));
    int listed = 0;
    for (std::string line; std::getline(manifest, line);) {
      std::istringstream f(line);
      std::string number, start, path, size, want, got;
      f >> number >> start >> path >> size >> want >> got;
      EXPECT_EQ(want, got) << "icat differs from what was written: " << line;
      ++listed;
    }
    EXPECT_EQ(listed, 9) << name;
  }
  const CliRun scan = run_cli("scan '" + mbr + "' '" + gpt + "'");
  EXPECT_NE(scan.out.find("18 deleted file(s) found"), std::string::npos) << scan.out;
  expect_recovered_exact("'" + mbr + "' '" + gpt + "'", 18);
  // One partition by its number; a number that the table lacks is refused.
  expect_recovered_exact("'" + gpt + "@2'", 3);
  const CliRun missing = run_cli("scan '" + gpt + "@4'");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("'" + gpt + "@4' does not exist"), std::string::npos) << missing.out;
}

TEST_F(DiskImage, ZeroedBootSectorsReadThroughTheirBackups) {
  const std::vector<std::uint8_t> zeros(512, 0);
  // FAT32 at sector 2048, exFAT at 73728, NTFS at 92160 (16384 sectors).
  const std::string image = unpack("disk_mbr", {{2048 * 512, zeros}, {73728 * 512, zeros}, {92160 * 512, zeros}});
  const CliRun run = run_cli("volumes --images-only '" + image + "'");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("@1  [backup boot sector at sector 6]"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("@5  [backup boot sector at sector 12]"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("@6  [backup boot sector at sector 16383]"), std::string::npos) << run.out;
  expect_recovered_exact("'" + image + "'", 9);
}

TEST_F(DiskImage, EmptyTableWrittenOverAFat32Volume) {
  // The FAT32 partition alone, as a stick formatted without a table, then an empty MBR (only its
  // signature) written over its boot sector.
  std::vector<std::uint8_t> disk = dravelo::test::unxz(fixture("disk_mbr.img.xz"));
  std::vector<std::uint8_t> stick(disk.begin() + 2048 * 512, disk.begin() + (2048 + 69632) * 512);
  std::fill(stick.begin(), stick.begin() + 512, 0);
  stick[510] = 0x55;
  stick[511] = 0xAA;
  const std::string path = dir_ + "/stick.img";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(stick.data()), static_cast<std::streamsize>(stick.size()));
  const CliRun run = run_cli("volumes --images-only '" + path + "'");
  EXPECT_NE(run.out.find("FAT32"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("[backup boot sector at sector 6]"), std::string::npos) << run.out;
  expect_recovered_exact("'" + path + "'", 3);
}

TEST_F(DiskImage, DamagedMftRecordReadFromItsMirror) {
  // Record 0 of the NTFS partition's $MFT (where its boot sector says) zeroed: $MFTMirr's copy
  // maps the $MFT.
  std::vector<std::uint8_t> disk = dravelo::test::unxz(fixture("disk_mbr.img.xz"));
  const std::size_t base = 92160 * 512;
  const std::uint64_t bytes_per_cluster = (disk[base + 0x0B] | disk[base + 0x0C] << 8) * std::uint64_t{disk[base + 0x0D]};
  std::uint64_t mft_lcn = 0;
  for (int i = 7; i >= 0; --i) mft_lcn = mft_lcn << 8 | disk[base + 0x30 + i];
  const std::int64_t record0 = static_cast<std::int64_t>(base + mft_lcn * bytes_per_cluster);
  const std::string image = unpack("disk_mbr", {{record0, std::vector<std::uint8_t>(1024, 0)}});
  const CliRun scan = run_cli("scan '" + image + "@6'");
  EXPECT_NE(scan.out.find("C: the $MFT's first record is damaged: its copy in $MFTMirr is used"), std::string::npos)
      << scan.out;
  EXPECT_NE(scan.out.find("3 deleted file(s) found"), std::string::npos) << scan.out;
  expect_recovered_exact("'" + image + "@6'", 3);
}

}  // namespace

namespace {

TEST_F(DiskImage, LostVolumesOfAWipedOrRewrittenTable) {
  const std::vector<std::uint8_t> zeros(512, 0);
  // The table wiped; then also every volume's first boot sector: the backups show where they began.
  const std::string wiped = unpack("disk_mbr", {{0, zeros}});
  CliRun run = run_cli("volumes --images-only --search '" + wiped + "'");
  EXPECT_EQ(run.status, 0) << run.out;
  for (const char* name : {"@s2048  ", "@s73728  ", "@s92160  "})
    EXPECT_NE(run.out.find(wiped + name + "disk_mbr.img, Lost volume at sector "), std::string::npos) << name << run.out;
  expect_recovered_exact("'" + wiped + "@s2048' '" + wiped + "@s73728' '" + wiped + "@s92160'", 9);

  const std::string damaged = unpack("disk_mbr", {{0, zeros}, {2048 * 512, zeros}, {73728 * 512, zeros}, {92160 * 512, zeros}});
  run = run_cli("volumes --images-only --search '" + damaged + "'");
  EXPECT_NE(run.out.find("@s2048  disk_mbr.img, Lost volume at sector 2048  [backup boot sector at sector 6]"),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find("@s73728  disk_mbr.img, Lost volume at sector 73728  [backup boot sector at sector 12]"),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find("@s92160  disk_mbr.img, Lost volume at sector 92160  [backup boot sector at sector 16383]"),
            std::string::npos) << run.out;
  // Nothing else: no backup taken for a volume of its own.
  std::size_t volumes = 0;
  for (std::size_t at = run.out.find("Lost volume"); at != std::string::npos; at = run.out.find("Lost volume", at + 1)) ++volumes;
  EXPECT_EQ(volumes, 3u) << run.out;
  expect_recovered_exact("'" + damaged + "@s2048' '" + damaged + "@s73728' '" + damaged + "@s92160'", 9);

  // A new table over the old disk: one 8 MiB partition where the 34 MiB FAT32 began. The FAT32
  // volume is offered whole beside the partition that cuts it, the others as lost.
  std::vector<std::uint8_t> table(512, 0);
  table[0x1BE + 4] = 0x83;
  table[0x1BE + 8] = 0x00, table[0x1BE + 9] = 0x08;    // first sector 2048
  table[0x1BE + 13] = 0x40;                             // 16384 sectors
  table[510] = 0x55, table[511] = 0xAA;
  const std::string rewritten = unpack("disk_mbr", {{0, table}});
  run = run_cli("volumes --images-only --search '" + rewritten + "'");
  EXPECT_NE(run.out.find("FAT32         (8.00 MB)  " + rewritten + "@1\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("FAT32         (34.00 MB)  " + rewritten + "@s2048  "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(rewritten + "@s73728  "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(rewritten + "@s92160  "), std::string::npos) << run.out;
}

}  // namespace
