// The undelete options dialog and its settings, offscreen, with the settings file in a
// temporary folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "ui/recover_form.h"
#include "ui/settings.h"
#include "ui/ui_test_support.h"

namespace dravelo {
namespace {

QApplication& application() {
  static int argc = 1;
  static char name[] = "recover_form_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

class RecoverForm : public ::testing::Test {
 protected:
  void SetUp() override {
    application();
    ASSERT_TRUE(dir_.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
    form_ = std::make_unique<T_recoverForm>();
  }

  template <typename T>
  T* control(const char* name) {
    T* w = form_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  // The settings file as it lies on disk.
  QString stored() {
    QFile f(settings_location());
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(f.readAll());
  }

  // Shows the dialog modally and presses a button once it is up.
  int execAndPress(const char* button) {
    QTimer::singleShot(0, form_.get(), [this, button] { control<QPushButton>(button)->click(); });
    return form_->exec();
  }

  QTemporaryDir dir_;
  std::unique_ptr<T_recoverForm> form_;
};

TEST_F(RecoverForm, HasItsControlsAtTheirDefaultPlaces) {
  struct Row {
    const char* name;
    QRect place;
    QString text;
  } rows[] = {
      {"UndelHTMLStaticText", QRect(11, 7, 255, 16), "Undelete selected file(s) to:"},
      {"SaveAdvDirectoryEdit", QRect(11, 24, 369, 18), QString()},
      {"KeepFolderHTMLCheckBox", QRect(10, 48, 151, 17), "Keep folder structure"},
      {"alternateALCheckBox", QRect(10, 68, 191, 17), "Recover alernate data streams"},
      {"SmartRecoveryALCheckBox", QRect(10, 88, 143, 17), "Use smart recovery"},
      {"OkAdvToolButton", QRect(290, 57, 89, 22), "Ok"},
      {"CancelAdvToolButton", QRect(290, 83, 88, 22), "Cancel"},
  };
  // Each control stands at its default place, at least as wide as its default and as wide as its
  // text needs in the font in use; the dialog grows only when they would not fit.
  for (const Row& r : rows) {
    QWidget* w = control<QWidget>(r.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->y(), r.place.y()) << r.name;
    EXPECT_EQ(w->height(), r.place.height()) << r.name;
    EXPECT_GE(w->width(), r.place.width()) << r.name;
    if (!qobject_cast<QPushButton*>(w)) {
      EXPECT_EQ(w->x(), r.place.x()) << r.name;
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
      EXPECT_EQ(label->text(), r.text);
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      EXPECT_EQ(button->text(), r.text) << r.name;
    }
  }
  EXPECT_EQ(form_->windowTitle(), "Dravelo - Undelete");
  EXPECT_GE(form_->width(), 404);
  EXPECT_EQ(form_->height(), 129);
  EXPECT_EQ(form_->minimumSize(), form_->maximumSize());  // fixed size
  form_->show();
  EXPECT_EQ(test::layoutFaults(form_.get()), QStringList());
  // The folder field keeps its margins to the dialog's edges.
  QWidget* field = control<QWidget>("SaveAdvDirectoryEdit");
  EXPECT_EQ(form_->width() - field->x() - field->width(), 404 - 11 - 369);
  form_->hide();
  EXPECT_FALSE(control<QLineEdit>("SaveAdvDirectoryEdit")->isReadOnly()) << "the folder can be typed";
  EXPECT_EQ(control<QToolButton>("SaveAdvDirectoryEditButton")->text(), "...");
}

TEST_F(RecoverForm, FirstStartShowsTheDefaultsAndWritesNothing) {
  form_->FormActivate();
  EXPECT_EQ(form_->targetFolder(), T_recoverForm::documentsFolder());
  EXPECT_FALSE(form_->keepFolderStructure());
  EXPECT_FALSE(form_->alternateStreams());
  EXPECT_TRUE(form_->smartRecovery());
  EXPECT_FALSE(QFile::exists(settings_location()));
  reg_delete_value(kSettingsKey, "language");  // deleting from a missing key makes no key
  EXPECT_FALSE(QFile::exists(settings_location()));
}

TEST_F(RecoverForm, OnlyAStoredOneTicksABox) {
  struct Case {
    const char* kfs;
    const char* smart;
    bool keep_ticked;
  } cases[] = {{"1", "0", true}, {"2", "0", false}, {"yes", "0", false}, {"0", "1", false}};
  for (const Case& c : cases) {
    reg_write_str(kSettingsKey, "kfs", c.kfs);
    reg_write_str(kSettingsKey, "smart", c.smart);
    T_recoverForm fresh;  // a new program run
    fresh.FormActivate();
    EXPECT_EQ(fresh.keepFolderStructure(), c.keep_ticked) << "kfs " << c.kfs;
    EXPECT_TRUE(fresh.smartRecovery()) << "a stored 0 does not untick the default tick";
    EXPECT_FALSE(fresh.alternateStreams());
  }
  // Nothing is unticked by a later showing either.
  reg_write_str(kSettingsKey, "kfs", "1");
  form_->FormActivate();
  reg_write_str(kSettingsKey, "kfs", "0");
  form_->FormActivate();
  EXPECT_TRUE(form_->keepFolderStructure());
}

TEST_F(RecoverForm, AClickIsStoredAtOnceAlsoBeforeCancel) {
  form_->FormActivate();
  control<QCheckBox>("KeepFolderHTMLCheckBox")->click();
  control<QCheckBox>("alternateALCheckBox")->click();
  control<QCheckBox>("SmartRecoveryALCheckBox")->click();
  EXPECT_EQ(reg_read_str(kSettingsKey, "kfs").value_or("?"), "1");
  EXPECT_EQ(reg_read_str(kSettingsKey, "alt").value_or("?"), "1");
  EXPECT_EQ(reg_read_str(kSettingsKey, "smart").value_or("?"), "0");
  EXPECT_EQ(execAndPress("CancelAdvToolButton"), QDialog::Rejected);
  EXPECT_TRUE(stored().contains("kfs=1")) << stored().toStdString();  // stored as text

  T_recoverForm restarted;
  restarted.FormActivate();
  EXPECT_TRUE(restarted.keepFolderStructure());
  EXPECT_TRUE(restarted.alternateStreams());
  EXPECT_TRUE(restarted.smartRecovery());

  control<QCheckBox>("KeepFolderHTMLCheckBox")->click();
  EXPECT_EQ(reg_read_int(kSettingsKey, "kfs", -1), 0);
  EXPECT_EQ(execAndPress("OkAdvToolButton"), QDialog::Accepted);
}

TEST_F(RecoverForm, ThePickedFolderIsStoredUnlessItIsTheDocumentsFolder) {
  QString next = "/srv/recovered, old";
  form_->setFolderPicker([&next](QWidget*, const QString&) { return next; });
  form_->FormActivate();
  control<QToolButton>("SaveAdvDirectoryEditButton")->click();
  EXPECT_EQ(form_->targetFolder(), "/srv/recovered, old");
  EXPECT_EQ(reg_read_str(kSettingsKey, "path").value_or("?"), "/srv/recovered, old");

  next = T_recoverForm::documentsFolder();
  control<QToolButton>("SaveAdvDirectoryEditButton")->click();
  EXPECT_EQ(form_->targetFolder(), next);
  EXPECT_EQ(reg_read_str(kSettingsKey, "path").value_or("?"), "/srv/recovered, old");

  next.clear();  // the picker was cancelled
  control<QToolButton>("SaveAdvDirectoryEditButton")->click();
  EXPECT_EQ(form_->targetFolder(), T_recoverForm::documentsFolder());

  form_->FormActivate();  // the next showing offers the stored folder again
  EXPECT_EQ(form_->targetFolder(), "/srv/recovered, old");
}

TEST_F(RecoverForm, OkHandsTheChoicesToTheUndelete) {
  form_->setFolderPicker([](QWidget*, const QString&) { return QStringLiteral("/srv/out"); });
  QTimer::singleShot(0, form_.get(), [this] {
    control<QToolButton>("SaveAdvDirectoryEditButton")->click();
    control<QCheckBox>("KeepFolderHTMLCheckBox")->click();
    control<QCheckBox>("alternateALCheckBox")->click();
    control<QPushButton>("OkAdvToolButton")->click();
  });
  UndeleteRequest request;
  ASSERT_TRUE(form_->askOptions(&request));
  EXPECT_EQ(request.target_folder, "/srv/out");
  EXPECT_TRUE(request.keep_folders);
  EXPECT_TRUE(request.options.alternate_streams);

  QTimer::singleShot(0, form_.get(), [this] { form_->close(); });  // the close box is Cancel
  EXPECT_FALSE(form_->askOptions(&request));
}

TEST_F(RecoverForm, RegistryRoutinesKeepTextValues) {
  EXPECT_FALSE(reg_key_exists(kSettingsKey));
  EXPECT_FALSE(reg_read_str(kSettingsKey, "language"));
  EXPECT_EQ(reg_read_int(kSettingsKey, "language", 10000), 10000);
  EXPECT_TRUE(reg_write_int(kSettingsKey, "language", 30000));
  EXPECT_TRUE(reg_key_exists(kSettingsKey));
  EXPECT_EQ(reg_read_str(kSettingsKey, "language").value_or("?"), "30000");
  EXPECT_EQ(reg_read_int(kSettingsKey, "language", 10000), 30000);
  reg_write_str(kSettingsKey, "language", "30000x");
  EXPECT_EQ(reg_read_int(kSettingsKey, "language", 10000), 10000);
  reg_delete_value(kSettingsKey, "language");
  EXPECT_FALSE(reg_read_str(kSettingsKey, "language"));
  reg_delete_value(kSettingsKey, "language");  // a missing value is no error
}

}  // namespace
}  // namespace dravelo
