// Runs the FAT engine's scan of one image, quick or deep, and prints the bytes that its readers
// took from the image beside the image's size, the files listed and the time taken: the quick
// scan is to read the FAT and the folders only, a small share of the volume.
//
//   fat_scan_read [--deep] IMAGE
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "fat/fat_scan.h"
#include "volume/tbuffer.h"

int main(int argc, char** argv) {
  using namespace dravelo;
  ScanOptions options;
  int at = 1;
  if (argc == 3 && std::strcmp(argv[1], "--deep") == 0) {
    options.deep = true;
    at = 2;
  } else if (argc != 2) {
    std::fprintf(stderr, "usage: fat_scan_read [--deep] IMAGE\n");
    return 2;
  }
  BufferSectors = 10240;
  BitmapWindowSectors = 10240;
  std::error_code ec;
  const auto image_bytes = static_cast<std::int64_t>(std::filesystem::file_size(argv[at], ec));
  DriveInfo d;
  d.drive_name = 'c';
  d.drive_fs = "FAT32";
  d.selected = 1;
  d.device_path = argv[at];
  d.total_bytes = image_bytes;
  d.is_image = true;
  drive_list.push_back(std::move(d));
  current_drive = 0;
  const std::int64_t before = TBuffer::bytes_read_total();
  const auto start = std::chrono::steady_clock::now();
  const bool ok = ScanFatVolume(options);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::int64_t read = TBuffer::bytes_read_total() - before;
  std::printf("%s scan ok=%d files=%d bytes_read=%lld image_bytes=%lld share=%.2f%% seconds=%.3f\n",
              options.deep ? "deep" : "quick", ok ? 1 : 0, file_count(), static_cast<long long>(read),
              static_cast<long long>(image_bytes), image_bytes > 0 ? 100.0 * static_cast<double>(read) / static_cast<double>(image_bytes) : 0.0,
              seconds);
  return ok ? 0 : 1;
}
