// Program start: the application's title, the main window (whose creation builds the drive
// tree), the dialogs that start hidden, then the message loop until the main window closes.
// `dravelo IMAGE...` makes the image files the first volumes, the first one C: and ticked;
// `dravelo --samples` does so with the sample volumes installed with the program.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/install_paths.h"
#include "catalogue/version.h"
#include "ui/about_box.h"
#include "ui/help.h"
#include "ui/main_form.h"
#include "ui/recover_form.h"

namespace {

const char kHelp[] =
    "usage: dravelo [--samples] [IMAGE...]\n"
    "       dravelo --help | --version\n"
    "\n"
    "Opens the Dravelo window, which finds deleted files on FAT12, FAT16, FAT32, exFAT and NTFS\n"
    "volumes and copies the ticked ones into a folder of your choice. The image files named come\n"
    "first in the drive tree (C:, D:, ...), then the block devices that hold a file system. Volumes\n"
    "are only ever read. Reading a block device needs root; an image file needs only the right to\n"
    "read it. A named image that cannot be used is left out, and a message says why.\n"
    "The window needs a display (DISPLAY or WAYLAND_DISPLAY, or a platform named with -platform or\n"
    "QT_QPA_PLATFORM, such as vnc).\n"
    "\n"
    "options:\n"
    "  --samples    open the sample volumes installed with Dravelo (before any IMAGE named)\n"
    "  -h, --help   print this help\n"
    "  --version    print the version\n"
    "  --           the arguments that follow are image files even when they begin with '-'\n"
    "  Qt's own options (-platform, -style, ...) are taken as well.\n"
    "\n"
    "example:\n"
    "  dravelo ~/card.img\n"
    "\n"
    "exit status: 0 when the window is closed; 1 when there is no display or the sample volumes\n"
    "cannot be found; 2 for a usage error. dravelo-cli(1) is the scriptable front end.\n";

const char kNoDisplay[] =
    "dravelo: the window needs a display, and this session has none (neither DISPLAY nor\n"
    "WAYLAND_DISPLAY is set). Run it on the machine's own desktop; over ssh, connect with\n"
    "'ssh -X' (the machine needs the xauth package); or show it in a VNC viewer: start it as\n"
    "'QT_QPA_PLATFORM=vnc dravelo ...' and connect the viewer to this machine's port 5900.\n"
    "dravelo-cli(1) does the same work without a window.\n";

// Whether Qt can be given a platform to draw on. Without one it aborts in its plugin loader with
// advice about reinstalling, so the lack is said here first. A platform chosen by the caller
// (QT_QPA_PLATFORM, as the tests set offscreen, or -platform) is left to Qt.
bool displayAvailable(int argc, char** argv) {
#if defined(_WIN32) || defined(__APPLE__)
  (void)argc;
  (void)argv;
  return true;
#else
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
    if (!std::strncmp(argv[i], "-platform", 9)) return true;
  return false;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  // Help and version need no display: answered before Qt starts.
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (!std::strcmp(argv[i], "--version")) {
      std::printf("%s %s\n", dravelo::kProductName, dravelo::kVersionText);
      return 0;
    }
  }

  if (!displayAvailable(argc, argv)) {
    std::fputs(kNoDisplay, stderr);
    return 1;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(dravelo::kProductName));
  QApplication::setApplicationVersion(QString::fromUtf8(dravelo::kVersionText));
  QApplication::setWindowIcon(dravelo::productIcon());

  // QApplication has taken its own options (-platform, -style, ...) out of argv; the rest are
  // image paths, kept as the bytes the shell gave.
  std::vector<std::string> images;
  bool samples = false;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (options_done || a.size() < 2 || a[0] != '-') images.push_back(a);
    else if (a == "--") options_done = true;
    else if (a == "--samples") samples = true;
    else {
      std::fprintf(stderr, "dravelo: unknown option '%s'\nTry 'dravelo --help' for more information.\n", a.c_str());
      return 2;
    }
  }
  if (samples) {
    const std::string dir = dravelo::data_dir("samples");
    std::vector<std::string> found;
    std::error_code ec;
    if (!dir.empty())
      for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.path().extension() == ".img") found.push_back(entry.path().string());
    if (found.empty()) {
      std::fputs("dravelo: no sample volumes found beside the program\n", stderr);
      return 1;
    }
    std::sort(found.begin(), found.end());
    images.insert(images.begin(), found.begin(), found.end());
  }

  dravelo::T_mainForm window(images, true);

  // The undelete options dialog and the about box are created hidden at start.
  dravelo::T_recoverForm recoverForm(&window);
  recoverForm.hide();
  dravelo::installUndelete(window, recoverForm);
  dravelo::TAboutBox aboutBox(&window);
  aboutBox.hide();
  QObject::connect(&window, &dravelo::T_mainForm::aboutRequested, &aboutBox, &QDialog::exec);
  QObject::connect(&window, &dravelo::T_mainForm::helpRequested, &window,
                   [&window] {
                     dravelo::showHelp(dravelo::programHelpPlaces(), dravelo::desktopOpener(), [&window](const QString& text) {
                       QMessageBox::information(&window, QStringLiteral("Dravelo"), text);
                     });
                   });

  window.centerOnScreen();
  window.show();
  // The images named that cannot be used, said once the window is on screen.
  QTimer::singleShot(0, &window, [&window] { window.reportLeftOutVolumes(); });
  return app.exec();
}
