#include "ui/recover_form.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStandardPaths>
#include <QToolButton>

#include <algorithm>

#include "catalogue/texts.h"
#include "catalogue/version.h"
#include "ui/main_form.h"
#include "ui/settings.h"
#include "ui/ui_text.h"

namespace dravelo {

namespace {

constexpr int kBrowseButtonWidth = 20;
constexpr int kDefaultWidth = 404;
constexpr int kDefaultHeight = 129;
constexpr int kDefaultFieldWidth = 369;
constexpr int kDefaultCaptionWidth = 255;
constexpr int kDefaultKeepWidth = 151;
constexpr int kDefaultAlternateWidth = 191;
constexpr int kDefaultSmartWidth = 143;
constexpr int kDefaultOkWidth = 89;
constexpr int kDefaultCancelWidth = 88;
constexpr int kDefaultButtonsLeft = 290;

QString pick_with_dialog(QWidget* parent, const QString& current) {
  return QFileDialog::getExistingDirectory(parent, QStringLiteral("Select Directory"), current);
}

}  // namespace

T_recoverForm::T_recoverForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      picker_(pick_with_dialog) {
  setObjectName(QStringLiteral("T_recoverForm"));
  setFixedSize(404, 129);
  setModal(true);

  UndelHTMLStaticText = new QLabel(this);
  UndelHTMLStaticText->setObjectName(QStringLiteral("UndelHTMLStaticText"));
  UndelHTMLStaticText->setGeometry(11, 7, 255, 16);

  // The folder field takes no typing; its "..." button sits inside its right end.
  SaveAdvDirectoryEdit = new QLineEdit(this);
  SaveAdvDirectoryEdit->setObjectName(QStringLiteral("SaveAdvDirectoryEdit"));
  SaveAdvDirectoryEdit->setGeometry(11, 24, 369, 18);
  // The folder can be typed as well as chosen: one that does not exist yet is made when the
  // undelete starts, which says why when it cannot be.
  SaveAdvDirectoryEdit->setTextMargins(0, 0, kBrowseButtonWidth, 0);
  SaveAdvDirectoryEditButton = new QToolButton(SaveAdvDirectoryEdit);
  SaveAdvDirectoryEditButton->setObjectName(QStringLiteral("SaveAdvDirectoryEditButton"));
  SaveAdvDirectoryEditButton->setText(QStringLiteral("..."));
  SaveAdvDirectoryEditButton->setCursor(Qt::ArrowCursor);
  SaveAdvDirectoryEditButton->setGeometry(369 - kBrowseButtonWidth, 0, kBrowseButtonWidth, 18);

  KeepFolderHTMLCheckBox = new QCheckBox(this);
  KeepFolderHTMLCheckBox->setObjectName(QStringLiteral("KeepFolderHTMLCheckBox"));
  KeepFolderHTMLCheckBox->setGeometry(10, 48, 151, 17);

  alternateALCheckBox = new QCheckBox(this);
  alternateALCheckBox->setObjectName(QStringLiteral("alternateALCheckBox"));
  alternateALCheckBox->setGeometry(10, 68, 191, 17);

  SmartRecoveryALCheckBox = new QCheckBox(this);
  SmartRecoveryALCheckBox->setObjectName(QStringLiteral("SmartRecoveryALCheckBox"));
  SmartRecoveryALCheckBox->setGeometry(10, 88, 143, 17);
  SmartRecoveryALCheckBox->setChecked(true);

  OkAdvToolButton = new QPushButton(this);
  OkAdvToolButton->setObjectName(QStringLiteral("OkAdvToolButton"));
  OkAdvToolButton->setGeometry(290, 57, 89, 22);
  OkAdvToolButton->setDefault(true);

  CancelAdvToolButton = new QPushButton(this);
  CancelAdvToolButton->setObjectName(QStringLiteral("CancelAdvToolButton"));
  CancelAdvToolButton->setGeometry(290, 83, 88, 22);

  setTexts();

  connect(SaveAdvDirectoryEdit, &QLineEdit::textChanged, this, &T_recoverForm::SaveAdvDirectoryEditChange);
  connect(SaveAdvDirectoryEditButton, &QToolButton::clicked, this, &T_recoverForm::browseFolder);
  // clicked, not toggled: only the user's click is a change to store, not FormActivate's ticks.
  connect(KeepFolderHTMLCheckBox, &QCheckBox::clicked, this, &T_recoverForm::KeepFolderHTMLCheckBoxClick);
  connect(alternateALCheckBox, &QCheckBox::clicked, this, &T_recoverForm::alternateALCheckBoxClick);
  connect(SmartRecoveryALCheckBox, &QCheckBox::clicked, this, &T_recoverForm::SmartRecoveryALCheckBoxClick);
  connect(OkAdvToolButton, &QPushButton::clicked, this, &T_recoverForm::OkAdvToolButtonClick);
  connect(CancelAdvToolButton, &QPushButton::clicked, this, &T_recoverForm::CancelAdvToolButtonClick);
}

void T_recoverForm::setTexts() {
  setWindowTitle(QString::fromUtf8(kProductName) + QStringLiteral(" - ") + ui_text(33));
  UndelHTMLStaticText->setText(ui_text(34));
  KeepFolderHTMLCheckBox->setText(ui_text(35));
  alternateALCheckBox->setText(ui_text(36));
  SmartRecoveryALCheckBox->setText(ui_text(37));
  OkAdvToolButton->setText(ui_text(38));
  CancelAdvToolButton->setText(ui_text(39));
  fitTexts();
}

void T_recoverForm::fitTexts() {
  // The default widths are too narrow for some fonts and languages ("Recover alernate data
  // streams" in 191 pixels): each text-bearing control keeps its place and grows to its text;
  // the buttons stand right of the widest check box, and the dialog grows with them.
  auto grow = [](QWidget* w, int least) { w->resize(std::max(least, w->sizeHint().width()), w->height()); };
  grow(UndelHTMLStaticText, kDefaultCaptionWidth);
  grow(KeepFolderHTMLCheckBox, kDefaultKeepWidth);
  grow(alternateALCheckBox, kDefaultAlternateWidth);
  grow(SmartRecoveryALCheckBox, kDefaultSmartWidth);
  grow(OkAdvToolButton, kDefaultOkWidth);
  grow(CancelAdvToolButton, kDefaultCancelWidth);
  int boxesRight = 0;
  for (QWidget* box : {KeepFolderHTMLCheckBox, alternateALCheckBox, SmartRecoveryALCheckBox})
    boxesRight = std::max(boxesRight, box->x() + box->width());
  const int buttonsLeft = std::max(kDefaultButtonsLeft, boxesRight + 12);
  OkAdvToolButton->move(buttonsLeft, OkAdvToolButton->y());
  CancelAdvToolButton->move(buttonsLeft, CancelAdvToolButton->y());
  const int buttonsRight = buttonsLeft + std::max(OkAdvToolButton->width(), CancelAdvToolButton->width());
  const int width = std::max({kDefaultWidth, buttonsRight + kDefaultWidth - kDefaultButtonsLeft - kDefaultOkWidth,
                              UndelHTMLStaticText->x() + UndelHTMLStaticText->width() + 11});
  // The folder field keeps its margins to both edges; its "..." button stays at its right end.
  const int fieldWidth = width - kDefaultWidth + kDefaultFieldWidth;
  SaveAdvDirectoryEdit->resize(fieldWidth, SaveAdvDirectoryEdit->height());
  SaveAdvDirectoryEditButton->move(fieldWidth - kBrowseButtonWidth, 0);
  setFixedSize(width, kDefaultHeight);
}

QString T_recoverForm::targetFolder() const { return SaveAdvDirectoryEdit->text(); }
bool T_recoverForm::keepFolderStructure() const { return KeepFolderHTMLCheckBox->isChecked(); }
bool T_recoverForm::alternateStreams() const { return alternateALCheckBox->isChecked(); }
bool T_recoverForm::smartRecovery() const { return SmartRecoveryALCheckBox->isChecked(); }

bool T_recoverForm::askOptions(UndeleteRequest* request) {
  if (exec() != QDialog::Accepted) return false;
  request->target_folder = targetFolder().toStdString();
  request->keep_folders = keepFolderStructure();
  request->options.alternate_streams = alternateStreams();
  request->options.smart_recovery = smartRecovery();
  return true;
}

void T_recoverForm::setFolderPicker(FolderPicker picker) { picker_ = picker ? std::move(picker) : pick_with_dialog; }

QString T_recoverForm::documentsFolder() {
  return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

void T_recoverForm::showEvent(QShowEvent* event) {
  FormActivate();
  QDialog::showEvent(event);
}

void T_recoverForm::FormActivate() {
  const QString documents = documentsFolder();
  if (reg_key_exists(kSettingsKey)) {
    SaveAdvDirectoryEdit->setText(reg_read_str(kSettingsKey, QStringLiteral("path")).value_or(documents));
    // Only a stored 1 changes a box; nothing is unticked here.
    if (reg_read_int(kSettingsKey, QStringLiteral("kfs"), 0) == 1) KeepFolderHTMLCheckBox->setChecked(true);
    if (reg_read_int(kSettingsKey, QStringLiteral("alt"), 0) == 1) alternateALCheckBox->setChecked(true);
    if (reg_read_int(kSettingsKey, QStringLiteral("smart"), 0) == 1) SmartRecoveryALCheckBox->setChecked(true);
  } else {
    SaveAdvDirectoryEdit->setText(documents);
  }
  QPalette palette = SaveAdvDirectoryEdit->palette();
  palette.setColor(QPalette::Text, palette.color(QPalette::Highlight));
  SaveAdvDirectoryEdit->setPalette(palette);
}

void T_recoverForm::SaveAdvDirectoryEditChange(const QString& text) {
  // The documents folder is the default: choosing it leaves an earlier folder stored.
  if (text != documentsFolder()) reg_write_str(kSettingsKey, QStringLiteral("path"), text);
}

void T_recoverForm::KeepFolderHTMLCheckBoxClick(bool checked) {
  reg_write_int(kSettingsKey, QStringLiteral("kfs"), checked ? 1 : 0);
}

void T_recoverForm::alternateALCheckBoxClick(bool checked) {
  reg_write_int(kSettingsKey, QStringLiteral("alt"), checked ? 1 : 0);
}

void T_recoverForm::SmartRecoveryALCheckBoxClick(bool checked) {
  reg_write_int(kSettingsKey, QStringLiteral("smart"), checked ? 1 : 0);
}

void T_recoverForm::OkAdvToolButtonClick() { accept(); }

void T_recoverForm::CancelAdvToolButtonClick() { reject(); }

void T_recoverForm::browseFolder() {
  const QString folder = picker_(this, SaveAdvDirectoryEdit->text());
  if (!folder.isEmpty()) SaveAdvDirectoryEdit->setText(QDir::toNativeSeparators(folder));
}

void installUndelete(T_mainForm& window, T_recoverForm& form) {
  window.setOptionsForm(&form);
  window.setUndeleteHandler([&window, &form] {
    QCoreApplication::processEvents();
    // The Undelete button reads "Stop" only once the options are taken, not behind the dialog.
    undelete_operation([&form, &window](UndeleteRequest* request) {
      if (!form.askOptions(request)) return false;
      window.disable_all_u();
      return true;
    });
    // Enabling the list again repaints it, so the cleared ticks show.
    window.enable_all_u();
  });
}

}  // namespace dravelo
