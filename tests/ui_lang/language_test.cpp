// The language menu and set_language: every caption relabelled, the choice stored and restored,
// a running undelete's Stop kept, and every text of the filter panel, the buttons and the
// options dialog fitting its control in every language.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QHeaderView>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "catalogue/languages.h"
#include "catalogue/texts.h"
#include "ui/main_form.h"
#include "ui/recover_form.h"
#include "ui/result_list_model.h"
#include "ui/settings.h"
#include "ui/ui_test_support.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureApp();
    ASSERT_TRUE(settings_.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_.path());
    reset_catalogue();
    lang_base = kEnglishBase;
    makeWindow();
  }
  void TearDown() override {
    options.reset();
    form.reset();
    reset_catalogue();
    lang_base = kEnglishBase;
  }
  void makeWindow() {
    options.reset();
    form = std::make_unique<T_mainForm>(std::vector<std::string>{}, false);
    options = std::make_unique<T_recoverForm>(form.get());
    installUndelete(*form, *options);
  }
  template <class W>
  W* find(const char* name) {
    W* w = form->findChild<W*>(QString::fromLatin1(name));
    if (!w) w = options->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString text(const char* name) {
    if (auto* b = form->findChild<QAbstractButton*>(QString::fromLatin1(name))) return b->text();
    if (auto* b = options->findChild<QAbstractButton*>(QString::fromLatin1(name))) return b->text();
    return find<QLabel>(name)->text();
  }
  void choose(const char* entry) {
    QAction* a = find<QAction>(entry);
    ASSERT_NE(a, nullptr);
    a->trigger();
  }
  std::optional<QString> stored() { return reg_read_str(kSettingsKey, QStringLiteral("language")); }

  QTemporaryDir settings_;
  std::unique_ptr<T_mainForm> form;
  std::unique_ptr<T_recoverForm> options;
};

TEST_F(LanguageTest, MenuHoldsTheThirteenLanguagesWithTheirFlags) {
  const QList<QAction*> entries = find<QMenu>("LanguageAdvPopupMenu")->actions();
  ASSERT_EQ(entries.size(), 13);
  for (std::size_t i = 0; i < kLanguages.size(); ++i) {
    const Language& l = kLanguages[i];
    QAction* a = entries[static_cast<qsizetype>(i)];
    EXPECT_EQ(a->objectName().toStdString(), l.entry_name);
    EXPECT_EQ(a->text().toStdString(), l.caption);
    EXPECT_FALSE(a->icon().isNull()) << l.caption;
    EXPECT_FALSE(a->isCheckable());
  }
  // The flags differ from one another.
  QSet<QByteArray> bytes;
  for (QAction* a : entries) {
    const QImage img = a->icon().pixmap(16, 11).toImage().convertToFormat(QImage::Format_ARGB32);
    bytes.insert(QByteArray(reinterpret_cast<const char*>(img.constBits()), img.sizeInBytes()));
  }
  EXPECT_EQ(bytes.size(), 13);
  EXPECT_EQ(text("LanguageAdvToolButton"), "English");
}

TEST_F(LanguageTest, ChoosingGermanRelabelsBothWindowsInOrderAndStoresIt) {
  auto* dateKind = find<QComboBox>("DateALComboBox");
  auto* sizeKind = find<QComboBox>("SizeALComboBox");
  dateKind->setCurrentIndex(1);
  sizeKind->setCurrentIndex(1);
  choose("German1");

  EXPECT_EQ(lang_base, 30000);
  EXPECT_EQ(find<QTreeWidget>("DriveHTMLTreeview")->topLevelItem(0)->text(0), "Arbeitsplatz (0)");
  EXPECT_EQ(form->windowTitle(), "Dravelo - 3.3.5.0");
  EXPECT_EQ(text("DrivesAdvToolButton"), "Laufwerke");
  EXPECT_EQ(text("AnalyzeAdvToolButton"), "Analysieren");
  EXPECT_EQ(text("UndeleteAdvToolButton"), "Wiederherstellen");
  EXPECT_TRUE(text("HelpStaticText").contains("Hilfe"));
  EXPECT_EQ(form->listModel()->headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(), "Geändert am");
  EXPECT_EQ(text("NameHTMLCheckBox"), "Dateiname oder Teil davon:");
  EXPECT_EQ(dateKind->currentIndex(), 0);
  EXPECT_EQ(dateKind->itemText(1), "Erstelldatum");
  EXPECT_EQ(sizeKind->currentIndex(), 0);
  EXPECT_EQ(sizeKind->itemText(0), "ab");
  EXPECT_EQ(text("FilesHTMLabel"), "<b>Dateien: 0</b>");
  EXPECT_EQ(options->windowTitle(), "Dravelo - Wiederherstellen");
  EXPECT_EQ(text("KeepFolderHTMLCheckBox"), "Ordnerstruktur beibehalten");
  EXPECT_EQ(text("CancelAdvToolButton"), "Abbrechen");
  EXPECT_EQ(find<QAction>("MenuItem3")->text(), "Select All Drives");  // German has no text 40
  EXPECT_EQ(find<QAction>("MenuItem4")->text(), "Alle Laufwerke abwählen");
  EXPECT_EQ(find<QAction>("ReverseSelection1")->text(), "Auswahl umkehren");
  EXPECT_EQ(stored(), "30000");
  EXPECT_EQ(text("LanguageAdvToolButton"), "German");
  EXPECT_EQ(find<QToolButton>("LanguageAdvToolButton")->icon().cacheKey(), find<QAction>("German1")->icon().cacheKey());

  // Choosing the current language again still puts both selectors back to their first entry.
  dateKind->setCurrentIndex(1);
  choose("German1");
  EXPECT_EQ(dateKind->currentIndex(), 0);

  choose("English1");
  EXPECT_EQ(text("AnalyzeAdvToolButton"), "Analyze");
  EXPECT_EQ(stored(), std::nullopt) << "English deletes the value";
  EXPECT_EQ(text("LanguageAdvToolButton"), "English");
}

TEST_F(LanguageTest, PolishShowsEnglishWithThePolishButton) {
  choose("Polish1");
  EXPECT_EQ(text("AnalyzeAdvToolButton"), "Analyze");
  EXPECT_EQ(find<QAction>("SelectAll1")->text(), "Select All Files");
  EXPECT_EQ(text("LanguageAdvToolButton"), "Polish");
  EXPECT_EQ(stored(), "34000");
}

TEST_F(LanguageTest, TheChoiceSurvivesARestart) {
  choose("Russian1");
  lang_base = kEnglishBase;  // as a new program run starts
  makeWindow();
  EXPECT_EQ(text("AnalyzeAdvToolButton"), "Analyze") << "nothing is applied before the first activation";
  form->show();  // the first activation
  EXPECT_EQ(text("AnalyzeAdvToolButton"), "Анализ");
  EXPECT_EQ(text("LanguageAdvToolButton"), "Russian");
  EXPECT_EQ(text("OkAdvToolButton"), "ОК");
  EXPECT_EQ(stored(), "20000");
}

TEST_F(LanguageTest, ActivationRulesForStoredValues) {
  struct Case {
    const char* stored;  // nullptr: no settings at all
    const char* analyze;
    const char* button;
    const char* after;  // the value afterwards
  };
  const Case cases[] = {
      {nullptr, "Analyze", "English", nullptr},
      {"28000", "Analiz et", "Turkish", "28000"},
      {"banana", "Analyze", "English", nullptr},  // not a number: English, and the value goes
      {"12345", "Analyze", "Catalan", "12345"},   // unknown base: English texts, button kept, value kept
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored ? c.stored : "no key");
    choose("Catalan1");  // the button shows Catalan until the activation applies what is stored
    if (c.stored)
      reg_write_str(kSettingsKey, QStringLiteral("language"), QString::fromLatin1(c.stored));
    else
      QFile::remove(settings_location());
    form->FormActivate();
    EXPECT_EQ(text("AnalyzeAdvToolButton"), c.analyze);
    EXPECT_EQ(text("LanguageAdvToolButton"), c.button);
    EXPECT_EQ(stored(), c.after ? std::optional<QString>(c.after) : std::nullopt);
  }
}

TEST_F(LanguageTest, ClosingADialogDoesNotApplyTheLanguageAgain) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  auto* dateKind = find<QComboBox>("DateALComboBox");
  dateKind->setCurrentIndex(1);
  bool boxHadFocus = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    boxHadFocus = QTest::qWaitForWindowActive(box);
    box->accept();
  });
  QMessageBox::information(form.get(), "Dravelo", "a message");
  form->activateWindow();  // what the window manager does when the box has gone
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  EXPECT_TRUE(boxHadFocus);
  EXPECT_EQ(dateKind->currentIndex(), 1);
}

TEST_F(LanguageTest, FocusBackFromAnotherWindowAppliesTheStoredLanguage) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  auto* dateKind = find<QComboBox>("DateALComboBox");
  reg_write_int(kSettingsKey, QStringLiteral("language"), 24000);
  dateKind->setCurrentIndex(1);
  QWidget other;  // a non-modal window of the program
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  EXPECT_EQ(text("AnalyzeAdvToolButton"), "Analizza");
  EXPECT_EQ(dateKind->currentIndex(), 0);
}

// A copy during which the user switches to German and then presses the button, which must read
// "Stop" in German and still stop.
T_mainForm* runningWindow = nullptr;
int copies = 0;
QString buttonDuringCopy;
RecoverResult switchThenStop(const FileInfo&, const std::string& target, const RecoverOptions&) {
  RecoverResult r;
  if (++copies == 1) {
    runningWindow->findChild<QAction*>(QStringLiteral("German1"))->trigger();
    auto* button = runningWindow->findChild<QToolButton*>(QStringLiteral("UndeleteAdvToolButton"));
    buttonDuringCopy = button->text();
    button->click();
    r.status = RecoverStatus::stopped;
    return r;
  }
  TargetFile out;
  out.create(target);
  out.close();
  return r;
}

TEST_F(LanguageTest, SwitchingDuringAnUndeleteKeepsStopInTheNewLanguage) {
  QTemporaryDir target;
  reg_write_str(kSettingsKey, QStringLiteral("path"), target.path());
  drive_list.resize(1);
  drive_list[0].drive_name = 'c';
  drive_list[0].drive_fs = "NTFS";
  for (int i = 0; i < 3; ++i) {
    FileInfo e;
    e.fs = "NTFS";
    e.FileName = "f" + std::to_string(i);
    e.Path = "C:\\";
    e.FileSize = 10;
    e.selected = 1;
    add_file(std::move(e));
  }
  find<QToolButton>("UndeleteAdvToolButton")->setEnabled(true);  // as after an analysis that found files
  runningWindow = form.get();
  copies = 0;
  const RecoverRoutines previous = set_recover_routines({&switchThenStop, &switchThenStop});
  QStringList messages;
  QTimer driver;
  QObject::connect(&driver, &QTimer::timeout, [&] {
    QWidget* w = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
      messages << box->text();
      box->accept();
    } else if (auto* dialog = qobject_cast<T_recoverForm*>(w)) {
      dialog->findChild<QPushButton*>(QStringLiteral("OkAdvToolButton"))->click();
    }
  });
  driver.start(5);
  form->UndeleteAdvToolButtonClick();
  driver.stop();
  set_recover_routines(previous);
  runningWindow = nullptr;

  EXPECT_EQ(buttonDuringCopy, "Stopp");
  EXPECT_EQ(copies, 1);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "Wiederherstellung abgebrochen. Erfolgreich wiederhergestellt:  0");
  EXPECT_EQ(text("UndeleteAdvToolButton"), "Wiederherstellen");
}

// Every text of the filter panel, the buttons and links and the options dialog fits its control
// at the default size, in the font in use, in every language.
TEST_F(LanguageTest, NothingIsCutOffInAnyLanguage) {
  const char* mainControls[] = {
      "AnalyzeAdvToolButton", "DeepScanAdvToolButton", "UndeleteAdvToolButton", "DrivesAdvToolButton",
      "TypesAdvToolButton",
      "FoldersAdvToolButton", "NameHTMLCheckBox",      "SizeHTMLCheckBox",       "DateHTMLCheckBox",
      "OverwrittenHTMLCheckBox", "TemporaryHTMLCheckBox", "FromLabel",           "ToLabel",
      "DateALComboBox",       "SizeALComboBox",        "FilterAdvToolButton",    "ClearAdvToolButton",
      "LanguageAdvToolButton", "AboutStaticText",      "HelpStaticText",
  };
  const char* optionControls[] = {"UndelHTMLStaticText", "KeepFolderHTMLCheckBox", "alternateALCheckBox",
                                  "SmartRecoveryALCheckBox", "OkAdvToolButton", "CancelAdvToolButton"};
  form->show();
  options->show();
  auto fits = [](QWidget* w, const Language& l, bool named = true) {
    // A screen reader announces what the user sees.
    QString caption;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) caption = b->text();
    if (named && !caption.isEmpty() && !w->accessibleName().isEmpty()) {
      EXPECT_TRUE(w->accessibleName().contains(caption, Qt::CaseInsensitive))
          << l.caption << ": " << w->objectName().toStdString();
    }
    QSize need = w->sizeHint();
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
      // A combo box keeps the size hint of its first showing: measure the entries it has now.
      QComboBox probe;
      probe.setFont(combo->font());
      for (int i = 0; i < combo->count(); ++i) probe.addItem(combo->itemText(i));
      need = probe.sizeHint();
    }
    EXPECT_LE(need.width(), w->width()) << l.caption << ": " << w->objectName().toStdString() << " needs "
                                        << need.width() << " pixels";
  };
  for (const Language& l : kLanguages) {
    form->set_language(l.base, nullptr);
    EXPECT_EQ(text("AnalyzeAdvToolButton").toStdString(), lang_text(8));
    for (const char* name : mainControls) fits(find<QWidget>(name), l);
    for (const char* name : optionControls) fits(find<QWidget>(name), l);
    // The top row's controls stand side by side in the window, none covering the next.
    const QRect analyze = find<QWidget>("AnalyzeAdvToolButton")->geometry();
    const QRect deep = find<QWidget>("DeepScanAdvToolButton")->geometry();
    const QRect undelete = find<QWidget>("UndeleteAdvToolButton")->geometry();
    const QRect progress = find<QWidget>("AdvProgressBar")->geometry();
    const QRect files = find<QWidget>("FilesHTMLabel")->geometry();
    EXPECT_LT(analyze.right(), deep.left()) << l.caption;
    EXPECT_LT(deep.right(), undelete.left()) << l.caption;
    EXPECT_LT(undelete.right(), progress.left()) << l.caption;
    EXPECT_LT(progress.right(), files.left()) << l.caption;
    EXPECT_LE(files.right(), form->centralWidget()->width()) << l.caption;
    // The running operations' "Stop" fits the two action buttons as well.
    form->disable_all_u();
    form->applyLanguageTexts();
    fits(find<QWidget>("UndeleteAdvToolButton"), l, false);
    form->enable_all_u();
  }
  options->hide();
}

}  // namespace
}  // namespace dravelo
