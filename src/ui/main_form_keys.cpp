// The window from the keyboard: a Tab order that follows the work (drives, the actions, the
// list, the filter, the links, the language last), F1 for help, Enter in the name box applies
// the filter, Space or Enter ticks the current drive, Space ticks every selected row of the
// list, and Space or Enter follows a focused About or Help link.
#include <QKeyEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

#include "ui/main_form.h"
#include "ui/result_list_model.h"

namespace dravelo {

namespace {

bool isActivationKey(int key) { return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter; }

}  // namespace

void T_mainForm::setupKeyboard() {
  // The links take the focus from Tab; a focused link shows it as a selected row does.
  for (QLabel* link : {AboutStaticText, HelpStaticText}) {
    link->setFocusPolicy(Qt::StrongFocus);
    link->setStyleSheet(QStringLiteral("QLabel:focus { background: palette(highlight); color: palette(highlighted-text); }"));
  }
  DriveHTMLTreeview->installEventFilter(this);
  AdvListView->installEventFilter(this);
  connect(NameAdvEdit, &QLineEdit::returnPressed, this, [this] { FilterAdvToolButtonClick(); });
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  help->setObjectName(QStringLiteral("HelpShortcut"));
  help->setContext(Qt::WindowShortcut);
  connect(help, &QShortcut::activated, this, [this] { emit helpRequested(); });

  // Only one of the three trees is shown at a time; Tab passes over the hidden ones.
  const QList<QWidget*> order = {DriveHTMLTreeview,
                                 TypesTreeView,
                                 FolderHTMLTreeView,
                                 AnalyzeAdvToolButton,
                                 DeepScanAdvToolButton,
                                 UndeleteAdvToolButton,
                                 AdvListView,
                                 NameHTMLCheckBox,
                                 NameAdvEdit,
                                 SizeHTMLCheckBox,
                                 SizeALComboBox,
                                 SizeDBAdvSpinEdit,
                                 DateHTMLCheckBox,
                                 DateALComboBox,
                                 FromDateDBAdvSpinEdit,
                                 ToDateDBAdvSpinEdit,
                                 OverwrittenHTMLCheckBox,
                                 TemporaryHTMLCheckBox,
                                 FilterAdvToolButton,
                                 ClearAdvToolButton,
                                 DrivesAdvToolButton,
                                 TypesAdvToolButton,
                                 FoldersAdvToolButton,
                                 HelpStaticText,
                                 AboutStaticText,
                                 LanguageAdvToolButton};
  for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void T_mainForm::tickSelectedRows() {
  std::vector<int> rows;
  for (const QModelIndex& index : AdvListView->selectionModel()->selectedRows()) rows.push_back(index.row());
  const QModelIndex current = AdvListView->currentIndex();
  if (rows.size() <= 1) {
    // One row (or none selected): the current row's box, as a click on it would do.
    if (current.isValid()) model_->tickClick(current.row(), false);
  } else {
    std::sort(rows.begin(), rows.end());
    model_->tickRows(rows);
  }
  AdvListView->viewport()->update();
}

bool T_mainForm::keyPress(QObject* watched, QKeyEvent* event) {
  const int key = event->key();
  if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
  if ((watched == AboutStaticText || watched == HelpStaticText) && isActivationKey(key)) {
    if (watched == AboutStaticText) emit aboutRequested();
    else emit helpRequested();
    return true;
  }
  if (watched == DriveHTMLTreeview && isActivationKey(key)) {
    DriveHTMLTreeviewClick();
    return true;
  }
  if (watched == AdvListView && key == Qt::Key_Space && AdvListView->isEnabled()) {
    tickSelectedRows();
    return true;
  }
  return false;
}

}  // namespace dravelo
