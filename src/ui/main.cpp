// Program start: the application's title, the main window (whose creation builds the drive
// tree), the dialogs that start hidden, then the message loop until the main window closes.
// `dravelo IMAGE...` makes the image files the first volumes, the first one C: and ticked.
#include <QApplication>
#include <QDialog>

#include <string>
#include <vector>

#include "ui/main_form.h"
#include "ui/recover_form.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Dravelo"));
  QApplication::setApplicationVersion(QStringLiteral(DRAVELO_VERSION_TEXT));

  // QApplication has taken its own options (-platform, -style, ...) out of argv; the rest are
  // image paths, kept as the bytes the shell gave.
  std::vector<std::string> images;
  for (int i = 1; i < argc; ++i) images.emplace_back(argv[i]);

  dravelo::T_mainForm window(images, true);

  // The undelete options dialog and the about box are created hidden at start; until the about
  // box has its own window a plain dialog stands in for it.
  dravelo::T_recoverForm recoverForm(&window);
  recoverForm.hide();
  dravelo::installUndelete(window, recoverForm);
  QDialog aboutBox(&window);
  aboutBox.setObjectName(QStringLiteral("TAboutBox"));
  aboutBox.setWindowTitle(QStringLiteral("Dravelo - " DRAVELO_VERSION_TEXT));
  aboutBox.setFixedSize(448, 148);
  QObject::connect(&window, &dravelo::T_mainForm::aboutRequested, &aboutBox, &QDialog::exec);

  window.centerOnScreen();
  window.show();
  return app.exec();
}
