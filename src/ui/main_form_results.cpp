// The main window's saved results: "Save results…" and "Open results…" in the drive popup.
// Opened results take the place of an analysis: the drive tree shows the volumes they were found
// on, and the list, the types and the folders show what the analysis showed, without a scan.
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

#include "catalogue/catalogue.h"
#include "catalogue/ordering.h"
#include "catalogue/type_table.h"
#include "ui/folder_tree.h"
#include "ui/main_form.h"
#include "ui/type_names.h"
#include "ui/ui_text.h"
#include "workflow/saved_results.h"

namespace dravelo {
namespace {

QString askForResultsFile(QWidget* parent, bool save) {
  const QString filter = ui_text(kResultsFilesText) + QStringLiteral(" (*.dravelo)");
  if (!save) return QFileDialog::getOpenFileName(parent, ui_text(kOpenResultsText), QString(), filter);
  QString path = QFileDialog::getSaveFileName(parent, ui_text(kSaveResultsText), QString(), filter);
  if (!path.isEmpty() && !path.contains(QLatin1Char('.'))) path += QStringLiteral(".dravelo");
  return path;
}

}  // namespace

void T_mainForm::createResultsEntries() {
  resultsPicker_ = askForResultsFile;
  // Placed after "Open image…", above the diagnostic entries.
  SaveResults1 = new QAction(ui_text(kSaveResultsText), DrivesAdvPopupMenu);
  SaveResults1->setObjectName(QStringLiteral("SaveResults1"));
  OpenResults1 = new QAction(ui_text(kOpenResultsText), DrivesAdvPopupMenu);
  OpenResults1->setObjectName(QStringLiteral("OpenResults1"));
  DrivesAdvPopupMenu->insertActions(AdminSeparator2, {SaveResults1, OpenResults1});
  connect(SaveResults1, &QAction::triggered, this, [this] { SaveResults1Click(); });
  connect(OpenResults1, &QAction::triggered, this, [this] { OpenResults1Click(); });
}

void T_mainForm::setResultsPicker(ResultsPicker picker) {
  resultsPicker_ = picker ? std::move(picker) : askForResultsFile;
}

void T_mainForm::SaveResults1Click() {
  const QString path = resultsPicker_(this, true);
  if (path.isEmpty()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  ResultsLoad failed;
  const bool saved = save_results(path.toStdString(), &failed.detail);
  QApplication::restoreOverrideCursor();
  if (!saved) {
    failed.problem = ResultsProblem::cannot_open;
    out_text(results_problem_text(path.toStdString(), failed), MsgType::error, true);
  }
}

void T_mainForm::OpenResults1Click() {
  const QString path = resultsPicker_(this, false);
  if (!path.isEmpty()) openResults(path);
}

bool T_mainForm::openResults(const QString& path) {
  if (analysisRunning_ || undeleteRunning_) return false;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const ResultsLoad load = open_results(path.toStdString());
  if (load.problem != ResultsProblem::none) {
    QApplication::restoreOverrideCursor();
    out_text(results_problem_text(path.toStdString(), load), MsgType::error, true);
    return false;
  }
  // The saved images stay in the drive list when the Drives button rebuilds it.
  for (const DriveInfo& d : drive_list)
    if (d.is_image && std::find(images_.begin(), images_.end(), d.device_path) == images_.end())
      images_.push_back(d.device_path);

  // The drive tree: the volumes of the results, under the letters they were scanned under.
  DriveHTMLTreeview->clear();
  auto* driveRoot = new QTreeWidgetItem(DriveHTMLTreeview, QStringList{ui_text(7)});
  driveRoot->setIcon(0, treeImage(0));
  driveRoot->setData(0, kNodeLevelRole, 0);
  for (const DriveInfo& d : drive_list) addDriveNode(d);
  DriveHTMLTreeview->expandAll();
  updateDriveRootText();

  // Then the window as an analysis leaves it.
  disable_all();
  reset_sort_state();
  AdvListView->header()->setSortIndicatorShown(false);
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(drive_list.size()); ++i) {
    folderTreeAddDrive(i);
    folderTreeAddFolders(i);
  }
  enable_all();
  if (file_count() > 0) {
    classify_files(typeNames_.get());
    draw_types();
  }
  if (QTreeWidgetItem* root = FolderHTMLTreeView->topLevelItem(0)) root->setExpanded(true);
  sortFolderTree();
  QApplication::restoreOverrideCursor();
  return true;
}

}  // namespace dravelo
