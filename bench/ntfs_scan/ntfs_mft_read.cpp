// Reads every cluster of the $MFT of an NTFS image, in ascending order through the same reader
// and window that the scan uses, and prints the bytes read and the time taken. The scan cannot be
// faster than this; the benchmark compares the two.
//
//   ntfs_mft_read IMAGE          the bare $MFT read
//   ntfs_mft_read --scan IMAGE   the engine's scan alone (AnalyzeNtfsVolume), without the
//                                command line's start-up, end-of-analysis passes and output
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <sys/resource.h>

#include <cstring>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "ntfs/ntfs_scan.h"
#include "ntfs/ntfs_volume.h"

namespace {

// The process's resident memory now, in KiB (/proc/self/status), or -1.
long resident_kib() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, "VmRSS:", 6) == 0) kib = std::atol(line + 6);
  std::fclose(f);
  return kib;
}

int scan_only(const char* image) {
  using namespace dravelo;
  DriveInfo d;
  d.drive_name = 'c';
  d.drive_fs = "NTFS";
  d.selected = 1;
  d.device_path = image;
  drive_list.push_back(std::move(d));
  current_drive = 0;
  const long before_kib = resident_kib();
  const auto start = std::chrono::steady_clock::now();
  const bool ok = AnalyzeNtfsVolume();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  // What the catalogue keeps once the scan's own buffers are gone, per file found.
  const long kept_kib = resident_kib() - before_kib;
  std::printf("scan ok=%d files=%d folders=%d seconds=%.3f cpu=%.3f peak_rss_kib=%ld kept_kib=%ld bytes_per_file=%.0f\n",
              ok ? 1 : 0, file_count(), drive_list[0].CurrentFolder(), seconds,
              usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6,
              usage.ru_maxrss, kept_kib, file_count() ? kept_kib * 1024.0 / file_count() : 0.0);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace dravelo;
  BufferSectors = 10240;
  BitmapWindowSectors = 10240;
  if (argc == 3 && std::strcmp(argv[1], "--scan") == 0) return scan_only(argv[2]);
  if (argc != 2) {
    std::fprintf(stderr, "usage: ntfs_mft_read [--scan] IMAGE\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  NtfsVolume volume;
  if (!OpenNtfsVolumeAt(argv[1], volume) || !LoadMft(volume)) {
    std::fprintf(stderr, "cannot open the volume or load its $MFT\n");
    return 1;
  }
  const std::int64_t bpc = volume.geometry.bytes_per_cluster;
  const std::int64_t chunk = (4 << 20) / bpc;  // clusters per read
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(chunk * bpc));
  std::int64_t bytes = 0;
  std::uint64_t checksum = 0;
  const std::int64_t total = volume.mft_runs.empty() ? 0 : volume.mft_runs.back().vcn + volume.mft_runs.back().length;
  for (std::int64_t vcn = 0; vcn < total; vcn += chunk) {
    const std::int64_t n = std::min(chunk, total - vcn);
    ReadVcns(volume, volume.mft_runs, n, buffer.data(), vcn);
    for (std::int64_t i = 0; i < n * bpc; i += 4096) checksum += buffer[static_cast<std::size_t>(i)];
    bytes += n * bpc;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("mft_records=%u mft_bytes=%lld seconds=%.3f cpu=%.3f MB/s=%.1f (checksum %llu)\n", volume.MftRecordCount,
              static_cast<long long>(bytes), seconds,
              usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6,
              bytes / 1048576.0 / seconds, static_cast<unsigned long long>(checksum));
  return 0;
}
