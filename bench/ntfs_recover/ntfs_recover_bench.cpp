// How close the recovery of a large contiguous NTFS file comes to the speed of reading its
// clusters: RecoverNtfsFile against a loop of 4 MiB reads of the same runs written to a file.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/recovery.h"
#include "ntfs/ntfs_recover.h"
#include "ntfs/ntfs_stream.h"
#include "ntfs/ntfs_volume.h"
#include "volume/drives.h"

namespace {

namespace fs = std::filesystem;
using namespace dravelo;

constexpr std::int64_t kFileBytes = 400LL << 20;
const std::string kDir = DRAVELO_BENCH_DIR;
const std::string kImage = kDir + "/large_ntfs.img";
const std::string kOut = kDir + "/out.bin";

// The image holds one file, large.bin, of kFileBytes random bytes (record 64, the first record
// mkntfs leaves for files).
bool make_image() {
  if (fs::exists(kImage)) return true;
  fs::create_directories(kDir);
  const std::string script = "set -e; cd '" + kDir + "'; rm -f large_ntfs.img; truncate -s " +
                             std::to_string((kFileBytes >> 20) + 200) + "M large_ntfs.img; " +
                             "mkntfs -F -Q -q -c 4096 -L BENCH large_ntfs.img >/dev/null 2>&1; " +
                             "head -c " + std::to_string(kFileBytes) + " /dev/urandom > large.bin; " +
                             "ntfscp large_ntfs.img large.bin large.bin; rm large.bin";
  return std::system(script.c_str()) == 0;
}

FileInfo large_file() {
  FileInfo e;
  e.drive = 0;
  e.fs = "NTFS";
  e.inode = 64;
  e.FileSize = kFileBytes;
  return e;
}

void BM_RecoverNtfsFile(benchmark::State& state) {
  for (auto _ : state) {
    fs::remove(kOut);
    const RecoverResult r = RecoverNtfsFile(large_file(), kOut, RecoverOptions{});
    if (r.status != RecoverStatus::complete) state.SkipWithError(r.message.c_str());
  }
  state.SetBytesProcessed(state.iterations() * kFileBytes);
}

// The same clusters read with 4 MiB preads and written with 4 MiB writes.
void BM_PlainReadOfTheRuns(benchmark::State& state) {
  NtfsVolume volume;
  std::vector<std::uint8_t> record;
  NtfsStream data;
  if (!OpenNtfsVolume(drive_list[0].drive_name, volume) || !LoadMft(volume)) {
    state.SkipWithError("cannot open the image");
    return;
  }
  record.resize(static_cast<std::size_t>(volume.geometry.FileRecordSize));
  std::int64_t lcn = 0;
  std::int32_t offset = 0;
  if (!ReadFileRecord(volume, 64, record, &lcn, &offset) || !ReadStream(volume, record, 64, kAttrData, u"", data)) {
    state.SkipWithError("cannot read record 64");
    return;
  }
  const std::int64_t cluster = volume.geometry.bytes_per_cluster;
  std::vector<std::uint8_t> buffer(4 << 20);
  for (auto _ : state) {
    const int in = ::open(kImage.c_str(), O_RDONLY);
    const int out = ::open(kOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::int64_t left = kFileBytes;
    for (const DataRun& run : data.runs) {
      for (std::int64_t at = 0; at < run.length * cluster && left > 0;) {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>({static_cast<std::int64_t>(buffer.size()), run.length * cluster - at, left}));
        if (::pread(in, buffer.data(), n, run.lcn * cluster + at) != static_cast<ssize_t>(n) ||
            ::write(out, buffer.data(), n) != static_cast<ssize_t>(n))
          state.SkipWithError("read or write failed");
        at += static_cast<std::int64_t>(n);
        left -= static_cast<std::int64_t>(n);
      }
    }
    ::close(out);
    ::close(in);
  }
  state.SetBytesProcessed(state.iterations() * kFileBytes);
}

BENCHMARK(BM_RecoverNtfsFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainReadOfTheRuns)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (!make_image()) {
    std::fprintf(stderr, "could not make %s (mkntfs and ntfscp of ntfs-3g are needed)\n", kImage.c_str());
    return 1;
  }
  get_drives({kImage}, false);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  fs::remove(kOut);
  return 0;
}
