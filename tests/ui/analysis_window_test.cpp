// The window driven through an analysis of two sample volumes (FAT16 as C:, NTFS as D:), as a
// user would: Analyze, browse by folder and type, filter, tick, sort by a header press.
#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QDateEdit>
#include <QImage>
#include <QRegularExpression>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/contrast.h"
#include "catalogue/filter.h"
#include "catalogue/presentation.h"
#include "catalogue/result_text.h"
#include "catalogue/texts.h"
#include "ui/result_list_model.h"
#include "ui/main_form.h"
#include "ui_test_support.h"

namespace dravelo {
namespace {

std::string sample(const char* name) { return std::string(DRAVELO_SAMPLES_DIR) + "/" + name; }

// How many deleted files each folder of a sample holds, by the folder as listed ("" for the root).
QMap<QString, int> filesPerFolder(const char* image) {
  QFile f(QString::fromUtf8(DRAVELO_SAMPLES_SOURCE_DIR) + "/" + image + ".json");
  if (!f.open(QIODevice::ReadOnly)) return {};
  QMap<QString, int> count;
  for (const QJsonValue v : QJsonDocument::fromJson(f.readAll()).object().value("deleted").toArray())
    ++count[v.toObject().value("listed_dir").toString()];
  return count;
}

int total(const QMap<QString, int>& m) {
  int n = 0;
  for (int v : m) n += v;
  return n;
}

QTreeWidgetItem* childNamed(QTreeWidgetItem* node, const QString& text) {
  for (int i = 0; node && i < node->childCount(); ++i)
    if (node->child(i)->text(0) == text) return node->child(i);
  return nullptr;
}

// Answers the message boxes that come up while it lives, keeping their texts.
struct BoxTexts {
  BoxTexts() {
    QObject::connect(&timer, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts << box->text();
        box->accept();
      }
    });
    timer.start(10);
  }
  QTimer timer;
  QStringList texts;
};

class AnalysisWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureApp();
    fat = filesPerFolder("fat16_16m.img");
    ntfs = filesPerFolder("ntfs_24m.img");
    ASSERT_GT(total(fat), 0);
    ASSERT_GT(total(ntfs), 0);
    custom_filter = TCustomFilter{};
    form = std::make_unique<T_mainForm>(std::vector<std::string>{sample("fat16_16m.img"), sample("ntfs_24m.img")},
                                        false);
    form->show();
    list = form->findChild<QTreeView*>("AdvListView");
    folders = form->findChild<QTreeWidget*>("FolderHTMLTreeView");
    types = form->findChild<QTreeWidget*>("TypesTreeView");
  }
  void TearDown() override {
    form.reset();
    reset_catalogue();
    custom_filter = TCustomFilter{};
  }
  void analyze() {
    form->MenuItem3Click();  // both drives
    form->AnalyzeAdvToolButtonClick();
  }
  int rows() { return list->model()->rowCount(); }
  QString cell(int row, int column) { return list->model()->index(row, column).data().toString(); }
  FileInfo& entry(int row) { return file_list[visible_files[static_cast<std::size_t>(row)]]; }
  template <class W>
  W* find(const char* name) {
    return form->findChild<W*>(QString::fromLatin1(name));
  }

  QMap<QString, int> fat, ntfs;
  std::unique_ptr<T_mainForm> form;
  QTreeView* list = nullptr;
  QTreeWidget* folders = nullptr;
  QTreeWidget* types = nullptr;
};

TEST_F(AnalysisWindowTest, AnalyzeFillsTheListAndBothTrees) {
  analyze();
  const int n = total(fat) + total(ntfs);
  EXPECT_EQ(file_count(), n);
  EXPECT_EQ(rows(), n);
  EXPECT_EQ(find<QLabel>("FilesHTMLabel")->text(), QString("<b>Files:</b> %1").arg(n));
  EXPECT_EQ(find<QToolButton>("AnalyzeAdvToolButton")->text(), "Analyze");
  EXPECT_TRUE(find<QToolButton>("UndeleteAdvToolButton")->isEnabled());
  EXPECT_EQ(form->shownTree(), types);
  EXPECT_EQ(form->messagesShown(), 0);

  // Types tree: the root and one node per group with files, the counts adding up.
  ASSERT_EQ(types->topLevelItemCount(), 1);
  QTreeWidgetItem* typeRoot = types->topLevelItem(0);
  EXPECT_EQ(typeRoot->text(0), "My Computer");
  EXPECT_TRUE(typeRoot->isExpanded());
  int grouped = 0;
  for (int i = 0; i < typeRoot->childCount(); ++i) {
    const QString t = typeRoot->child(i)->text(0);
    const qsizetype open = t.lastIndexOf('(');
    ASSERT_GT(open, 0) << t.toStdString();
    grouped += t.mid(open + 1, t.size() - open - 2).toInt();
  }
  EXPECT_EQ(grouped, n);

  // Folder tree: the two drives below the root, expanded one level, each folder in its place,
  // siblings in locale order.
  ASSERT_EQ(folders->topLevelItemCount(), 1);
  QTreeWidgetItem* root = folders->topLevelItem(0);
  EXPECT_TRUE(root->isExpanded());
  ASSERT_EQ(root->childCount(), 2);
  QTreeWidgetItem* c = childNamed(root, "C:\\");
  QTreeWidgetItem* d = childNamed(root, "D:\\");
  ASSERT_TRUE(c && d);
  EXPECT_FALSE(c->isExpanded());
  ASSERT_NE(childNamed(c, "Projects"), nullptr);
  EXPECT_NE(childNamed(childNamed(c, "Projects"), "Website"), nullptr);
  EXPECT_NE(childNamed(c, "Backups"), nullptr);
  EXPECT_NE(childNamed(d, "Documents"), nullptr);
  ASSERT_NE(childNamed(d, "Old Project"), nullptr);
  EXPECT_NE(childNamed(childNamed(d, "Old Project"), "src"), nullptr);
  QStringList order;
  for (int i = 0; i < d->childCount(); ++i) order << d->child(i)->text(0);
  QStringList sorted = order;
  std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
    return QString::localeAwareCompare(a.toLower(), b.toLower()) < 0;
  });
  EXPECT_EQ(order, sorted);

  // Every folder node shows one of two pictures (a folder, a deleted folder), made once and
  // shared: a tree of a million folders must not hold a million pictures.
  std::set<qint64> pictures;
  std::vector<QTreeWidgetItem*> pending{c, d};
  int nodes = 0;
  while (!pending.empty()) {
    QTreeWidgetItem* node = pending.back();
    pending.pop_back();
    for (int i = 0; i < node->childCount(); ++i) {
      pictures.insert(node->child(i)->icon(0).cacheKey());
      pending.push_back(node->child(i));
      ++nodes;
    }
  }
  EXPECT_GT(nodes, 4);
  EXPECT_LE(pictures.size(), 2u);
}

TEST_F(AnalysisWindowTest, TreeNodesNarrowTheList) {
  analyze();
  QTreeWidgetItem* root = folders->topLevelItem(0);
  form->FoldersAdvToolButtonClick();
  struct Case {
    QTreeWidgetItem* node;
    int rows;
  };
  QTreeWidgetItem* c = childNamed(root, "C:\\");
  QTreeWidgetItem* d = childNamed(root, "D:\\");
  const Case cases[] = {
      {c, fat.value("")},
      {childNamed(c, "Backups"), fat.value("Backups")},
      {childNamed(c, "Projects"), fat.value("Projects")},  // subfolders are not included
      {childNamed(childNamed(c, "Projects"), "Website"), fat.value("Projects\\Website")},
      {d, ntfs.value("")},
      {childNamed(d, "Documents"), ntfs.value("Documents")},
      {childNamed(childNamed(d, "Old Project"), "src"), ntfs.value("Old Project\\src")},
      {root, total(fat) + total(ntfs)},
  };
  for (const Case& k : cases) {
    ASSERT_NE(k.node, nullptr);
    folders->setCurrentItem(k.node);
    EXPECT_EQ(rows(), k.rows) << k.node->text(0).toStdString();
  }

  // A type group shows its own files only.
  form->TypesAdvToolButtonClick();
  QTreeWidgetItem* typeRoot = types->topLevelItem(0);
  ASSERT_GT(typeRoot->childCount(), 1);
  QTreeWidgetItem* group = typeRoot->child(0);
  types->setCurrentItem(group);
  const QString t = group->text(0);
  EXPECT_EQ(rows(), t.mid(t.lastIndexOf('(') + 1).chopped(1).toInt());
  const auto app = entry(0).FileExt;
  for (int r = 0; r < rows(); ++r) EXPECT_EQ(entry(r).FileExt, app);
  types->setCurrentItem(typeRoot);
  EXPECT_EQ(rows(), file_count());
}

TEST_F(AnalysisWindowTest, FilterPanelNarrowsAndClearRestores) {
  analyze();
  const int all = rows();
  find<QCheckBox>("NameHTMLCheckBox")->setChecked(true);
  form->NameHTMLCheckBoxClick();
  find<QLineEdit>("NameAdvEdit")->setText("bin");
  form->FilterAdvToolButtonClick();
  int expected = 0;
  for (int k = 0; k < file_count(); ++k) expected += QString::fromStdString(file_list[k].FileName).contains("BIN", Qt::CaseInsensitive);
  EXPECT_GT(expected, 0);
  EXPECT_EQ(rows(), expected);
  EXPECT_FALSE(find<QWidget>("ClearAdvToolButton")->isHidden());
  EXPECT_EQ(find<QLabel>("FilesHTMLabel")->text(), QString("<b>Files:</b> %1 / %2").arg(expected).arg(all));

  form->ClearAdvToolButtonClick();
  EXPECT_EQ(rows(), all);
  EXPECT_TRUE(find<QWidget>("ClearAdvToolButton")->isHidden());

  // Size "at least" 100 KB keeps the four large files of the NTFS sample.
  find<QCheckBox>("SizeHTMLCheckBox")->setChecked(true);
  form->SizeHTMLCheckBoxClick();
  find<QSpinBox>("SizeDBAdvSpinEdit")->setValue(100);
  form->FilterAdvToolButtonClick();
  EXPECT_EQ(rows(), 4);
  for (int r = 0; r < rows(); ++r) EXPECT_GE(entry(r).FileSize, 102400);
}

TEST_F(AnalysisWindowTest, TicksByTheCheckBoxZoneSurviveViewChanges) {
  analyze();
  list->scrollToTop();
  const QRect row2 = list->visualRect(list->model()->index(2, 0));
  ASSERT_TRUE(row2.isValid());
  const std::string name = entry(2).FileName;

  // A click on the name (x >= 20) ticks nothing; one in the check-box zone ticks once.
  test::click(list->viewport(), QPoint(40, row2.center().y()));
  EXPECT_EQ(entry(2).selected, 0);
  test::click(list->viewport(), QPoint(8, row2.center().y()));
  EXPECT_EQ(entry(2).selected, 1);
  EXPECT_EQ(list->model()->index(2, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);

  // Shift-click on row 5 ticks rows 2 to 5.
  const QRect row5 = list->visualRect(list->model()->index(5, 0));
  test::click(list->viewport(), QPoint(8, row5.center().y()), Qt::ShiftModifier);
  for (int r = 2; r <= 5; ++r) EXPECT_EQ(entry(r).selected, 1) << r;
  EXPECT_EQ(entry(1).selected, 0);
  EXPECT_EQ(entry(6).selected, 0);

  // Another view and back: the ticks stay with their files.
  form->TypesAdvToolButtonClick();
  types->setCurrentItem(types->topLevelItem(0)->child(0));
  types->setCurrentItem(types->topLevelItem(0));
  int ticked = 0;
  for (int r = 0; r < rows(); ++r) {
    ticked += entry(r).selected;
    if (entry(r).FileName == name) {
      EXPECT_EQ(entry(r).selected, 1);
    }
  }
  EXPECT_EQ(ticked, 4);

  // The popup entries act on the rows shown.
  form->ReverseSelection1Click();
  ticked = 0;
  for (int r = 0; r < rows(); ++r) ticked += entry(r).selected;
  EXPECT_EQ(ticked, rows() - 4);
  form->UnselectAll1Click();
  form->SelectAll1Click();
  for (int r = 0; r < rows(); ++r) EXPECT_EQ(entry(r).selected, 1);
}

// The colour that most pixels of a strip of the image have, and how many pixels stand out from it.
struct Strip {
  QRgb background = 0;
  int standingOut = 0;
};
Strip stripOf(const QImage& image, const QRect& strip) {
  QMap<QRgb, int> seen;
  for (int y = strip.top(); y <= strip.bottom(); ++y)
    for (int x = strip.left(); x <= strip.right(); ++x) ++seen[image.pixel(x, y)];
  Strip s;
  int most = 0;
  for (auto it = seen.begin(); it != seen.end(); ++it)
    if (it.value() > most) most = it.value(), s.background = it.key();
  const QColor bg(s.background);
  for (auto it = seen.begin(); it != seen.end(); ++it) {
    const QColor c(it.key());
    if (std::abs(c.lightness() - bg.lightness()) > 60) s.standingOut += it.value();
  }
  return s;
}

TEST_F(AnalysisWindowTest, ASelectedRowStaysReadableAndTheGridLinesStay) {
  analyze();
  list->scrollToTop();
  const QRect path1 = list->visualRect(list->model()->index(1, 1));
  test::click(list->viewport(), path1.center());
  ASSERT_TRUE(list->selectionModel()->isRowSelected(1, {}));
  QCoreApplication::processEvents();
  const QImage image = list->viewport()->grab().toImage();
  const int width = list->header()->sectionViewportPosition(5) + list->header()->sectionSize(5);
  const QRect rowStrip(0, path1.top() + 1, width, path1.height() - 3);
  const QRect plainStrip(0, list->visualRect(list->model()->index(3, 1)).top() + 1, width, path1.height() - 3);
  const Strip selected = stripOf(image, rowStrip);
  const Strip plain = stripOf(image, plainStrip);
  // The selection shows (its background is not the list's), and its texts stand out from it.
  EXPECT_NE(selected.background, plain.background);
  EXPECT_GT(selected.standingOut, plain.standingOut / 2) << "selected row's text is not readable";
  EXPECT_GT(plain.standingOut, 50);
  // A grid line closes every cell at its right and bottom edge.
  const QRect name3 = list->visualRect(list->model()->index(3, 0));
  EXPECT_EQ(QColor(image.pixel(name3.right(), name3.center().y())), QColor(0xd8, 0xd8, 0xd8));
  EXPECT_EQ(QColor(image.pixel(name3.center().x(), name3.bottom())), QColor(0xd8, 0xd8, 0xd8));
}

TEST_F(AnalysisWindowTest, StatusColoursReadOnPlainAndSelectedRows) {
  analyze();
  // The colours the list paints with (the delegate takes the selected one on a selected row),
  // against the list's own row and selection backgrounds, in and out of focus.
  const QPalette palette = list->palette();
  const QColor backgrounds[] = {palette.color(QPalette::Active, QPalette::Base),
                                palette.color(QPalette::Active, QPalette::Highlight),
                                palette.color(QPalette::Inactive, QPalette::Highlight)};
  std::set<int> statuses;
  for (int row = 0; row < rows(); ++row) {
    if (!statuses.insert(entry(row).Percent).second) continue;
    const QModelIndex status = list->model()->index(row, 2);
    const QColor plain = status.data(Qt::ForegroundRole).value<QBrush>().color();
    const QColor selected = status.data(kSelectedForegroundRole).value<QColor>();
    const QColor raw(QColor(status_colour(entry(row).Percent).r, status_colour(entry(row).Percent).g,
                            status_colour(entry(row).Percent).b));
    auto rgb = [](const QColor& c) {
      return Rgb{static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()), static_cast<std::uint8_t>(c.blue())};
    };
    EXPECT_GE(contrast_ratio(rgb(plain), rgb(backgrounds[0])), 4.5) << cell(row, 2).toStdString();
    EXPECT_GE(contrast_ratio(rgb(selected), rgb(backgrounds[1])), 4.5) << cell(row, 2).toStdString();
    EXPECT_GE(contrast_ratio(rgb(selected), rgb(backgrounds[2])), 4.5) << cell(row, 2).toStdString();
    if (raw.hslSaturation() > 0) {
      EXPECT_NEAR(plain.hslHue(), raw.hslHue(), 4) << cell(row, 2).toStdString();
      EXPECT_NEAR(selected.hslHue(), raw.hslHue(), 4) << cell(row, 2).toStdString();
    }
  }
  EXPECT_GE(statuses.size(), 3u) << "the samples hold several statuses";
}

TEST_F(AnalysisWindowTest, FilterFeedbackGlobsReversedDatesShownOfTotalAndTicked) {
  analyze();
  const int all = rows();
  auto* label = find<QLabel>("FilesHTMLabel");
  EXPECT_EQ(label->text(), QStringLiteral("<b>Files:</b> %1").arg(all));
  auto* name = find<QCheckBox>("NameHTMLCheckBox");
  auto* edit = find<QLineEdit>("NameAdvEdit");
  auto* set = find<QToolButton>("FilterAdvToolButton");
  // A pattern matches whole names, case folded; plain text is found anywhere in the name.
  QStringList names;
  for (int r = 0; r < all; ++r) names << cell(r, 0);
  const QString some = names.filter(QRegularExpression("\\.[A-Za-z]{3}$")).value(0);
  ASSERT_FALSE(some.isEmpty());
  const QString ext = some.section('.', -1).toLower();
  const int withExt = static_cast<int>(names.filter(QRegularExpression("\\." + ext + "$", QRegularExpression::CaseInsensitiveOption)).size());
  test::click(name, QPoint(5, name->height() / 2));
  ASSERT_TRUE(name->isChecked());
  edit->setText("*." + ext);
  test::click(set, set->rect().center());
  EXPECT_EQ(rows(), withExt) << ("*." + ext).toStdString();
  EXPECT_EQ(label->text(), QStringLiteral("<b>Files:</b> %1 / %2").arg(withExt).arg(all));
  edit->setText("?" + some.mid(1).toUpper());
  test::click(set, set->rect().center());
  EXPECT_GE(rows(), 1);
  for (int r = 0; r < rows(); ++r) EXPECT_EQ(cell(r, 0).size(), some.size());
  test::click(name, QPoint(5, name->height() / 2));
  test::click(set, set->rect().center());
  ASSERT_EQ(rows(), all);

  // Ticking shows the ticked files' count and size.
  const QRect box = list->visualRect(list->model()->index(0, 0));
  test::click(list->viewport(), QPoint(box.left() + 8, box.center().y()));
  ASSERT_TRUE(entry(0).selected);
  EXPECT_TRUE(label->text().contains(QStringLiteral("<b>Ticked:</b> 1 (") +
                                     QString::fromStdString(format_size(entry(0).FileSize)) + ")"))
      << label->text().toStdString();

  // From after To: said in a message, and the list stays as it was.
  BoxTexts boxes;
  auto* date = find<QCheckBox>("DateHTMLCheckBox");
  test::click(date, QPoint(5, date->height() / 2));
  find<QDateEdit>("FromDateDBAdvSpinEdit")->setDate(QDate(2020, 5, 2));
  find<QDateEdit>("ToDateDBAdvSpinEdit")->setDate(QDate(2020, 5, 1));
  test::click(set, set->rect().center());
  EXPECT_EQ(rows(), all);
  ASSERT_EQ(boxes.texts.size(), 1);
  EXPECT_EQ(boxes.texts[0], QString::fromStdString(lang_text(96)));
}

TEST_F(AnalysisWindowTest, ARowHoldsItsWholeTextAboveTheGridLine) {
  analyze();
  // Descenders and underscores ("_ETUP.LOG") must not fall on the row's bottom grid line.
  const QRect row = list->visualRect(list->model()->index(0, 0));
  EXPECT_GE(row.height() - 1, list->fontMetrics().height() + 1);
}

TEST_F(AnalysisWindowTest, FirstShiftClickAfterAnAnalysisTicksUpToTheFirstRow) {
  analyze();
  const QRect row4 = list->visualRect(list->model()->index(4, 0));
  test::click(list->viewport(), QPoint(5, row4.center().y()), Qt::ShiftModifier);
  for (int r = 0; r <= 4; ++r) EXPECT_EQ(entry(r).selected, 1) << r;
  for (int r = 5; r < rows(); ++r) EXPECT_EQ(entry(r).selected, 0) << r;
  // A double click is two tick clicks: row 4 ends as it was.
  test::doubleClick(list->viewport(), QPoint(5, row4.center().y()));
  EXPECT_EQ(entry(4).selected, 1);
  EXPECT_EQ(entry(3).selected, 1);
}

TEST_F(AnalysisWindowTest, HeaderPressSortsAndASecondPressReverses) {
  analyze();
  QHeaderView* header = list->header();
  const int sizeMiddle = header->sectionPosition(3) + header->sectionSize(3) / 2;
  test::press(header, QPoint(sizeMiddle, 8));
  ASSERT_GT(rows(), 2);
  for (int r = 1; r < rows(); ++r) EXPECT_GE(entry(r - 1).FileSize, entry(r).FileSize) << r;
  EXPECT_TRUE(header->isSortIndicatorShown());
  EXPECT_EQ(header->sortIndicatorSection(), 3);
  const Qt::SortOrder first = header->sortIndicatorOrder();

  test::press(header, QPoint(sizeMiddle, 8));
  for (int r = 1; r < rows(); ++r) EXPECT_LE(entry(r - 1).FileSize, entry(r).FileSize) << r;
  EXPECT_NE(header->sortIndicatorOrder(), first);

  // A press on a column edge is the list's (resizing), not a sort.
  const int nameEdge = header->sectionPosition(0) + header->sectionSize(0);
  test::press(header, QPoint(nameEdge + 1, 8));
  test::release(header, QPoint(nameEdge + 1, 8));
  EXPECT_EQ(header->sortIndicatorSection(), 3);
  // Right of the sixth column (the filler and beyond) the press is the list's as well.
  const int beyond = header->sectionPosition(5) + header->sectionSize(5) + 6;
  test::press(header, QPoint(beyond, 8));
  test::release(header, QPoint(beyond, 8));
  EXPECT_EQ(header->sortIndicatorSection(), 3);

  // Filename: case-insensitive, A to Z.
  test::press(header, QPoint(20, 8));
  EXPECT_EQ(header->sortIndicatorSection(), 0);
  for (int r = 1; r < rows(); ++r)
    EXPECT_LE(QString::fromStdString(entry(r - 1).FileName).toUpper().compare(QString::fromStdString(entry(r).FileName).toUpper()), 0)
        << entry(r).FileName;
}

TEST_F(AnalysisWindowTest, EveryColumnSortsFromAnywhereInItsHeaderAndReverses) {
  analyze();
  QHeaderView* header = list->header();
  // The header is as tall as its font makes it; a press low in it is still a header press.
  for (int y : {4, header->height() - 3}) {
    for (int c = 0; c < 6; ++c) {
      const int middle = header->sectionViewportPosition(c) + header->sectionSize(c) / 2;
      test::press(header, QPoint(middle, y));
      test::release(header, QPoint(middle, y));
      ASSERT_TRUE(header->isSortIndicatorShown()) << c;
      EXPECT_EQ(header->sortIndicatorSection(), c) << c << " at y " << y;
      const Qt::SortOrder first = header->sortIndicatorOrder();
      const QString top = cell(0, c), bottom = cell(rows() - 1, c);
      test::press(header, QPoint(middle, y));
      test::release(header, QPoint(middle, y));
      EXPECT_NE(header->sortIndicatorOrder(), first) << c;
      // Reversed: the first and last rows trade their values in that column.
      EXPECT_EQ(cell(0, c), bottom) << c;
      EXPECT_EQ(cell(rows() - 1, c), top) << c;
    }
  }
}

TEST_F(AnalysisWindowTest, StopDuringTheFirstDriveKeepsItsFilesAndSkipsTheRest) {
  // Press Stop at the first message pump of the first drive's scan.
  QTimer press;
  QObject::connect(&press, &QTimer::timeout, [&] {
    if (folders->topLevelItem(0) && folders->topLevelItem(0)->childCount() == 1 && form->analysisRunning()) {
      find<QToolButton>("AnalyzeAdvToolButton")->click();
      press.stop();
    }
  });
  press.start(0);
  QStringList messages;
  QTimer answer;  // a message box would wait for a user
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      messages << box->text();
      box->accept();
    }
  });
  answer.start(10);
  analyze();
  EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
  EXPECT_FALSE(press.isActive());
  EXPECT_EQ(folders->topLevelItem(0)->childCount(), 1);  // D: was passed over
  EXPECT_LE(file_count(), total(fat));
  EXPECT_EQ(rows(), file_count());
  EXPECT_EQ(form->messagesShown(), 0);  // C: was scanned, so no "No drives to scan"
  EXPECT_EQ(find<QToolButton>("AnalyzeAdvToolButton")->text(), "Analyze");
}

TEST_F(AnalysisWindowTest, ClosingDuringAnAnalysisStopsItAndClosesAfterwards) {
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (form->analysisRunning()) {
      form->close();
      EXPECT_TRUE(form->isVisible());  // not while the scan still works on the catalogue
      closer.stop();
    }
  });
  closer.start(0);
  analyze();
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(form->analysisRunning());
}

TEST_F(AnalysisWindowTest, NoTickedDriveEndsWithTheMessage) {
  form->MenuItem4Click();
  QString shown;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString title;
  // The box is modal: answer it from a timer once it is up.
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->text();
      icon = box->icon();
      title = box->windowTitle();
      box->accept();
    }
  });
  answer.start(10);
  form->AnalyzeAdvToolButtonClick();
  EXPECT_EQ(form->messagesShown(), 1);
  EXPECT_EQ(shown, "No drives to scan");
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(title, "Dravelo");
  EXPECT_EQ(rows(), 0);
  EXPECT_FALSE(find<QToolButton>("TypesAdvToolButton")->isEnabled());
  EXPECT_EQ(form->shownTree(), find<QTreeWidget>("DriveHTMLTreeview"));
  EXPECT_EQ(folders->topLevelItem(0)->childCount(), 0);
}

}  // namespace
}  // namespace dravelo
