// The window's browsing side: the drive tree, the analysis, the result list with its filter,
// and the header hook that turns presses into sorts.
#include "ui/main_form.h"

#include <QAction>
#include <algorithm>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QProgressDialog>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QTreeWidget>
#include <QScrollBar>

#include "catalogue/catalogue.h"
#include "catalogue/date_time.h"
#include "catalogue/filter.h"
#include "catalogue/ordering.h"
#include "catalogue/presentation.h"
#include "catalogue/result_text.h"
#include "catalogue/texts.h"
#include "catalogue/type_table.h"
#include "ui/drive_hint.h"
#include "ui/folder_tree.h"
#include "ui/ui_text.h"
#include "ui/result_list_model.h"
#include "ui/type_names.h"
#include "volume/disk_volumes.h"
#include "volume/drives.h"
#include "volume/lost_volumes.h"
#include "volume/volume_check.h"
#include "workflow/analysis.h"
#include "workflow/content_search.h"
#include "workflow/volume_binding.h"

namespace dravelo {

namespace {

// What a tree row takes beside its text: the picture's spacing and the item's own margins.
constexpr int kTreeTextMargins = 12;

// Tells the window about each drive that an analysis scans, so that the folder tree grows with
// the run.
struct FolderTreeObserver : AnalysisObserver {
  std::function<void(std::int32_t)> started;
  std::function<void(std::int32_t, bool)> finished;
  void drive_started(std::int32_t drive) override { started(drive); }
  void drive_finished(std::int32_t drive, bool ok) override { finished(drive, ok); }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Drive tree

QTreeWidgetItem* T_mainForm::addDriveNode(const DriveInfo& drive) {
  QTreeWidgetItem* root = DriveHTMLTreeview->topLevelItem(0);
  auto* node = new QTreeWidgetItem(root, QStringList{QString::fromStdString(drive_node_text(drive))});
  node->setIcon(0, treeImage(1));
  node->setData(0, kNodeLevelRole, 1);
  node->setData(0, kNodeDriveRole, static_cast<int>(static_cast<unsigned char>(drive.drive_name)));
  // The check box shows the tick but does not take clicks of its own: a click anywhere on the
  // line toggles (DriveHTMLTreeviewClick), and a second toggle by the box would undo it.
  node->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  node->setCheckState(0, drive.selected == 1 ? Qt::Checked : Qt::Unchecked);
  // A device listed from udev's records that this user may not read says so on its line.
  // The hint names the device or image, its label and mount point; a part of a disk names it in
  // full there too, as the pane may cut the line short.
  QString hint = driveHint(drive);
  if (const std::string place = drive_place_text(drive); !place.empty())
    hint += QLatin1Char('\n') + QString::fromStdString(place);
  if (const std::string backup = boot_backup_text(drive); !backup.empty())
    hint += QLatin1Char('\n') + QString::fromStdString(backup);
  if (device_needs_root(drive))
    hint = QString::fromStdString(volume_problem_text(drive.device_path, {VolumeProblem::needs_root, {}})) +
           QLatin1Char('\n') + hint;
  node->setToolTip(0, hint);
  return node;
}

void T_mainForm::updateDriveRootText() {
  QTreeWidgetItem* root = DriveHTMLTreeview->topLevelItem(0);
  if (root) root->setText(0, ui_text(7) + QStringLiteral("(") + QString::number(drive_list.size()) + QStringLiteral(")"));
}

void T_mainForm::draw_drives(bool rebuild) {
  DriveHTMLTreeview->clear();
  auto* root = new QTreeWidgetItem(DriveHTMLTreeview, QStringList{ui_text(7)});
  root->setIcon(0, treeImage(0));
  root->setData(0, kNodeLevelRole, 0);
  std::vector<std::string> leftOut;
  // A rebuild keeps each listed volume's letter and tick: the found files and the folder tree
  // name their volumes by letter.
  if (rebuild) rebuild_drive_list(images_, includeDevices_, &leftOut);
  else get_drives(images_, includeDevices_, &leftOut);
  if (!leftOut.empty()) {
    // Said once: the images that cannot be used are not tried again by later rebuilds.
    leftOutVolumes_.insert(leftOutVolumes_.end(), leftOut.begin(), leftOut.end());
    std::vector<std::string> usable;
    for (const std::string& path : images_)
      if (std::vector<DriveInfo> found; check_named_volumes(path, &found).problem == VolumeProblem::none)
        usable.push_back(path);
    images_ = std::move(usable);
  }
  for (std::size_t i = 0; i < drive_list.size(); ++i) addDriveNode(drive_list[i]);
  if (drive_list.empty()) {
    // Nothing listed: say how to open an image, and why devices may be missing.
    const QString text = noDrivesText(userReadsDevices());
    auto* hint = new QTreeWidgetItem(root, QStringList{text});
    hint->setData(0, kNodeLevelRole, -1);
    hint->setFlags(Qt::ItemIsEnabled);
    hint->setToolTip(0, text);
  }
  DriveHTMLTreeview->expandAll();
  updateDriveRootText();
}

void T_mainForm::setDriveTick(int index, bool ticked) {
  QTreeWidgetItem* root = DriveHTMLTreeview->topLevelItem(0);
  if (!root || index < 0 || index >= root->childCount() || index >= static_cast<int>(drive_list.size())) return;
  drive_list[static_cast<std::size_t>(index)].selected = ticked ? 1 : 0;
  root->child(index)->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
}

void T_mainForm::DriveHTMLTreeviewClick() {
  QTreeWidgetItem* node = DriveHTMLTreeview->currentItem();
  QTreeWidgetItem* root = DriveHTMLTreeview->topLevelItem(0);
  if (!node || !root || node == root || node->parent() != root || node->data(0, kNodeLevelRole).toInt() != 1) return;
  const int index = root->indexOfChild(node);
  setDriveTick(index, node->checkState(0) != Qt::Checked);
}

void T_mainForm::MenuItem3Click() {
  for (int i = 0; i < static_cast<int>(drive_list.size()); ++i) setDriveTick(i, true);
}

void T_mainForm::MenuItem4Click() {
  for (int i = 0; i < static_cast<int>(drive_list.size()); ++i) setDriveTick(i, false);
}

void T_mainForm::MenuItem5Click() {
  for (int i = 0; i < static_cast<int>(drive_list.size()); ++i)
    setDriveTick(i, drive_list[static_cast<std::size_t>(i)].selected != 1);
}

void T_mainForm::reportLeftOutVolumes() {
  if (leftOutVolumes_.empty()) return;
  std::string text;
  for (const std::string& reason : leftOutVolumes_) text += (text.empty() ? "" : "\n") + reason;
  leftOutVolumes_.clear();
  out_text(text, MsgType::error, true);
}

bool T_mainForm::openImage(const QString& path) {
  std::string why;
  const int index = add_image_drive(path.toStdString(), &why);
  if (index < 0) {
    if (!why.empty()) out_text(why, MsgType::error, true);
    return false;
  }
  // Kept for the next rebuild by the Drives button, which would otherwise forget it.
  images_.push_back(path.toStdString());
  if (QTreeWidgetItem* root = DriveHTMLTreeview->topLevelItem(0))
    for (int i = root->childCount() - 1; i >= 0; --i)
      if (root->child(i)->data(0, kNodeLevelRole).toInt() < 0) delete root->takeChild(i);
  // A disk image adds one drive per partition.
  for (std::size_t i = static_cast<std::size_t>(index); i < drive_list.size(); ++i) addDriveNode(drive_list[i]);
  updateDriveRootText();
  DriveHTMLTreeview->expandAll();
  return true;
}

void T_mainForm::SearchLostVolumes1Click() {
  // The disk of the drive under the cursor; without one, an image file to choose.
  std::string disk;
  QTreeWidgetItem* node = DriveHTMLTreeview->currentItem();
  QTreeWidgetItem* root = DriveHTMLTreeview->topLevelItem(0);
  if (node && root && node->parent() == root) {
    const int index = root->indexOfChild(node);
    if (index >= 0 && index < static_cast<int>(drive_list.size())) disk = drive_list[static_cast<std::size_t>(index)].device_path;
  }
  if (disk.empty()) {
    const QString path = QFileDialog::getOpenFileName(this, ui_text(kSearchLostText));
    if (path.isEmpty()) return;
    disk = path.toStdString();
  }
  DriveInfo base;
  if (const VolumeCheck check = check_volume(disk); check.problem != VolumeProblem::none &&
                                                   check.problem != VolumeProblem::no_file_system &&
                                                   check.problem != VolumeProblem::too_small) {
    out_text(volume_problem_text(disk, check), MsgType::error, true);
    return;
  }
  if (!describe_volume(disk, true, &base)) return;

  // The disk is read once; Stop keeps what was found up to there.
  QProgressDialog progress(QString::fromStdString(disk), ui_text(10), 0, 100, this);
  progress.setWindowTitle(ui_text(kSearchLostText));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(0);
  const std::vector<DriveInfo> lost = search_lost_volumes(base, [&](std::int64_t done, std::int64_t total) {
    progress.setValue(static_cast<int>(total > 0 ? done * 100 / total : 100));
    QCoreApplication::processEvents();
    return !progress.wasCanceled();
  });
  progress.close();

  int added = 0;
  for (DriveInfo d : lost) {
    const bool listed = std::any_of(drive_list.begin(), drive_list.end(), [&](const DriveInfo& e) {
      return e.device_path == d.device_path && e.volume_offset == d.volume_offset && e.lost;
    });
    const char letter = drive_list.empty() ? 'c' : static_cast<char>(drive_list.back().drive_name + 1);
    if (listed || letter > 'z') continue;
    d.drive_name = letter;
    d.selected = 0;
    // Kept for the rebuilds by the Drives button, by the name that finds it again.
    images_.push_back(d.device_path + "@s" + std::to_string(d.volume_offset / 512));
    drive_list.push_back(std::move(d));
    addDriveNode(drive_list.back());
    ++added;
  }
  updateDriveRootText();
  DriveHTMLTreeview->expandAll();
  if (lost.empty()) {
    std::string text = lang_text(kNoLostVolumeText);
    if (const std::size_t at = text.find("%1"); at != std::string::npos) text.replace(at, 2, disk);
    out_text(text, MsgType::custom, true);
  }
}

void T_mainForm::OpenImage1Click() {
  const QString path = QFileDialog::getOpenFileName(this, ui_text(kOpenImageText));
  if (path.isEmpty()) return;
  openImage(path);
}

// ---------------------------------------------------------------------------------------------
// Analysis

void T_mainForm::folderTreeAddDrive(std::int32_t drive) {
  QTreeWidgetItem* root = FolderHTMLTreeView->topLevelItem(0);
  if (!root) return;
  root->setIcon(0, treeImage(0));
  const DriveInfo& d = drive_list[static_cast<std::size_t>(drive)];
  const QChar letter = QChar::fromLatin1(d.drive_name).toUpper();
  auto* node = new QTreeWidgetItem(root, QStringList{QString(letter) + QStringLiteral(":\\")});
  node->setIcon(0, treeImage(1));
  node->setData(0, kNodeLevelRole, 1);
  node->setData(0, kNodeDriveRole, static_cast<int>(static_cast<unsigned char>(d.drive_name)));
}

void T_mainForm::folderTreeAddFolders(std::int32_t drive) {
  QTreeWidgetItem* root = FolderHTMLTreeView->topLevelItem(0);
  if (!root || root->childCount() == 0) return;
  const DriveInfo& d = drive_list[static_cast<std::size_t>(drive)];
  if (d.CurrentFolder() > 0) add_folder_nodes(root->child(root->childCount() - 1), d, kRootFolder, kRootFolder, 0);
}

void T_mainForm::sortFolderTree() {
  QTreeWidgetItem* root = FolderHTMLTreeView->topLevelItem(0);
  if (root) sort_tree_by_locale(root);
}

void T_mainForm::AnalyzeAdvToolButtonClick() {
  if (AnalyzeAdvToolButton->text() != ui_text(8)) {
    stop_flag = true;
    return;
  }
  deepRun_ = false;
  runAnalysis();
}

void T_mainForm::DeepScanAdvToolButtonClick() {
  if (DeepScanAdvToolButton->text() != ui_text(kDeepScanText)) {
    stop_flag = true;
    return;
  }
  deepRun_ = true;
  runAnalysis();
}

void T_mainForm::runAnalysis() {
  analysisRunning_ = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  disable_all();
  reset_sort_state();
  AdvListView->header()->setSortIndicatorShown(false);
  QCoreApplication::processEvents();

  FolderTreeObserver observer;
  observer.started = [this](std::int32_t drive) { folderTreeAddDrive(drive); };
  observer.finished = [this](std::int32_t drive, bool ok) {
    if (ok) folderTreeAddFolders(drive);
  };
  // A deep scan says on the progress bar how far its search of the free space is, how fast it
  // reads and how long it has left.
  ContentProgressObserver previousProgress;
  if (deepRun_) {
    previousProgress = set_content_progress_observer([this](const ContentSearchProgress& p) {
      const QString text = QString::fromStdString(content_progress_text(p));
      AdvProgressBar->setFormat(text);
      AdvProgressBar->setAccessibleDescription(text);
      AdvProgressBar->setTextVisible(true);
    });
  }
  const bool scanOk = run_analysis(&observer, ScanOptions{.deep = deepRun_});
  if (deepRun_) {
    set_content_progress_observer(std::move(previousProgress));
    AdvProgressBar->setTextVisible(false);
    AdvProgressBar->resetFormat();
  }
  showPendingFiles();  // the last count the engines reported, if no pump has shown it yet

  enable_all();
  deepRun_ = false;
  QApplication::restoreOverrideCursor();
  analysisRunning_ = false;
  if (scanOk) {
    if (file_count() > 0) {
      classify_files(typeNames_.get());
      draw_types();
    }
    if (QTreeWidgetItem* root = FolderHTMLTreeView->topLevelItem(0)) root->setExpanded(true);
    sortFolderTree();
  } else if (!closePending_) {
    out_text(lang_text(47), MsgType::error, true);
  }
  if (closePending_) close();
}

void T_mainForm::UndeleteAdvToolButtonClick() {
  if (UndeleteAdvToolButton->text() != ui_text(9)) {
    stop_flag = true;
    return;
  }
  if (!undeleteHandler_) return;
  undeleteRunning_ = true;
  undeleteHandler_();
  undeleteRunning_ = false;
  if (closePending_) close();
}

void T_mainForm::closeEvent(QCloseEvent* event) {
  // An analysis or undelete pumps messages from inside its button press: closing the window
  // under it would free what it works on. Ask it to stop and close once it has returned.
  if (analysisRunning_ || undeleteRunning_) {
    stop_flag = true;
    closePending_ = true;
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Result list and filter

void T_mainForm::set_folder_filter(std::int32_t parent, char drv, std::uint16_t app) {
  dravelo::set_folder_filter(parent, drv, app);
  model_->refresh();
  updateFilesLabel();
  AdvListView->viewport()->update();
}

void T_mainForm::updateFilesLabel() {
  // "Files: shown / total" while a view or filter hides some, and the count and size of the
  // ticked files once there are any.
  const std::int32_t n = file_count();
  const auto shown = static_cast<std::int32_t>(visible_files.size());
  QString text = QStringLiteral("<b>") + ui_text(32) + QStringLiteral("</b> ");
  text += shown == n ? QString::number(n) : QString::number(shown) + QStringLiteral(" / ") + QString::number(n);
  std::int32_t ticked = 0;
  std::int64_t bytes = 0;
  for (std::int32_t k = 0; k < n; ++k) {
    if (!file_list[k].selected) continue;
    ++ticked;
    bytes += std::max<std::int64_t>(0, file_list[k].FileSize);
  }
  if (ticked > 0)
    text += QStringLiteral("&nbsp;&nbsp;<b>") + ui_text(kTickedText) + QStringLiteral("</b> ") + QString::number(ticked) +
            QStringLiteral(" (") + QString::fromStdString(format_size(bytes)) + QStringLiteral(")");
  FilesHTMLabel->setText(text);
}

void T_mainForm::NameHTMLCheckBoxClick() {
  if (NameHTMLCheckBox->isChecked()) {
    NameAdvEdit->setEnabled(true);
    NameAdvEdit->setFocus();
    NameAdvEdit->setStyleSheet(QStringLiteral("color: red;"));
  } else {
    NameAdvEdit->setEnabled(false);
  }
}

void T_mainForm::SizeHTMLCheckBoxClick() {
  const bool on = SizeHTMLCheckBox->isChecked();
  SizeALComboBox->setEnabled(on);
  SizeDBAdvSpinEdit->setEnabled(on);
  if (on) SizeALComboBox->setFocus();
}

void T_mainForm::DateHTMLCheckBoxClick() {
  const bool on = DateHTMLCheckBox->isChecked();
  DateALComboBox->setEnabled(on);
  FromDateDBAdvSpinEdit->setEnabled(on);
  ToDateDBAdvSpinEdit->setEnabled(on);
  if (on) DateALComboBox->setFocus();
}

namespace {

// The calendar day a picker shows, at 00:00; 0 when it shows none.
DateTime pickerDay(const QDateEdit* picker) {
  const QDate d = picker->date();
  if (!d.isValid()) return 0;
  CivilTime t;
  t.year = d.year();
  t.month = d.month();
  t.day = d.day();
  return encode_date_time(t);
}

}  // namespace

void T_mainForm::FilterAdvToolButtonClick() {
  TCustomFilter& f = custom_filter;
  f.filename_flag = NameHTMLCheckBox->isChecked();
  f.date_flag = DateHTMLCheckBox->isChecked();
  f.size_flag = SizeHTMLCheckBox->isChecked();
  f.FileName = NameAdvEdit->text().toStdString();
  f.date_type = static_cast<std::uint8_t>(std::max(0, DateALComboBox->currentIndex()));
  set_filter_dates(f, pickerDay(FromDateDBAdvSpinEdit), pickerDay(ToDateDBAdvSpinEdit));
  f.size_type = static_cast<std::uint8_t>(std::max(0, SizeALComboBox->currentIndex()));
  f.size = static_cast<std::int64_t>(SizeDBAdvSpinEdit->value()) * 1024;
  f.overwritten_flag = OverwrittenHTMLCheckBox->isChecked();
  f.temporary_flag = TemporaryHTMLCheckBox->isChecked();
  if (filter_dates_reversed(f)) {
    // An empty list would look like nothing found: say why instead, and leave the view as it is.
    f.date_flag = false;
    out_text(lang_text(kDatesReversedText), MsgType::error, true);
    return;
  }
  if (filter_active(f)) {
    ClearAdvToolButton->show();
    ClearAdvToolButton->repaint();
    const QRect f = FilterAdvToolButton->geometry();
    ClearAdvToolButton->move(f.left() + f.width() - ClearAdvToolButton->width(), ClearAdvToolButton->y());
  } else {
    ClearAdvToolButton->hide();
  }
  set_folder_filter(filter_parent, filter_drv, filter_app);
}

void T_mainForm::ClearAdvToolButtonClick() {
  NameHTMLCheckBox->setChecked(false);
  NameHTMLCheckBoxClick();
  SizeHTMLCheckBox->setChecked(false);
  DateHTMLCheckBox->setChecked(false);
  OverwrittenHTMLCheckBox->setChecked(false);
  TemporaryHTMLCheckBox->setChecked(false);
  FilterAdvToolButtonClick();
}

void T_mainForm::AdvListViewColumnClick(int column) {
  if (model_->rowCount() == 0) return;
  AdvListView->setUpdatesEnabled(false);
  const bool sorted = model_->pressHeader(column);
  AdvListView->setUpdatesEnabled(true);
  if (!sorted) return;
  QHeaderView* header = AdvListView->header();
  header->setSortIndicatorShown(true);
  header->setSortIndicator(model_->sortColumn(), model_->sortOrder());
}

bool T_mainForm::AdvListViewLeftClickCell(int row, int column, int x, bool shift) {
  if (row < 0 || column != 0 || x >= kTickZoneWidth) return false;
  model_->tickClick(row, shift);
  AdvListView->viewport()->update();
  return true;
}

void T_mainForm::SelectAll1Click() { model_->selectAll(); }

void T_mainForm::UnselectAll1Click() { model_->unselectAll(); }

void T_mainForm::ReverseSelection1Click() { model_->reverseSelection(); }

void T_mainForm::FolderHTMLTreeViewChange(QTreeWidgetItem* node) {
  const int level = node ? node->data(0, kNodeLevelRole).toInt() : 0;
  if (level == 0) {
    set_folder_filter(0, 20, 0);
    return;
  }
  const char drv = static_cast<char>(node->data(0, kNodeDriveRole).toInt());
  set_folder_filter(level == 1 ? kRootFolder : node->data(0, kNodeInodeRole).toInt(), drv, 0);
}

void T_mainForm::TypesTreeViewChange(QTreeWidgetItem* node) {
  const QVariant app = node ? node->data(0, kNodeAppRole) : QVariant();
  set_folder_filter(0, 20, app.isValid() ? static_cast<std::uint16_t>(app.toUInt()) : 0);
}

void T_mainForm::draw_types() {
  {
    const QSignalBlocker quiet(TypesTreeView);
    TypesTreeView->clear();
  }
  auto* root = new QTreeWidgetItem(TypesTreeView, QStringList{ui_text(7)});
  root->setIcon(0, DesktopTypeNames::rootIcon());
  root->setData(0, kNodeLevelRole, 0);
  // The tree is 245 pixels wide: a long type name is shortened so that its count stays in view
  // (the whole name is the node's hint). Room is kept for the indentation, the picture, the
  // item margins and a vertical scroll bar.
  const QFontMetrics metrics = TypesTreeView->fontMetrics();
  const int room = TypesTreeView->width() - 2 * TypesTreeView->frameWidth() - TypesTreeView->indentation() -
                   TypesTreeView->iconSize().width() - TypesTreeView->style()->pixelMetric(QStyle::PM_ScrollBarExtent) -
                   kTreeTextMargins;
  for (std::uint16_t app : type_tree_groups()) {
    const T_app& group = app_table[app];
    const QString name = QString::fromStdString(group.systemname.empty() ? group.name : group.systemname);
    const QString count = QStringLiteral(" (") + QString::number(group.count) + QStringLiteral(")");
    const QString shown = metrics.elidedText(name, Qt::ElideRight, std::max(0, room - metrics.horizontalAdvance(count)));
    auto* node = new QTreeWidgetItem(root, QStringList{shown + count});
    if (shown != name) node->setToolTip(0, name + count);
    node->setIcon(0, typeNames_->groupIcon(app));
    node->setData(0, kNodeLevelRole, 1);
    node->setData(0, kNodeAppRole, static_cast<unsigned>(app));
  }
  root->setExpanded(true);
  sort_tree_by_locale(root);
}

// ---------------------------------------------------------------------------------------------
// Header hook

bool T_mainForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && keyPress(watched, static_cast<QKeyEvent*>(event))) return true;
  if (event->type() == QEvent::FocusIn) {
    // A tree that takes the focus with a node selected shows that node's files.
    if (watched == FolderHTMLTreeView && FolderHTMLTreeView->currentItem())
      FolderHTMLTreeViewChange(FolderHTMLTreeView->currentItem());
    else if (watched == TypesTreeView && TypesTreeView->currentItem())
      TypesTreeViewChange(TypesTreeView->currentItem());
  }
  if (watched == AdvListView->viewport() && event->type() == QEvent::MouseMove) {
    // The hover hint names the column and the cell's text, shown at once at the cursor.
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QModelIndex index = AdvListView->indexAt(mouse->position().toPoint());
    const QString hint = index.isValid() ? index.data(Qt::ToolTipRole).toString() : QString();
    if (hint.isEmpty())
      QToolTip::hideText();
    else
      QToolTip::showText(mouse->globalPosition().toPoint(), hint, AdvListView->viewport());
  }
  if (watched == AdvListView->viewport() && event->type() == QEvent::ToolTip) {
    return true;  // the hint follows the mouse already
  }
  if (watched == AdvListView->viewport() &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease ||
       event->type() == QEvent::MouseButtonDblClick)) {
    // Clicks on the check-box zone are tick clicks and nothing else: the list's own check-box
    // handling must not flip the tick a second time on the release.
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint p = mouse->position().toPoint();
    const QModelIndex index = AdvListView->indexAt(p);
    const int x = p.x() + AdvListView->horizontalScrollBar()->value();
    if (mouse->button() == Qt::LeftButton && index.isValid() && index.column() == 0 && x < kTickZoneWidth) {
      // Qt delivers the second press of a double click as a press followed by a double-click
      // event: only presses count, so a double click ticks twice like two clicks.
      if (event->type() == QEvent::MouseButtonPress)
        AdvListViewLeftClickCell(index.row(), 0, x, mouse->modifiers().testFlag(Qt::ShiftModifier));
      return true;
    }
  }
  if (event->type() == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton) {
      if (watched == AboutStaticText) {
        emit aboutRequested();
        return true;
      }
      if (watched == HelpStaticText) {
        emit helpRequested();
        return true;
      }
      QHeaderView* header = AdvListView->header();
      if (watched == header->viewport() && AdvListView->isEnabled()) {
        // The header sits at the top of the list's client area, so its coordinates are the
        // list's; the scrolled-off part of the columns is added back to x. The header band is
        // the header's own height, which follows the font: any press inside it is a press in
        // the band (rows never reach this viewport).
        const QPoint p = mouse->position().toPoint();
        std::array<int, 6> widths{};
        for (int c = 0; c < 6; ++c) widths[static_cast<std::size_t>(c)] = header->sectionSize(c);
        const int y = p.y() >= 0 && p.y() < header->height() ? std::clamp(p.y(), 1, 16) : -1;
        const int column = header_hit_column(p.x() + header->offset(), y, widths, RightAdvPanel->width());
        if (column >= 0) {
          AdvListViewColumnClick(column);
          return true;
        }
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace dravelo
