// Runs the deep scan of one image (the engine's scan, then the search of the free space by
// content) and prints the free bytes searched, the files found, the time taken and the speed.
// --tiny-formats searches with the tests' small JPEG and PNG formats in place of the library's.
//
//   deep_scan_read [--tiny-formats] IMAGE
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "carve/tiny_formats.h"
#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "volume/drives.h"
#include "workflow/analysis.h"
#include "workflow/content_search.h"

int main(int argc, char** argv) {
  using namespace dravelo;
  int at = 1;
  std::unique_ptr<test::TinyFormats> tiny;
  if (argc == 3 && std::strcmp(argv[1], "--tiny-formats") == 0) {
    tiny = std::make_unique<test::TinyFormats>();
    at = 2;
  } else if (argc != 2) {
    std::fprintf(stderr, "usage: deep_scan_read [--tiny-formats] IMAGE\n");
    return 2;
  }
  BufferSectors = 10240;
  BitmapWindowSectors = 10240;
  const int drive = add_image_drive(argv[at]);
  if (drive < 0) return 1;
  drive_list[static_cast<std::size_t>(drive)].selected = 1;
  std::int64_t searched = 0;
  double search_seconds = 0;
  set_content_progress_observer([&](const ContentSearchProgress& p) {
    searched = p.done;
    search_seconds = p.seconds;
  });
  const auto start = std::chrono::steady_clock::now();
  const bool ok = run_analysis(nullptr, ScanOptions{.deep = true});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("deep scan%s ok=%d files=%d found_by_content=%zu free_bytes=%lld search_seconds=%.3f search_MBps=%.1f "
              "total_seconds=%.3f\n",
              tiny ? " (tiny formats)" : "", ok ? 1 : 0, file_count(), found_by_content.size(), static_cast<long long>(searched),
              search_seconds, search_seconds > 0 ? searched / search_seconds / 1e6 : 0.0, seconds);
  return ok ? 0 : 1;
}
