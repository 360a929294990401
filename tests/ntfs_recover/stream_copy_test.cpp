// The copy of one $DATA stream over hand-made layouts on a memory volume: sparse runs, units of
// a compressed attribute, the initialized size, damaged run lists and unreadable clusters.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalogue/engine_host.h"
#include "catalogue/recovery.h"
#include "ntfs/ntfs_recover.h"
#include "volume/tbuffer.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kCluster = 4096;
constexpr std::int64_t kClusters = 64;
const char kVolume[] = "stream-copy";

std::uint8_t pattern(std::int64_t cluster, std::int64_t at) {
  return static_cast<std::uint8_t>(cluster * 37 + at * 7 + 1);
}

// Cluster 50 holds a compression unit of two chunks: "abcabcabcabc" (an overlapping
// back-reference) and "xyz", which starts at the second chunk's 4096-byte boundary.
const Bytes kUnitData = {0x05, 0xB0, 0x08, 'a', 'b', 'c', 0x06, 0x20, 0x03, 0xB0, 0x00, 'x', 'y', 'z', 0x00, 0x00};
// Cluster 51: a chunk whose back-reference reaches before its start.
const Bytes kBadUnitData = {0x03, 0xB0, 0x02, 'a', 0x00, 0x10, 0x00, 0x00};

Bytes make_volume() {
  Bytes v(static_cast<std::size_t>(kCluster * kClusters));
  for (std::int64_t c = 1; c < kClusters; ++c)
    for (std::int64_t i = 0; i < kCluster; ++i) v[static_cast<std::size_t>(c * kCluster + i)] = pattern(c, i);
  // Sector 0 as the reader reads it: 8 sectors per cluster and the volume's sector count.
  std::fill(v.begin(), v.begin() + kCluster, 0);
  v[0x0B] = 0x00;
  v[0x0C] = 0x02;
  v[0x0D] = 8;
  const std::uint64_t sectors = kCluster * kClusters / 512;
  for (int i = 0; i < 8; ++i) v[0x28 + i] = static_cast<std::uint8_t>(sectors >> (8 * i));
  std::fill(v.begin() + 50 * kCluster, v.begin() + 52 * kCluster, 0);
  std::copy(kUnitData.begin(), kUnitData.end(), v.begin() + 50 * kCluster);
  std::copy(kBadUnitData.begin(), kBadUnitData.end(), v.begin() + 51 * kCluster);
  return v;
}

Bytes cluster_bytes(std::int64_t c) {
  Bytes b(kCluster);
  for (std::int64_t i = 0; i < kCluster; ++i) b[static_cast<std::size_t>(i)] = pattern(c, i);
  return b;
}

Bytes zeros(std::int64_t n) { return Bytes(static_cast<std::size_t>(n), 0); }

Bytes unit_of_cluster_50() {
  Bytes u(16 * kCluster, 0);
  const std::string first = "abcabcabcabc";
  std::copy(first.begin(), first.end(), u.begin());
  u[4096] = 'x';
  u[4097] = 'y';
  u[4098] = 'z';
  return u;
}

Bytes prefix(const Bytes& b, std::int64_t n) { return Bytes(b.begin(), b.begin() + n); }

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct CountingHost : SilentHost {
  int progress_calls = 0;
  int pumps = 0;
  bool stop_on_pump = false;
  void _updateProgressU(int) override { ++progress_calls; }
  void pump() override {
    ++pumps;
    if (stop_on_pump) stop_flag = true;
  }
};

class StreamCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    register_memory_volume(kVolume, make_volume());
    dir_ = fs::temp_directory_path() / ("dravelo-stream-copy-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    stop_flag = false;
    undelete_total = 0;
    undelete_written = 0;
  }
  void TearDown() override {
    unregister_memory_volume(kVolume);
    fs::remove_all(dir_);
    stop_flag = false;
  }

  // Copies the stream into a new file and returns the status; *out receives the file's bytes.
  RecoverStatus copy(const NtfsStreamLayout& layout, std::int64_t size, Bytes* out, std::string* message = nullptr) {
    TBuffer reader(std::string("mem:") + kVolume, 10240);
    EXPECT_EQ(reader.error, 0);
    const fs::path path = dir_ / ("out" + std::to_string(++count_));
    TargetFile target;
    EXPECT_TRUE(target.create(path.string()));
    std::string text;
    const RecoverStatus s = copy_ntfs_stream(reader, kCluster, layout, size, target, &text);
    target.close();
    if (out) *out = read_file(path);
    if (message) *message = text;
    return s;
  }

  fs::path dir_;
  int count_ = 0;
};

// A run as the tables below write it: first VCN, LCN (kSparse for a hole), length.
struct R {
  std::int64_t vcn, lcn, length;
};
constexpr std::int64_t kSparse = kSparseLcn;

NtfsStreamLayout runs(std::vector<R> list, std::int64_t unit = 0) {
  NtfsStreamLayout l;
  for (const R& r : list) l.runs.push_back(DataRun{r.vcn, r.length, r.lcn});
  l.unit_clusters = unit;
  return l;
}

TEST_F(StreamCopyTest, CopiesRunsSparseRunsAndUnitsAsTheAttributeSays) {
  struct Case {
    const char* what;
    NtfsStreamLayout layout;
    std::int64_t size;
    Bytes expected;
  };
  const Case cases[] = {
      {"runs and an unaligned hole in a file that is not compressed",
       runs({{0, 10, 2}, {2, kSparse, 3}, {5, 20, 1}}), 5 * kCluster + 100,
       join({cluster_bytes(10), cluster_bytes(11), zeros(3 * kCluster),
             prefix(cluster_bytes(20), 100)})},
      // A file that is not compressed but whose hole is not a multiple of 16 clusters: zeros,
      // never taken for a compressed tail.
      {"sparse run of 169 clusters", runs({{0, 5, 1}, {1, kSparse, 169}, {170, 6, 1}}), 171 * kCluster,
       join({cluster_bytes(5), zeros(169 * kCluster), cluster_bytes(6)})},
      {"stored, compressed and empty units", runs({{0, 30, 16}, {16, 50, 1}, {17, kSparse, 31}}, 16),
       2 * 16 * kCluster + 10, join({[] {
                                      Bytes b;
                                      for (int c = 30; c < 46; ++c) {
                                        Bytes x = cluster_bytes(c);
                                        b.insert(b.end(), x.begin(), x.end());
                                      }
                                      return b;
                                    }(),
                                    unit_of_cluster_50(), zeros(10)})},
      {"last unit decompresses short and is cut at the size", runs({{0, 50, 1}, {1, kSparse, 15}}, 16), 4099,
       prefix(unit_of_cluster_50(), 4099)},
      {"units of 4 clusters", runs({{0, 50, 1}, {1, kSparse, 3}, {4, 7, 4}}, 4), 8 * kCluster,
       join({prefix(unit_of_cluster_50(), 4 * kCluster), cluster_bytes(7),
             cluster_bytes(8), cluster_bytes(9), cluster_bytes(10)})},
      {"empty file", runs({}), 0, {}},
  };
  for (const Case& c : cases) {
    Bytes out;
    std::string message;
    EXPECT_EQ(copy(c.layout, c.size, &out, &message), RecoverStatus::complete) << c.what << ": " << message;
    EXPECT_EQ(out.size(), c.expected.size()) << c.what;
    EXPECT_TRUE(out == c.expected) << c.what;
  }
}

TEST_F(StreamCopyTest, ResidentValueIsWrittenInOneWrite) {
  NtfsStreamLayout l;
  l.resident = true;
  l.value = {'h', 'e', 'l', 'l', 'o'};
  Bytes out;
  EXPECT_EQ(copy(l, 5, &out), RecoverStatus::complete);
  EXPECT_EQ(std::string(out.begin(), out.end()), "hello");
  EXPECT_EQ(undelete_written, 5);
}

TEST_F(StreamCopyTest, BytesPastTheInitializedSizeAreZeros) {
  NtfsStreamLayout l = runs({{0, 12, 2}});
  l.initialized_size = 5000;
  Bytes out;
  EXPECT_EQ(copy(l, 2 * kCluster, &out), RecoverStatus::complete);
  Bytes expected = join({cluster_bytes(12), cluster_bytes(13)});
  std::fill(expected.begin() + 5000, expected.end(), 0);
  EXPECT_TRUE(out == expected);
}

TEST_F(StreamCopyTest, DamageIsWrittenAsZerosAndReported) {
  struct Case {
    const char* what;
    NtfsStreamLayout layout;
    std::int64_t size;
    Bytes expected;
  };
  const Case cases[] = {
      {"run list ends early", runs({{0, 10, 1}}), 2 * kCluster, join({cluster_bytes(10), zeros(kCluster)})},
      {"run past the volume's end", runs({{0, kClusters - 1, 2}}), 2 * kCluster,
       join({cluster_bytes(kClusters - 1), zeros(kCluster)})},
      {"damaged compressed unit", runs({{0, 51, 1}, {1, kSparse, 15}}, 16), 10, Bytes{'a', 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    Bytes out;
    std::string message;
    EXPECT_EQ(copy(c.layout, c.size, &out, &message), RecoverStatus::read_errors) << c.what;
    EXPECT_FALSE(message.empty()) << c.what;
    EXPECT_TRUE(out == c.expected) << c.what;
  }
}

TEST_F(StreamCopyTest, UnreadableClustersBecomeZerosAndTheRestIsKept) {
  set_memory_volume_failure(kVolume, 40 * kCluster);
  Bytes out;
  std::string message;
  EXPECT_EQ(copy(runs({{0, 38, 4}}), 4 * kCluster, &out, &message), RecoverStatus::read_errors);
  EXPECT_TRUE(out == join({cluster_bytes(38), cluster_bytes(39), zeros(2 * kCluster)}));
  // The message names the file's bytes that stand as zeros: its third and fourth clusters.
  const std::string zeros_at =
      "bytes " + std::to_string(2 * kCluster) + "-" + std::to_string(4 * kCluster - 1) + " could not be read";
  EXPECT_NE(message.find(zeros_at), std::string::npos) << message;
}

TEST_F(StreamCopyTest, ReportsProgressEvery500ClustersAndStops) {
  CountingHost h;
  ScopedHost scope(h);
  undelete_total = 1200 * kCluster;
  // 1200 clusters of one 16-cluster run read again and again through a sparse-free layout.
  std::vector<R> list;
  for (std::int64_t v = 0; v < 1200; v += 16) list.push_back({v, 16, 16});
  Bytes out;
  EXPECT_EQ(copy(runs(list), 1200 * kCluster, &out), RecoverStatus::complete);
  EXPECT_EQ(h.progress_calls, 3);  // at 0, 500 and 1000 clusters written
  EXPECT_EQ(undelete_written, 1200 * kCluster);

  h.stop_on_pump = true;
  EXPECT_EQ(copy(runs(list), 1200 * kCluster, nullptr), RecoverStatus::stopped);
}

}  // namespace
}  // namespace dravelo
