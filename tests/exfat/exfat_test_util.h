// Helpers of the exFAT tests: the fixtures of tests/fixtures/exfat (image, manifest, fls list)
// and a scan of an image held in memory.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/engine_host.h"
#include "common/unxz.h"
#include "exfat/exfat_scan.h"
#include "fat/fat_test_util.h"
#include "volume/volume_backend.h"

namespace dravelo::test {

inline std::string exfat_fixture(const std::string& file) {
  return std::string(DRAVELO_TEST_FIXTURES_DIR) + "/exfat/" + file;
}

inline std::vector<std::uint8_t> exfat_image(const std::string& name) { return unxz(exfat_fixture(name + ".img.xz")); }

// One deleted file as the fixture script wrote it.
struct ManifestRow {
  std::string path;  // below the root, with '/'
  std::int64_t size = 0;
  std::string sha256;
  std::string state;  // "free", "reused" (its clusters were taken) or "cleared" (its chain was)
};

inline std::vector<ManifestRow> exfat_manifest(const std::string& name) {
  std::vector<ManifestRow> rows;
  std::ifstream in(exfat_fixture(name + ".manifest"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    ManifestRow r;
    std::string size;
    std::getline(fields, r.path, '\t');
    std::getline(fields, size, '\t');
    std::getline(fields, r.sha256, '\t');
    std::getline(fields, r.state, '\t');
    r.size = std::stoll(size);
    rows.push_back(r);
  }
  return rows;
}

// The deleted regular files of `fls -rd`, as paths below the root.
inline std::vector<std::string> fls_deleted_files(const std::string& name) {
  std::vector<std::string> paths;
  std::ifstream in(exfat_fixture(name + ".fls"));
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t tab = line.find('\t');
    if (line.rfind("r/r * ", 0) == 0 && tab != std::string::npos) paths.push_back(line.substr(tab + 1));
  }
  return paths;
}

// What icat recovers of the manifest's files that fls lists: path below the root to sha256.
inline std::map<std::string, std::string> icat_sha256(const std::string& name) {
  std::map<std::string, std::string> sha;
  std::ifstream in(exfat_fixture(name + ".icat"));
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t tab = line.find('\t');
    if (tab != std::string::npos) sha[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return sha;
}

// "C:\a\b\" and "c.txt" for "a/b/c.txt".
inline void split_listed(const std::string& path, std::string* folder, std::string* name) {
  const std::size_t slash = path.rfind('/');
  *name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  for (char& c : dir)
    if (c == '/') c = '\\';
  *folder = "C:\\" + dir;
}

// Registers bytes as the volume "mem:NAME", makes it drive C: ("exFAT") and scans it.
inline bool scan_exfat_memory(const std::string& name, const std::vector<std::uint8_t>& bytes, RecordingHost& host) {
  register_memory_volume(name, bytes);
  single_drive("mem:" + name, "exFAT", static_cast<std::int64_t>(bytes.size()));
  ScopedHost scope(host);
  return ScanExfatVolume();
}

}  // namespace dravelo::test
