#include "ui/main_form.h"

#include <QAction>
#include <algorithm>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
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
#include "catalogue/texts.h"
#include "catalogue/type_table.h"
#include "ui/folder_tree.h"
#include "ui/result_list_model.h"
#include "ui/type_names.h"
#include "volume/drives.h"
#include "workflow/analysis.h"

namespace dravelo {

namespace {

QString text(int i) { return QString::fromStdString(lang_text(i)); }

// Index of the text of the drive tree's "Open image…" entry.
constexpr int kOpenImageText = 63;

// Pumping is throttled: the engines ask for it per record or cluster, far more often than a
// window needs to repaint or notice a Stop press.
constexpr int kPumpIntervalMs = 30;

void place(QWidget* w, const LayoutRect& r) { w->setGeometry(r.left, r.top, r.width, r.height); }

QToolButton* makeButton(QWidget* parent, const char* name, const QString& caption, const QString& accessible) {
  auto* b = new QToolButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setText(caption);
  b->setAccessibleName(accessible);
  b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  return b;
}

QTreeWidget* makeTree(QWidget* parent, const char* name, const QString& accessible) {
  auto* t = new QTreeWidget(parent);
  t->setObjectName(QString::fromLatin1(name));
  t->setAccessibleName(accessible);
  t->setHeaderHidden(true);
  t->setColumnCount(1);
  t->setIconSize(QSize(16, 16));
  return t;
}

QAction* makeAction(QMenu* menu, const char* name, const QString& caption) {
  QAction* a = menu->addAction(caption);
  a->setObjectName(QString::fromLatin1(name));
  return a;
}

QAction* makeSeparator(QMenu* menu, const char* name) {
  QAction* a = menu->addSeparator();
  a->setObjectName(QString::fromLatin1(name));
  return a;
}

// Tells the window about each drive that an analysis scans, so that the folder tree grows with
// the run.
struct FolderTreeObserver : AnalysisObserver {
  std::function<void(std::int32_t)> started;
  std::function<void(std::int32_t, bool)> finished;
  void drive_started(std::int32_t drive) override { started(drive); }
  void drive_finished(std::int32_t drive, bool ok) override { finished(drive, ok); }
};

}  // namespace

T_mainForm::T_mainForm(std::vector<std::string> images, bool includeDevices, QWidget* parent)
    : QMainWindow(parent), images_(std::move(images)), includeDevices_(includeDevices) {
  setObjectName(QStringLiteral("T_mainForm"));
  setWindowTitle(QStringLiteral("Dravelo - " DRAVELO_VERSION_TEXT));
  layout_ = designLayout();
  createControls();
  resize(kClientWidth, kClientHeight);

  // Creation, in its order: the date pickers show today, the readers' capacities, the drive
  // tree, the header hook.
  const QDate today = QDate::currentDate();
  FromDateDBAdvSpinEdit->setDate(today);
  ToDateDBAdvSpinEdit->setDate(today);
  BitmapWindowSectors = 10240;
  BufferSectors = 10240;
  draw_drives();
  AdvListView->header()->installEventFilter(this);

  FormResize();
  previousHost_ = set_host(this);
}

T_mainForm::~T_mainForm() {
  // Only give the host back when it is still this window.
  if (&host() == this) set_host(previousHost_);
}

// ---------------------------------------------------------------------------------------------
// Controls

void T_mainForm::createControls() {
  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("ClientArea"));
  setCentralWidget(client_);

  AnalyzeAdvToolButton = makeButton(client_, "AnalyzeAdvToolButton", text(8), tr("Analyze the ticked drives"));
  place(AnalyzeAdvToolButton, layout_.analyzeButton);
  setAnalyzeGlyph(1);
  connect(AnalyzeAdvToolButton, &QToolButton::clicked, this, [this] { AnalyzeAdvToolButtonClick(); });

  UndeleteAdvToolButton = makeButton(client_, "UndeleteAdvToolButton", text(9), tr("Undelete the ticked files"));
  UndeleteAdvToolButton->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  UndeleteAdvToolButton->setEnabled(false);
  place(UndeleteAdvToolButton, layout_.undeleteButton);
  connect(UndeleteAdvToolButton, &QToolButton::clicked, this, [this] { UndeleteAdvToolButtonClick(); });

  AdvProgressBar = new QProgressBar(client_);
  AdvProgressBar->setObjectName(QStringLiteral("AdvProgressBar"));
  AdvProgressBar->setAccessibleName(tr("Progress"));
  AdvProgressBar->setRange(0, 100);
  AdvProgressBar->setValue(0);
  AdvProgressBar->setTextVisible(false);
  place(AdvProgressBar, layout_.progressBar);

  FilesHTMLabel = new QLabel(client_);
  FilesHTMLabel->setObjectName(QStringLiteral("FilesHTMLabel"));
  FilesHTMLabel->setAccessibleName(tr("Files found"));
  FilesHTMLabel->setTextFormat(Qt::RichText);
  FilesHTMLabel->setText(QStringLiteral("<B>") + text(32) + QStringLiteral(" 0</B>"));
  place(FilesHTMLabel, layout_.filesLabel);

  // Left pane: the three trees in one place, the pane buttons below them.
  LeftAdvPanel = new QFrame(client_);
  LeftAdvPanel->setObjectName(QStringLiteral("LeftAdvPanel"));
  LeftAdvPanel->setAccessibleName(tr("Drives, types and folders"));
  LeftAdvPanel->setFrameShape(QFrame::StyledPanel);
  place(LeftAdvPanel, layout_.leftPanel);

  DriveHTMLTreeview = makeTree(LeftAdvPanel, "DriveHTMLTreeview", tr("Drives"));
  DriveHTMLTreeview->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(DriveHTMLTreeview, &QTreeWidget::itemClicked, this, [this] { DriveHTMLTreeviewClick(); });
  connect(DriveHTMLTreeview, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { DrivesAdvPopupMenu->popup(DriveHTMLTreeview->viewport()->mapToGlobal(pos)); });
  TypesTreeView = makeTree(LeftAdvPanel, "TypesTreeView", tr("File types"));
  TypesTreeView->hide();
  connect(TypesTreeView, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* node) { TypesTreeViewChange(node); });
  TypesTreeView->installEventFilter(this);
  FolderHTMLTreeView = makeTree(LeftAdvPanel, "FolderHTMLTreeView", tr("Folders"));
  FolderHTMLTreeView->hide();
  connect(FolderHTMLTreeView, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* node) { FolderHTMLTreeViewChange(node); });
  FolderHTMLTreeView->installEventFilter(this);
  for (QTreeWidget* t : {DriveHTMLTreeview, TypesTreeView, FolderHTMLTreeView}) place(t, layout_.trees);

  DrivesAdvToolButton = makeButton(LeftAdvPanel, "DrivesAdvToolButton", text(1), tr("Show the drives"));
  place(DrivesAdvToolButton, layout_.drivesButton);
  connect(DrivesAdvToolButton, &QToolButton::clicked, this, [this] { DrivesAdvToolButtonClick(); });
  TypesAdvToolButton = makeButton(LeftAdvPanel, "TypesAdvToolButton", text(2), tr("Show the file types"));
  TypesAdvToolButton->setEnabled(false);
  place(TypesAdvToolButton, layout_.typesButton);
  connect(TypesAdvToolButton, &QToolButton::clicked, this, [this] { TypesAdvToolButtonClick(); });
  FoldersAdvToolButton = makeButton(LeftAdvPanel, "FoldersAdvToolButton", text(3), tr("Show the folders"));
  FoldersAdvToolButton->setEnabled(false);
  place(FoldersAdvToolButton, layout_.foldersButton);
  connect(FoldersAdvToolButton, &QToolButton::clicked, this, [this] { FoldersAdvToolButtonClick(); });

  // Right pane: the result list fills it.
  RightAdvPanel = new QFrame(client_);
  RightAdvPanel->setObjectName(QStringLiteral("RightAdvPanel"));
  RightAdvPanel->setAccessibleName(tr("Found files"));
  place(RightAdvPanel, layout_.rightPanel);

  AdvListView = new QTreeView(RightAdvPanel);
  AdvListView->setObjectName(QStringLiteral("AdvListView"));
  AdvListView->setAccessibleName(tr("Found files"));
  AdvListView->setRootIsDecorated(false);
  AdvListView->setItemsExpandable(false);
  AdvListView->setUniformRowHeights(true);
  AdvListView->setSelectionBehavior(QAbstractItemView::SelectRows);
  AdvListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
  AdvListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  AdvListView->setAllColumnsShowFocus(true);
  AdvListView->setContextMenuPolicy(Qt::CustomContextMenu);
  AdvListView->header()->setSectionsClickable(false);  // presses go through the header hook
  AdvListView->header()->setStretchLastSection(false);
  AdvListView->header()->setSectionsMovable(false);
  AdvListView->header()->setMinimumSectionSize(4);  // the filler column is 10 pixels wide
  AdvListView->setGeometry(0, 0, layout_.rightPanel.width, layout_.rightPanel.height);
  // Grid lines between the cells, as the list is designed to show them.
  AdvListView->setStyleSheet(QStringLiteral(
      "QTreeView::item { border-right: 1px solid #d8d8d8; border-bottom: 1px solid #d8d8d8; }"));
  {
    // The columns have fixed designed widths (a date takes 100 pixels): a smaller face lets
    // "yyyy-mm-dd hh:nn" fit them.
    QFont small = AdvListView->font();
    if (small.pointSizeF() > 7.5) small.setPointSizeF(7.5);
    AdvListView->setFont(small);
  }
  model_ = new ResultListModel(this);
  model_->setObjectName(QStringLiteral("ResultListModel"));
  AdvListView->setModel(model_);
  AdvListView->viewport()->installEventFilter(this);
  AdvListView->viewport()->setMouseTracking(true);
  connect(AdvListView, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) { showListPopup(pos); });
  typeNames_ = std::make_unique<DesktopTypeNames>();

  createFilterPanel();
  createMenuPanel();
  createPopupMenus();
}

void T_mainForm::createFilterPanel() {
  FilterAdvPanel = new QFrame(client_);
  FilterAdvPanel->setObjectName(QStringLiteral("FilterAdvPanel"));
  FilterAdvPanel->setAccessibleName(tr("Filter"));
  FilterAdvPanel->setFrameShape(QFrame::StyledPanel);
  place(FilterAdvPanel, layout_.filterPanel);
  QWidget* p = FilterAdvPanel;

  NameHTMLCheckBox = new QCheckBox(text(19), p);
  NameHTMLCheckBox->setObjectName(QStringLiteral("NameHTMLCheckBox"));
  NameHTMLCheckBox->setAccessibleName(tr("Filter by name"));
  NameHTMLCheckBox->setGeometry(8, 4, 205, 20);
  connect(NameHTMLCheckBox, &QCheckBox::clicked, this, [this] { NameHTMLCheckBoxClick(); });
  NameAdvEdit = new QLineEdit(p);
  NameAdvEdit->setObjectName(QStringLiteral("NameAdvEdit"));
  NameAdvEdit->setAccessibleName(tr("All or part of the file name"));
  NameAdvEdit->setMaxLength(255);
  NameAdvEdit->setEnabled(false);
  NameAdvEdit->setGeometry(8, 26, 200, 22);

  SizeHTMLCheckBox = new QCheckBox(text(25), p);
  SizeHTMLCheckBox->setObjectName(QStringLiteral("SizeHTMLCheckBox"));
  SizeHTMLCheckBox->setAccessibleName(tr("Filter by size"));
  SizeHTMLCheckBox->setGeometry(225, 4, 180, 20);
  connect(SizeHTMLCheckBox, &QCheckBox::clicked, this, [this] { SizeHTMLCheckBoxClick(); });
  SizeALComboBox = new QComboBox(p);
  SizeALComboBox->setObjectName(QStringLiteral("SizeALComboBox"));
  SizeALComboBox->setAccessibleName(tr("Size bound kind"));
  SizeALComboBox->addItems({text(26), text(27)});
  SizeALComboBox->setCurrentIndex(0);
  SizeALComboBox->setEnabled(false);
  SizeALComboBox->setGeometry(225, 26, 85, 22);
  SizeDBAdvSpinEdit = new QSpinBox(p);
  SizeDBAdvSpinEdit->setObjectName(QStringLiteral("SizeDBAdvSpinEdit"));
  SizeDBAdvSpinEdit->setAccessibleName(tr("Size in kilobytes"));
  SizeDBAdvSpinEdit->setRange(0, 999999);
  SizeDBAdvSpinEdit->setSingleStep(100);
  SizeDBAdvSpinEdit->setValue(0);
  SizeDBAdvSpinEdit->setSuffix(QStringLiteral(" KB"));
  SizeDBAdvSpinEdit->setEnabled(false);
  SizeDBAdvSpinEdit->setGeometry(314, 26, 90, 22);

  DateHTMLCheckBox = new QCheckBox(text(20), p);
  DateHTMLCheckBox->setObjectName(QStringLiteral("DateHTMLCheckBox"));
  DateHTMLCheckBox->setAccessibleName(tr("Filter by date"));
  DateHTMLCheckBox->setGeometry(420, 4, 220, 20);
  connect(DateHTMLCheckBox, &QCheckBox::clicked, this, [this] { DateHTMLCheckBoxClick(); });
  DateALComboBox = new QComboBox(p);
  DateALComboBox->setObjectName(QStringLiteral("DateALComboBox"));
  DateALComboBox->setAccessibleName(tr("Date kind"));
  DateALComboBox->addItems({text(23), text(24)});
  DateALComboBox->setCurrentIndex(0);
  DateALComboBox->setEnabled(false);
  DateALComboBox->setGeometry(420, 26, 125, 22);
  FromLabel = new QLabel(text(21), p);
  FromLabel->setObjectName(QStringLiteral("FromLabel"));
  FromLabel->setGeometry(420, 56, 38, 20);
  FromDateDBAdvSpinEdit = new QDateEdit(p);
  FromDateDBAdvSpinEdit->setObjectName(QStringLiteral("FromDateDBAdvSpinEdit"));
  FromDateDBAdvSpinEdit->setAccessibleName(tr("Earliest date"));
  FromDateDBAdvSpinEdit->setCalendarPopup(true);
  FromDateDBAdvSpinEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  FromDateDBAdvSpinEdit->setEnabled(false);
  FromDateDBAdvSpinEdit->setGeometry(458, 54, 105, 22);
  ToLabel = new QLabel(text(22), p);
  ToLabel->setObjectName(QStringLiteral("ToLabel"));
  ToLabel->setGeometry(572, 56, 25, 20);
  ToDateDBAdvSpinEdit = new QDateEdit(p);
  ToDateDBAdvSpinEdit->setObjectName(QStringLiteral("ToDateDBAdvSpinEdit"));
  ToDateDBAdvSpinEdit->setAccessibleName(tr("Latest date"));
  ToDateDBAdvSpinEdit->setCalendarPopup(true);
  ToDateDBAdvSpinEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  ToDateDBAdvSpinEdit->setEnabled(false);
  ToDateDBAdvSpinEdit->setGeometry(597, 54, 105, 22);

  OverwrittenHTMLCheckBox = new QCheckBox(text(28), p);
  OverwrittenHTMLCheckBox->setObjectName(QStringLiteral("OverwrittenHTMLCheckBox"));
  OverwrittenHTMLCheckBox->setAccessibleName(tr("Hide overwritten files"));
  OverwrittenHTMLCheckBox->setGeometry(8, 54, 205, 20);
  TemporaryHTMLCheckBox = new QCheckBox(text(29), p);
  TemporaryHTMLCheckBox->setObjectName(QStringLiteral("TemporaryHTMLCheckBox"));
  TemporaryHTMLCheckBox->setAccessibleName(tr("Hide temporary files"));
  TemporaryHTMLCheckBox->setGeometry(8, 74, 205, 20);

  FilterAdvToolButton = makeButton(p, "FilterAdvToolButton", text(30), tr("Apply the filter"));
  FilterAdvToolButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  place(FilterAdvToolButton, layout_.filterButton);
  connect(FilterAdvToolButton, &QToolButton::clicked, this, [this] { FilterAdvToolButtonClick(); });
  ClearAdvToolButton = makeButton(p, "ClearAdvToolButton", text(31), tr("Clear the filter"));
  ClearAdvToolButton->setIcon(style()->standardIcon(QStyle::SP_DialogResetButton));
  ClearAdvToolButton->setGeometry(layout_.filterButton.left + layout_.filterButton.width - 75,
                                  layout_.filterButton.top + layout_.filterButton.height + 6, 75, 24);
  ClearAdvToolButton->hide();
  connect(ClearAdvToolButton, &QToolButton::clicked, this, [this] { ClearAdvToolButtonClick(); });
}

void T_mainForm::createMenuPanel() {
  MenuAdvPanel = new QFrame(client_);
  MenuAdvPanel->setObjectName(QStringLiteral("MenuAdvPanel"));
  MenuAdvPanel->setAccessibleName(tr("Language, help and about"));
  MenuAdvPanel->setFrameShape(QFrame::StyledPanel);
  place(MenuAdvPanel, layout_.menuPanel);

  LanguageAdvPopupMenu = new QMenu(this);
  LanguageAdvPopupMenu->setObjectName(QStringLiteral("LanguageAdvPopupMenu"));
  LanguageAdvToolButton = makeButton(MenuAdvPanel, "LanguageAdvToolButton", text(0), tr("Language"));
  LanguageAdvToolButton->setPopupMode(QToolButton::InstantPopup);
  LanguageAdvToolButton->setMenu(LanguageAdvPopupMenu);
  LanguageAdvToolButton->setGeometry(1, 3, 88, 22);

  auto link = [this](const char* name, const QString& caption, const QString& accessible, QStyle::StandardPixmap pic,
                     int top) {
    auto* picture = new QLabel(MenuAdvPanel);
    picture->setPixmap(style()->standardIcon(pic).pixmap(16, 16));
    picture->setGeometry(6, top, 16, 16);
    auto* label = new QLabel(MenuAdvPanel);
    label->setObjectName(QString::fromLatin1(name));
    label->setAccessibleName(accessible);
    label->setTextFormat(Qt::RichText);
    label->setText(QStringLiteral("<b><u>%1</u></b>").arg(caption.toHtmlEscaped()));
    label->setCursor(Qt::PointingHandCursor);
    label->setGeometry(26, top, 75, 17);
    return label;
  };
  AboutStaticText = link("AboutStaticText", text(12), tr("About Dravelo"), QStyle::SP_MessageBoxInformation, 49);
  HelpStaticText = link("HelpStaticText", text(11), tr("Help"), QStyle::SP_DialogHelpButton, 70);
  AboutStaticText->installEventFilter(this);
  HelpStaticText->installEventFilter(this);
}

void T_mainForm::createPopupMenus() {
  DrivesAdvPopupMenu = new QMenu(this);
  DrivesAdvPopupMenu->setObjectName(QStringLiteral("DrivesAdvPopupMenu"));
  MenuItem3 = makeAction(DrivesAdvPopupMenu, "MenuItem3", text(40));
  MenuItem4 = makeAction(DrivesAdvPopupMenu, "MenuItem4", text(41));
  MenuItem5 = makeAction(DrivesAdvPopupMenu, "MenuItem5", text(42));
  OpenImage1 = makeAction(DrivesAdvPopupMenu, "OpenImage1", text(kOpenImageText));
  AdminSeparator2 = makeSeparator(DrivesAdvPopupMenu, "AdminSeparator2");
  Read1stSector = makeAction(DrivesAdvPopupMenu, "Read1stSector", QStringLiteral("Read 1st Sector"));
  AdminSeparator2->setVisible(false);
  Read1stSector->setVisible(false);
  connect(MenuItem3, &QAction::triggered, this, [this] { MenuItem3Click(); });
  connect(MenuItem4, &QAction::triggered, this, [this] { MenuItem4Click(); });
  connect(MenuItem5, &QAction::triggered, this, [this] { MenuItem5Click(); });
  connect(OpenImage1, &QAction::triggered, this, [this] { OpenImage1Click(); });

  AdvPopupMenu = new QMenu(this);
  AdvPopupMenu->setObjectName(QStringLiteral("AdvPopupMenu"));
  UndeleteSelected1 = makeAction(AdvPopupMenu, "UndeleteSelected1", text(43));
  UndeleteSelected1->setEnabled(false);
  makeSeparator(AdvPopupMenu, "N1");
  SelectAll1 = makeAction(AdvPopupMenu, "SelectAll1", text(44));
  UnselectAll1 = makeAction(AdvPopupMenu, "UnselectAll1", text(45));
  ReverseSelection1 = makeAction(AdvPopupMenu, "ReverseSelection1", text(46));
  AdminSeparator = makeSeparator(AdvPopupMenu, "AdminSeparator");
  ReadMFT = makeAction(AdvPopupMenu, "ReadMFT", QStringLiteral("Read selected MFT"));
  AdminSeparator->setVisible(false);
  ReadMFT->setVisible(false);
  connect(UndeleteSelected1, &QAction::triggered, this, [this] { UndeleteAdvToolButtonClick(); });
  connect(SelectAll1, &QAction::triggered, this, [this] { SelectAll1Click(); });
  connect(UnselectAll1, &QAction::triggered, this, [this] { UnselectAll1Click(); });
  connect(ReverseSelection1, &QAction::triggered, this, [this] { ReverseSelection1Click(); });
}

void T_mainForm::showListPopup(const QPoint& pos) {
  if (!AdvListView->isEnabled()) return;
  AdvPopupMenu->popup(AdvListView->viewport()->mapToGlobal(pos));
}

void T_mainForm::setAnalyzeGlyph(int image) {
  // The two glyphs of the Analyze button: 0 while an analysis runs, 1 otherwise.
  AnalyzeAdvToolButton->setIcon(style()->standardIcon(image == 0 ? QStyle::SP_BrowserStop : QStyle::SP_MediaPlay));
  AnalyzeAdvToolButton->setProperty("glyph", image);
}

void T_mainForm::applyLanguageTexts() {
  if (QTreeWidgetItem* root = DriveHTMLTreeview->topLevelItem(0))
    root->setText(0, text(7) + QStringLiteral(" (") + QString::number(drive_list.size()) + QStringLiteral(")"));
  for (QTreeWidget* t : {TypesTreeView, FolderHTMLTreeView})
    if (QTreeWidgetItem* root = t->topLevelItem(0)) root->setText(0, text(7));
  setWindowTitle(QStringLiteral("Dravelo - " DRAVELO_VERSION_TEXT));

  DrivesAdvToolButton->setText(text(1));
  TypesAdvToolButton->setText(text(2));
  FoldersAdvToolButton->setText(text(3));
  AnalyzeAdvToolButton->setText(text(analysisState_ ? 10 : 8));
  UndeleteAdvToolButton->setText(text(undeleteState_ ? 10 : 9));
  HelpStaticText->setText(QStringLiteral("<b><u>%1</u></b>").arg(text(11).toHtmlEscaped()));
  AboutStaticText->setText(QStringLiteral("<b><u>%1</u></b>").arg(text(12).toHtmlEscaped()));
  model_->retranslate();

  NameHTMLCheckBox->setText(text(19));
  DateHTMLCheckBox->setText(text(20));
  SizeHTMLCheckBox->setText(text(25));
  OverwrittenHTMLCheckBox->setText(text(28));
  TemporaryHTMLCheckBox->setText(text(29));
  FromLabel->setText(text(21));
  ToLabel->setText(text(22));
  DateALComboBox->setItemText(0, text(23));
  DateALComboBox->setItemText(1, text(24));
  DateALComboBox->setCurrentIndex(0);
  SizeALComboBox->setItemText(0, text(26));
  SizeALComboBox->setItemText(1, text(27));
  SizeALComboBox->setCurrentIndex(0);
  FilterAdvToolButton->setText(text(30));
  ClearAdvToolButton->setText(text(31));
  const QRect f = FilterAdvToolButton->geometry();
  ClearAdvToolButton->move(f.left() + f.width() - ClearAdvToolButton->width(), ClearAdvToolButton->y());

  FilesHTMLabel->setText(QStringLiteral("<b>") + text(32) + QStringLiteral(" ") + QString::number(file_count()) +
                         QStringLiteral("</b>"));

  MenuItem3->setText(text(40));
  MenuItem4->setText(text(41));
  MenuItem5->setText(text(42));
  OpenImage1->setText(text(kOpenImageText));
  UndeleteSelected1->setText(text(43));
  SelectAll1->setText(text(44));
  UnselectAll1->setText(text(45));
  ReverseSelection1->setText(text(46));
}

void T_mainForm::centerOnScreen() {
  QScreen* screen = this->screen() ? this->screen() : QApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  QRect frame = frameGeometry();
  frame.moveCenter(area.center());
  move(frame.topLeft());
}

// ---------------------------------------------------------------------------------------------
// Resizing

void T_mainForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void T_mainForm::FormResize() {
  if (!client_) return;
  applyFormResize(layout_, width() + kFrameAllowanceWidth, height() + kFrameAllowanceHeight);
  applyGeometry();
}

void T_mainForm::applyGeometry() {
  place(MenuAdvPanel, layout_.menuPanel);
  place(FilterAdvPanel, layout_.filterPanel);
  place(RightAdvPanel, layout_.rightPanel);
  place(AdvProgressBar, layout_.progressBar);
  place(FilesHTMLabel, layout_.filesLabel);
  place(LeftAdvPanel, layout_.leftPanel);
  place(DrivesAdvToolButton, layout_.drivesButton);
  place(TypesAdvToolButton, layout_.typesButton);
  place(FoldersAdvToolButton, layout_.foldersButton);
  for (QTreeWidget* t : {DriveHTMLTreeview, TypesTreeView, FolderHTMLTreeView}) place(t, layout_.trees);
  place(FilterAdvToolButton, layout_.filterButton);
  // "Clear" sits below Set Filter with their right edges in line; it follows the button here
  // rather than waiting for the next Set Filter press to line it up again.
  ClearAdvToolButton->move(layout_.filterButton.left + layout_.filterButton.width - ClearAdvToolButton->width(),
                           ClearAdvToolButton->y());
  AdvListView->setGeometry(0, 0, layout_.rightPanel.width, layout_.rightPanel.height);
  QHeaderView* header = AdvListView->header();
  for (int c = 0; c < kListColumns && c < header->count(); ++c)
    header->resizeSection(c, layout_.columnWidths[static_cast<std::size_t>(c)]);
}

// ---------------------------------------------------------------------------------------------
// Engine host

void T_mainForm::out_text(std::string_view message, MsgType type, bool show_popup) {
  if (!show_popup) return;
  ++messagesShown_;
  QMessageBox box(type == MsgType::error ? QMessageBox::Critical : QMessageBox::NoIcon, QStringLiteral("Dravelo"),
                  QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size())), QMessageBox::Ok, this);
  box.exec();
}

void T_mainForm::_updateProgress(int position) { AdvProgressBar->setValue(std::clamp(position, 0, 100)); }

void T_mainForm::_updateProgressU(int position) { AdvProgressBar->setValue(std::clamp(position, 0, 100)); }

void T_mainForm::_updateFiles(int count) {
  FilesHTMLabel->setText(text(32) + QStringLiteral("  <b>") + QString::number(count) + QStringLiteral("</b>"));
  // The engines report every entry; repainting the window for each would cost more than the scan.
  if (!filesTimer_.isValid() || filesTimer_.elapsed() >= kPumpIntervalMs) {
    filesTimer_.restart();
    repaint();
  }
}

void T_mainForm::pump() {
  if (pumpTimer_.isValid() && pumpTimer_.elapsed() < kPumpIntervalMs) return;
  pumpTimer_.restart();
  QCoreApplication::processEvents();
}

// ---------------------------------------------------------------------------------------------
// Window states

void T_mainForm::disable_all() {
  analysisState_ = true;
  stop_flag = false;
  LanguageAdvToolButton->setEnabled(false);
  LeftAdvPanel->setEnabled(false);
  AdvListView->setEnabled(false);
  visible_files.clear();
  model_->refresh();
  AdvListView->setUpdatesEnabled(false);
  AdvProgressBar->setValue(0);
  FilesHTMLabel->setText(QStringLiteral("<b>") + text(32) + QStringLiteral("</b> 0"));
  AnalyzeAdvToolButton->setText(text(10));
  setAnalyzeGlyph(0);
  UndeleteAdvToolButton->setEnabled(false);
  UndeleteSelected1->setEnabled(false);
  {
    // Emptying the tree moves its current node to none, which is no request for a new view.
    const QSignalBlocker quiet(FolderHTMLTreeView);
    FolderHTMLTreeView->clear();
  }
  auto* root = new QTreeWidgetItem(FolderHTMLTreeView, QStringList{text(7)});
  root->setIcon(0, treeImage(0));
  root->setData(0, kNodeLevelRole, 0);
  showTree(DriveHTMLTreeview);
  TypesAdvToolButton->setEnabled(false);
  FoldersAdvToolButton->setEnabled(false);
}

void T_mainForm::enable_all() {
  const std::int32_t n = file_count();
  LanguageAdvToolButton->setEnabled(true);
  AdvListView->setEnabled(true);
  AdvListView->setFocus();
  if (n > 0) {
    if (!recycle_bin_files.empty()) restore_recycled_names();
    set_folder_filter(0, 20, 0);
  }
  AdvListView->setUpdatesEnabled(true);
  FilesHTMLabel->setText(QStringLiteral("<b>") + text(32) + QStringLiteral("</b> ") + QString::number(n));
  LeftAdvPanel->setEnabled(true);
  AnalyzeAdvToolButton->setText(text(8));
  setAnalyzeGlyph(1);
  UndeleteAdvToolButton->setEnabled(n > 0);
  UndeleteSelected1->setEnabled(n > 0);
  if (n > 0) showTree(TypesTreeView);
  TypesAdvToolButton->setEnabled(n > 0);
  FoldersAdvToolButton->setEnabled(n > 0);
  analysisState_ = false;
}

void T_mainForm::disable_all_u() {
  undeleteState_ = true;
  stop_flag = false;
  LanguageAdvToolButton->setEnabled(true);
  LeftAdvPanel->setEnabled(false);
  AdvListView->setEnabled(false);
  AdvProgressBar->setValue(0);
  AnalyzeAdvToolButton->setEnabled(false);
  UndeleteAdvToolButton->setText(text(10));
}

void T_mainForm::enable_all_u() {
  LanguageAdvToolButton->setEnabled(true);
  LeftAdvPanel->setEnabled(true);
  AdvListView->setEnabled(true);
  AnalyzeAdvToolButton->setEnabled(true);
  UndeleteAdvToolButton->setText(text(9));
  UndeleteSelected1->setText(text(43));
  undeleteState_ = false;
}

void T_mainForm::showTree(QWidget* tree) {
  for (QTreeWidget* t : {DriveHTMLTreeview, TypesTreeView, FolderHTMLTreeView}) t->setVisible(t == tree);
}

QWidget* T_mainForm::shownTree() const {
  for (QTreeWidget* t : {DriveHTMLTreeview, TypesTreeView, FolderHTMLTreeView})
    if (!t->isHidden()) return t;
  return nullptr;
}

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
  node->setToolTip(0, QString::fromStdString(drive.device_path));
  return node;
}

void T_mainForm::updateDriveRootText() {
  QTreeWidgetItem* root = DriveHTMLTreeview->topLevelItem(0);
  if (root) root->setText(0, text(7) + QStringLiteral("(") + QString::number(drive_list.size()) + QStringLiteral(")"));
}

void T_mainForm::draw_drives() {
  DriveHTMLTreeview->clear();
  auto* root = new QTreeWidgetItem(DriveHTMLTreeview, QStringList{text(7)});
  root->setIcon(0, treeImage(0));
  root->setData(0, kNodeLevelRole, 0);
  get_drives(images_, includeDevices_);
  for (std::size_t i = 0; i < drive_list.size(); ++i) addDriveNode(drive_list[i]);
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
  if (!node || !root || node == root || node->parent() != root) return;
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

bool T_mainForm::openImage(const QString& path) {
  const int index = add_image_drive(path.toStdString());
  if (index < 0) return false;
  // Kept for the next rebuild by the Drives button, which would otherwise forget it.
  images_.push_back(path.toStdString());
  addDriveNode(drive_list[static_cast<std::size_t>(index)]);
  updateDriveRootText();
  DriveHTMLTreeview->expandAll();
  return true;
}

void T_mainForm::OpenImage1Click() {
  const QString path = QFileDialog::getOpenFileName(this, text(kOpenImageText));
  if (path.isEmpty()) return;
  openImage(path);
}

// ---------------------------------------------------------------------------------------------
// Pane buttons

void T_mainForm::DrivesAdvToolButtonClick() {
  draw_drives();
  showTree(DriveHTMLTreeview);
}

void T_mainForm::TypesAdvToolButtonClick() { showTree(TypesTreeView); }

void T_mainForm::FoldersAdvToolButtonClick() { showTree(FolderHTMLTreeView); }

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
  if (AnalyzeAdvToolButton->text() != text(8)) {
    stop_flag = true;
    return;
  }
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
  const bool scanOk = run_analysis(&observer);

  enable_all();
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
  if (UndeleteAdvToolButton->text() != text(9)) {
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
  FilesHTMLabel->setText(QStringLiteral("<b>") + text(32) + QStringLiteral("</b> ") + QString::number(file_count()));
  AdvListView->viewport()->update();
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
  auto* root = new QTreeWidgetItem(TypesTreeView, QStringList{text(7)});
  root->setIcon(0, DesktopTypeNames::rootIcon());
  root->setData(0, kNodeLevelRole, 0);
  for (std::uint16_t app : type_tree_groups()) {
    auto* node = new QTreeWidgetItem(root, QStringList{QString::fromStdString(type_node_text(app))});
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
      if (watched == header && AdvListView->isEnabled()) {
        // The header sits at the top of the list's client area, so its coordinates are the
        // list's; the scrolled-off part of the columns is added back to x.
        const QPoint p = mouse->position().toPoint();
        std::array<int, 6> widths{};
        for (int c = 0; c < 6; ++c) widths[static_cast<std::size_t>(c)] = header->sectionSize(c);
        const int column = header_hit_column(p.x() + header->offset(), p.y(), widths, RightAdvPanel->width());
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
