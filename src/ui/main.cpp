#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Dravelo");
  QApplication::setApplicationDisplayName("Dravelo");
  QMainWindow window;
  window.setObjectName("T_mainForm");
  window.resize(1237, 548);
  window.show();
  return app.exec();
}
