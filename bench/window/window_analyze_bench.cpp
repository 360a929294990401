// Opens the real main window on one image (ticked, as the first image always is), presses
// Analyze as the button does, and reports the analysis's wall and CPU time, the files found and
// the process's memory before, at the peak and after. A message box that the analysis shows is
// answered at once, so that the figure is the window's own work.
//   bench_window_analyze IMAGE   (QT_QPA_PLATFORM=offscreen needs no display)
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "catalogue/catalogue.h"
#include "ui/main_form.h"

namespace {

double cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A line of /proc/self/status in KiB ("VmRSS", "VmHWM").
long status_kib(const std::string& field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_window_analyze IMAGE\n");
    return 2;
  }
  dravelo::T_mainForm window({argv[1]}, true);
  window.show();
  QApplication::processEvents();
  int boxes = 0;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&boxes] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      ++boxes;
      box->accept();
    }
  });
  answer.start(5);
  const long before_kib = status_kib("VmRSS");
  const double cpu0 = cpu_seconds();
  const auto t0 = std::chrono::steady_clock::now();
  window.AnalyzeAdvToolButtonClick();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = cpu_seconds() - cpu0;
  QApplication::processEvents();
  std::printf("window analyze: files=%d seconds=%.3f cpu=%.3f rss_before_kib=%ld peak_rss_kib=%ld rss_after_kib=%ld"
              " message_boxes=%d\n",
              dravelo::file_count(), wall, cpu, before_kib, status_kib("VmHWM"), status_kib("VmRSS"), boxes);
  return 0;
}
