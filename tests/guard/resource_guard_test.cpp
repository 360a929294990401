// The resource guard: every crafted volume that the fault tests use (looping FAT chains, sizes far
// beyond the volume, exFAT folders whose streams claim far more entries than they hold, an $MFT
// whose size or runs claim more records than it holds, names full of control characters) is
// scanned and its files recovered in a child process with an alarm
// and an address-space limit. A regression to unbounded work or memory then fails here, in
// seconds, instead of hanging the test run or taking the machine's memory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "common/unxz.h"
#include "ntfs/ntfs_test_image.h"
#include "volume/volume_backend.h"
#include "workflow/analysis.h"
#include "workflow/undelete.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DRAVELO_GUARD_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define DRAVELO_GUARD_SANITIZED 1
#endif

namespace dravelo {
namespace {

namespace fs = std::filesystem;
using namespace ntfs_test;

#ifdef DRAVELO_GUARD_SANITIZED
// The sanitizers slow the engine down and keep freed memory in quarantine; they also reserve far
// more address space than any limit would allow.
constexpr int kSeconds = 30;
constexpr long kMaxRssMb = 1536;
constexpr bool kLimitAddressSpace = false;
#else
constexpr int kSeconds = 10;
constexpr long kMaxRssMb = 512;
constexpr bool kLimitAddressSpace = true;
#endif

struct Crafted {
  const char* name;
  const char* fs;
  std::function<std::vector<std::uint8_t>()> image;
};

void PrintTo(const Crafted& c, std::ostream* os) { *os << c.name; }

std::vector<std::uint8_t> fat_fixture(const char* name) {
  return test::unxz(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/fat/" + name + ".img.xz");
}

std::vector<std::uint8_t> exfat_fixture(const char* name) {
  return test::unxz(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/exfat/" + name + ".img.xz");
}

// An $MFT whose run list is layout and whose DataSize is data_size (0: what the runs map), with a
// deleted file in record 7.
std::vector<std::uint8_t> ntfs_mft(const std::vector<Run>& layout, std::int64_t data_size) {
  TestVolume tv;
  tv.mft_layout = {layout.front()};
  std::int64_t mapped = 0;
  for (const Run& r : layout) mapped += r.length;
  tv.mft_records = static_cast<std::uint32_t>(std::min<std::int64_t>(mapped * 4, 2048));
  tv.custom_record0 = true;
  tv.init();
  tv.records[7] = file_record(tv.record_size, 0, 5, u"once.txt", {resident(0x80, {'x'})});
  Attr data = non_resident(0x80, layout, data_size ? data_size : mapped * tv.cluster_bytes(), tv.cluster_bytes());
  tv.records[0] = make_record(tv.record_size, kInUse, {resident(0x30, file_name_value(5, 3, u"$MFT")), data,
                                                      resident(0xB0, tv.mft_bitmap())});
  return tv.build();
}

// Deleted files whose sizes and runs no volume can hold.
std::vector<std::uint8_t> ntfs_impossible_sizes() {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  TestVolume tv;
  tv.init();
  const std::int64_t cb = tv.cluster_bytes();
  struct File {
    std::uint32_t record;
    std::u16string name;
    std::int64_t size;
    Run run;
  } files[] = {{40, u"near 2^63.bin", kMax - 100, {2, 300}},
               {41, u"negative.bin", -5, {2, 310}},
               {42, u"larger than the volume.bin", tv.clusters * cb * 4, {3, 320}},
               {43, u"huge run.bin", kMax, {std::int64_t{1} << 60, 330}}};
  for (const File& f : files) {
    Attr data = non_resident(0x80, {f.run}, f.size, cb);
    data.initialized = std::max<std::int64_t>(f.size, 0);
    tv.records[f.record] = file_record(tv.record_size, 0, 5, f.name, {data});
  }
  return tv.build();
}

const Crafted kCrafted[] = {
    {"fat_cycle12", "FAT", [] { return fat_fixture("fat_cycle12"); }},
    {"fat_huge32", "FAT32", [] { return fat_fixture("fat_huge32"); }},
    {"fat_walk16", "FAT", [] { return fat_fixture("fat_walk16"); }},
    {"control_names12", "FAT", [] { return fat_fixture("control_names12"); }},
    // 16 nested folders, each claiming the whole 64 MiB heap as its entries.
    {"exfat_nested_huge", "exFAT", [] { return exfat_fixture("exfat_nested_huge"); }},
    {"ntfs_mft_size_beyond_runs", "NTFS", [] { return ntfs_mft({{16, 16}}, std::int64_t{1} << 40); }},
    {"ntfs_mft_runs_repeated", "NTFS", [] { return ntfs_mft(std::vector<Run>(120, Run{2, 16}), 0); }},
    {"ntfs_mft_run_past_end", "NTFS", [] { return ntfs_mft({{8, 16}, {100, 2000}}, 0); }},
    {"ntfs_impossible_sizes", "NTFS", ntfs_impossible_sizes},
};

// A recovery writes at most the volume's bytes for one file, but a crafted volume can list
// hundreds of files that each claim more (fat_huge32: 300 of 4 GiB): the files are taken in order
// until they may write this much.
constexpr std::int64_t kRecoverBytes = std::int64_t{256} << 20;

// In the child: scans the volume and recovers its files into folder (see kRecoverBytes). Exits 0
// when the volume was scanned and no file came out larger than the volume.
[[noreturn]] void scan_and_recover(const Crafted& c, std::vector<std::uint8_t> image, const fs::path& folder) {
  const std::int64_t volume_bytes = static_cast<std::int64_t>(image.size());
  register_memory_volume("guard", std::move(image));
  DriveInfo d;
  d.drive_type = 1;
  d.drive_name = 'c';
  d.selected = 1;
  d.drive_fs = c.fs;
  d.device_path = "mem:guard";
  d.is_image = true;
  drive_list.push_back(std::move(d));
  const bool scanned = run_analysis();
  std::int64_t may_write = 0;
  for (std::int32_t k = 0; k < file_count(); ++k) {
    FileInfo& e = file_list[k];
    e.selected = may_write < kRecoverBytes ? 1 : 0;
    may_write += std::clamp<std::int64_t>(e.FileSize, 0, volume_bytes);
  }
  bool bounded = true;
  if (build_undelete_list() > 0) {
    UndeleteRequest request;
    request.target_folder = folder.string();
    request.keep_folders = true;
    request.options.alternate_streams = true;
    request.after_file = [&](const UndeleteOutcome& o) {
      std::error_code ec;
      if (!o.target_path.empty() && static_cast<std::int64_t>(fs::file_size(o.target_path, ec)) > volume_bytes && !ec)
        bounded = false;
    };
    request.keep_outcomes = false;
    run_undelete(request);
  }
  std::_Exit(!scanned ? 3 : !bounded ? 4 : 0);
}

class ResourceGuard : public ::testing::TestWithParam<Crafted> {};

TEST_P(ResourceGuard, ScansAndRecoversWithinBoundedTimeAndMemory) {
  const Crafted& c = GetParam();
  std::vector<std::uint8_t> image = c.image();
  ASSERT_FALSE(image.empty());
  const fs::path folder = fs::temp_directory_path() / ("dravelo-guard-" + std::to_string(::getpid()) + "-" + c.name);
  fs::remove_all(folder);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (kLimitAddressSpace) {
      const rlim_t limit = rlim_t{2} << 30;
      const struct rlimit rl = {limit, limit};
      ::setrlimit(RLIMIT_AS, &rl);
    }
    ::alarm(kSeconds);
    scan_and_recover(c, std::move(image), folder);
  }
  int status = 0;
  struct rusage usage {};
  ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  fs::remove_all(folder);
  EXPECT_TRUE(WIFEXITED(status)) << c.name << ": ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0)
                                 << (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM ? " (took too long)" : "")
                                 << " after " << seconds << " s";
  if (WIFEXITED(status)) {
    EXPECT_EQ(WEXITSTATUS(status), 0) << c.name << (WEXITSTATUS(status) == 4 ? ": a file larger than the volume" : ": not scanned");
  }
  EXPECT_LE(usage.ru_maxrss / 1024, kMaxRssMb) << c.name << ": peak memory in MiB";
}

INSTANTIATE_TEST_SUITE_P(Crafted, ResourceGuard, ::testing::ValuesIn(kCrafted),
                         [](const ::testing::TestParamInfo<Crafted>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dravelo
