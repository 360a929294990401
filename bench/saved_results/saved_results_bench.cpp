// Scans an image, saves its results, and times reading them back: the core's open_results alone,
// and the window's "Open results…" until the list, the types and the folders are shown.
//
//   bench_saved_results IMAGE RESULTS_FILE
#include <QApplication>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "ui/main_form.h"
#include "workflow/analysis.h"
#include "workflow/saved_results.h"
#include "volume/drives.h"

namespace {

double since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace dravelo;
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_saved_results IMAGE RESULTS_FILE\n");
    return 2;
  }
  QApplication app(argc, argv);
  get_drives({argv[1]}, false, nullptr);
  for (DriveInfo& d : drive_list) d.selected = 1;
  auto start = std::chrono::steady_clock::now();
  run_analysis(nullptr);
  restore_recycled_names();
  const double scan = since(start);
  const std::int32_t files = file_count();

  start = std::chrono::steady_clock::now();
  std::string why;
  if (!save_results(argv[2], &why)) {
    std::fprintf(stderr, "cannot save: %s\n", why.c_str());
    return 1;
  }
  const double save = since(start);
  const auto bytes = std::filesystem::file_size(argv[2]);

  reset_catalogue();
  drive_list.clear();
  start = std::chrono::steady_clock::now();
  const ResultsLoad load = open_results(argv[2]);
  const double open = since(start);
  if (load.problem != ResultsProblem::none || load.files != files) {
    std::fprintf(stderr, "cannot open: %s\n", load.detail.c_str());
    return 1;
  }

  reset_catalogue();
  drive_list.clear();
  T_mainForm window({}, false);
  window.show();
  QCoreApplication::processEvents();
  start = std::chrono::steady_clock::now();
  window.openResults(QString::fromLocal8Bit(argv[2]));
  QCoreApplication::processEvents();
  const double shown = since(start);
  std::printf("files=%d scan=%.3fs file=%.1fMiB save=%.3fs open=%.3fs window_open=%.3fs\n", files, scan,
              static_cast<double>(bytes) / 1048576.0, save, open, shown);
  return file_count() == files ? 0 : 1;
}
