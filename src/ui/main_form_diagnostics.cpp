// The main window's diagnostic dumps: "Read 1st Sector" in the drive popup and "Read selected
// MFT" in the file popup. Both entries and their separators are hidden unless the program was
// started with DRAVELO_ADMIN=1.
#include <QAction>
#include <QFile>
#include <QFileDialog>

#include "catalogue/catalogue.h"
#include "ui/main_form.h"
#include "workflow/diagnostic_dumps.h"

namespace dravelo {

namespace {

QString askWithSaveDialog(QWidget* parent) { return QFileDialog::getSaveFileName(parent); }

// Creates or replaces the file and writes the bytes; false with the reason when that fails.
bool saveDump(const QString& path, const std::uint8_t* bytes, std::size_t size, QString* reason) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    *reason = file.errorString();
    return false;
  }
  if (file.write(reinterpret_cast<const char*>(bytes), static_cast<qint64>(size)) != static_cast<qint64>(size)) {
    *reason = file.errorString();
    return false;
  }
  return true;
}

}  // namespace

void T_mainForm::createDiagnostics() {
  savePicker_ = askWithSaveDialog;
  const bool admin = qEnvironmentVariable("DRAVELO_ADMIN") == QStringLiteral("1");
  for (QAction* a : {AdminSeparator2, Read1stSector, AdminSeparator, ReadMFT}) a->setVisible(admin);
  connect(Read1stSector, &QAction::triggered, this, [this] { Read1stSectorClick(); });
  connect(ReadMFT, &QAction::triggered, this, [this] { ReadMFTClick(); });
}

void T_mainForm::setSavePicker(SavePicker picker) { savePicker_ = picker ? std::move(picker) : askWithSaveDialog; }

void T_mainForm::Read1stSectorClick() {
  // One save dialog per ticked drive, in drive-list order; a cancelled dialog skips its drive.
  for (std::size_t i = 0; i < drive_list.size(); ++i) {
    if (drive_list[i].selected != 1) continue;
    SectorDump buffer;
    DumpFirstSector(drive_list[i].drive_name, buffer);
    const QString path = savePicker_(this);
    if (path.isEmpty()) continue;
    QString reason;
    if (!saveDump(path, buffer.data(), buffer.size(), &reason))
      out_text(("Cannot write " + path + ": " + reason).toStdString(), MsgType::error, true);
  }
}

void T_mainForm::ReadMFTClick() {
  // Every ticked entry of the catalogue, also those that the filter hides.
  for (std::int32_t i = 0; i < file_count(); ++i) {
    const FileInfo& entry = file_list[i];
    if (entry.selected != 1) continue;
    RecordDump buffer;
    DumpMftRecord(entry, buffer);
    const QString path = savePicker_(this);
    if (path.isEmpty()) continue;
    QString reason;
    if (!saveDump(path, buffer.data(), buffer.size(), &reason))
      out_text(("Cannot write " + path + ": " + reason).toStdString(), MsgType::error, true);
  }
}

}  // namespace dravelo
