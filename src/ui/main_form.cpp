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
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QTreeWidget>
#include <QScrollBar>

#include <time.h>

#include <chrono>

#include "catalogue/catalogue.h"
#include "catalogue/date_time.h"
#include "catalogue/filter.h"
#include "catalogue/ordering.h"
#include "catalogue/presentation.h"
#include "catalogue/texts.h"
#include "catalogue/type_table.h"
#include "catalogue/version.h"
#include "ui/folder_tree.h"
#include "ui/ui_text.h"
#include "ui/result_list_model.h"
#include "ui/type_names.h"
#include "volume/drives.h"
#include "workflow/analysis.h"

namespace dravelo {

namespace {

// Pumping is throttled: the engines ask for it per record or cluster, far more often than a
// window needs to repaint or notice a Stop press.
constexpr int kPumpIntervalMs = 30;
// The whole window is repainted for a new files count ten times a second: each repaint of the
// whole window costs several milliseconds, which at the pump's rate was a seventh of a scan.
constexpr int kFilesRepaintIntervalMs = 100;

// Milliseconds of a monotonic clock, for the throttles above. The engines pump once per record,
// hundreds of thousands of times a scan: where the system has a coarse clock (a few ms steps,
// read without a timer query) it serves, since the throttles are tens of ms.
std::int64_t throttleClockMs() {
#if defined(CLOCK_MONOTONIC_COARSE)
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#else
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
#endif
}

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

// Paints a cell as the style does, then its right and bottom grid lines.
class GridLineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(QColor(0xd8, 0xd8, 0xd8));
    const QRect r = option.rect;
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->restore();
  }
  // A selected row's texts keep their colours (a status its hue), made readable on the
  // selection's background by the model.
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!(option->state & QStyle::State_Selected)) return;
    const QVariant selected = index.data(kSelectedForegroundRole);
    if (selected.canConvert<QColor>()) option->palette.setColor(QPalette::HighlightedText, selected.value<QColor>());
  }
  // The style sizes a row to the text alone, so the bottom grid line would cover descenders and
  // underscores (a deleted FAT name's "_" would vanish): keep a pixel above and below the text.
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), option.fontMetrics.height() + 3));
    return size;
  }
};

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

}  // namespace

T_mainForm::T_mainForm(std::vector<std::string> images, bool includeDevices, QWidget* parent)
    : QMainWindow(parent), images_(std::move(images)), includeDevices_(includeDevices) {
  setObjectName(QStringLiteral("T_mainForm"));
  setWindowTitle(QString::fromUtf8(kProductName) + QStringLiteral(" - ") + QString::fromUtf8(kVersionText));
  layout_ = defaultLayout();
  createControls();
  resize(kClientWidth, kClientHeight);

  // Creation, in its order: the date pickers show today, the readers' capacities, the drive
  // tree, the header hook.
  const QDate today = QDate::currentDate();
  FromDateDBAdvSpinEdit->setDate(today);
  ToDateDBAdvSpinEdit->setDate(today);
  BitmapWindowSectors = 10240;
  BufferSectors = 10240;
  draw_drives(false);
  // Real presses on the header land on its viewport, not on the header widget itself.
  AdvListView->header()->viewport()->installEventFilter(this);

  fitTexts();
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

  AnalyzeAdvToolButton = makeButton(client_, "AnalyzeAdvToolButton", ui_text(8), tr("Analyze the ticked drives"));
  place(AnalyzeAdvToolButton, layout_.analyzeButton);
  setAnalyzeGlyph(1);
  connect(AnalyzeAdvToolButton, &QToolButton::clicked, this, [this] { AnalyzeAdvToolButtonClick(); });

  // Beside Analyze, never in its place: the deep scan takes about a drive's whole read time.
  DeepScanAdvToolButton = makeButton(client_, "DeepScanAdvToolButton", ui_text(kDeepScanText), ui_text(kDeepScanText));
  DeepScanAdvToolButton->setAccessibleDescription(
      tr("Also search the free space of the ticked drives; takes about as long as reading each whole drive"));
  DeepScanAdvToolButton->setToolTip(DeepScanAdvToolButton->accessibleDescription());
  DeepScanAdvToolButton->setIcon(style()->standardIcon(QStyle::SP_DriveHDIcon));
  DeepScanAdvToolButton->setGeometry(layout_.analyzeButton.left + layout_.analyzeButton.width + 4, layout_.analyzeButton.top,
                                     layout_.analyzeButton.width, layout_.analyzeButton.height);
  connect(DeepScanAdvToolButton, &QToolButton::clicked, this, [this] { DeepScanAdvToolButtonClick(); });

  UndeleteAdvToolButton = makeButton(client_, "UndeleteAdvToolButton", ui_text(9), tr("Undelete the ticked files"));
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
  // No fixed accessible name: the label's own text ("Files: 12"), which changes with the count,
  // is what assistive tools read.
  FilesHTMLabel->setTextFormat(Qt::RichText);
  FilesHTMLabel->setText(QStringLiteral("<B>") + ui_text(32) + QStringLiteral(" 0</B>"));
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

  DrivesAdvToolButton = makeButton(LeftAdvPanel, "DrivesAdvToolButton", ui_text(1), tr("Show the drives"));
  place(DrivesAdvToolButton, layout_.drivesButton);
  connect(DrivesAdvToolButton, &QToolButton::clicked, this, [this] { DrivesAdvToolButtonClick(); });
  TypesAdvToolButton = makeButton(LeftAdvPanel, "TypesAdvToolButton", ui_text(2), tr("Show the file types"));
  TypesAdvToolButton->setEnabled(false);
  place(TypesAdvToolButton, layout_.typesButton);
  connect(TypesAdvToolButton, &QToolButton::clicked, this, [this] { TypesAdvToolButtonClick(); });
  FoldersAdvToolButton = makeButton(LeftAdvPanel, "FoldersAdvToolButton", ui_text(3), tr("Show the folders"));
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
  // Grid lines between the cells. Drawn by the delegate
  // over the style's own painting: a style sheet rule on the items would take the selection's
  // background away and leave a selected row white on white.
  AdvListView->setItemDelegate(new GridLineDelegate(AdvListView));
  model_ = new ResultListModel(this);
  model_->setObjectName(QStringLiteral("ResultListModel"));
  AdvListView->setModel(model_);
  // Ticks change the files label's count of ticked files.
  connect(model_, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
            if (roles.contains(Qt::CheckStateRole) && !analysisState_) updateFilesLabel();
          });
  useReadableSelection();
  // The Path column takes whatever width the others leave, so a wide window shows long paths.
  AdvListView->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  AdvListView->viewport()->installEventFilter(this);
  AdvListView->viewport()->setMouseTracking(true);
  connect(AdvListView, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) { showListPopup(pos); });
  typeNames_ = std::make_unique<DesktopTypeNames>();

  createFilterPanel();
  createMenuPanel();
  createPopupMenus();
  createLanguageMenu();
  createDiagnostics();
  setupKeyboard();
}

void T_mainForm::createFilterPanel() {
  FilterAdvPanel = new QFrame(client_);
  FilterAdvPanel->setObjectName(QStringLiteral("FilterAdvPanel"));
  FilterAdvPanel->setAccessibleName(tr("Filter"));
  FilterAdvPanel->setFrameShape(QFrame::StyledPanel);
  place(FilterAdvPanel, layout_.filterPanel);
  QWidget* p = FilterAdvPanel;

  NameHTMLCheckBox = new QCheckBox(ui_text(19), p);
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

  SizeHTMLCheckBox = new QCheckBox(ui_text(25), p);
  SizeHTMLCheckBox->setObjectName(QStringLiteral("SizeHTMLCheckBox"));
  SizeHTMLCheckBox->setAccessibleName(tr("Filter by size"));
  SizeHTMLCheckBox->setGeometry(225, 4, 180, 20);
  connect(SizeHTMLCheckBox, &QCheckBox::clicked, this, [this] { SizeHTMLCheckBoxClick(); });
  SizeALComboBox = new QComboBox(p);
  SizeALComboBox->setObjectName(QStringLiteral("SizeALComboBox"));
  SizeALComboBox->setAccessibleName(tr("Size bound kind"));
  SizeALComboBox->addItems({ui_text(26), ui_text(27)});
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

  DateHTMLCheckBox = new QCheckBox(ui_text(20), p);
  DateHTMLCheckBox->setObjectName(QStringLiteral("DateHTMLCheckBox"));
  DateHTMLCheckBox->setAccessibleName(tr("Filter by date"));
  DateHTMLCheckBox->setGeometry(420, 4, 220, 20);
  connect(DateHTMLCheckBox, &QCheckBox::clicked, this, [this] { DateHTMLCheckBoxClick(); });
  DateALComboBox = new QComboBox(p);
  DateALComboBox->setObjectName(QStringLiteral("DateALComboBox"));
  DateALComboBox->setAccessibleName(tr("Date kind"));
  DateALComboBox->addItems({ui_text(23), ui_text(24)});
  DateALComboBox->setCurrentIndex(0);
  DateALComboBox->setEnabled(false);
  DateALComboBox->setGeometry(420, 26, 125, 22);
  FromLabel = new QLabel(ui_text(21), p);
  FromLabel->setObjectName(QStringLiteral("FromLabel"));
  FromLabel->setGeometry(420, 56, 38, 20);
  FromDateDBAdvSpinEdit = new QDateEdit(p);
  FromDateDBAdvSpinEdit->setObjectName(QStringLiteral("FromDateDBAdvSpinEdit"));
  FromDateDBAdvSpinEdit->setAccessibleName(tr("Earliest date"));
  FromDateDBAdvSpinEdit->setCalendarPopup(true);
  FromDateDBAdvSpinEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  FromDateDBAdvSpinEdit->setEnabled(false);
  FromDateDBAdvSpinEdit->setGeometry(458, 54, 105, 22);
  ToLabel = new QLabel(ui_text(22), p);
  ToLabel->setObjectName(QStringLiteral("ToLabel"));
  ToLabel->setGeometry(572, 56, 25, 20);
  ToDateDBAdvSpinEdit = new QDateEdit(p);
  ToDateDBAdvSpinEdit->setObjectName(QStringLiteral("ToDateDBAdvSpinEdit"));
  ToDateDBAdvSpinEdit->setAccessibleName(tr("Latest date"));
  ToDateDBAdvSpinEdit->setCalendarPopup(true);
  ToDateDBAdvSpinEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  ToDateDBAdvSpinEdit->setEnabled(false);
  ToDateDBAdvSpinEdit->setGeometry(597, 54, 105, 22);

  OverwrittenHTMLCheckBox = new QCheckBox(ui_text(28), p);
  OverwrittenHTMLCheckBox->setObjectName(QStringLiteral("OverwrittenHTMLCheckBox"));
  OverwrittenHTMLCheckBox->setAccessibleName(tr("Hide overwritten files"));
  OverwrittenHTMLCheckBox->setGeometry(8, 54, 205, 20);
  TemporaryHTMLCheckBox = new QCheckBox(ui_text(29), p);
  TemporaryHTMLCheckBox->setObjectName(QStringLiteral("TemporaryHTMLCheckBox"));
  TemporaryHTMLCheckBox->setAccessibleName(tr("Hide temporary files"));
  TemporaryHTMLCheckBox->setGeometry(8, 74, 205, 20);

  FilterAdvToolButton = makeButton(p, "FilterAdvToolButton", ui_text(30), tr("Apply the filter"));
  FilterAdvToolButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  place(FilterAdvToolButton, layout_.filterButton);
  connect(FilterAdvToolButton, &QToolButton::clicked, this, [this] { FilterAdvToolButtonClick(); });
  ClearAdvToolButton = makeButton(p, "ClearAdvToolButton", ui_text(31), tr("Clear the filter"));
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
  LanguageAdvToolButton = makeButton(MenuAdvPanel, "LanguageAdvToolButton", ui_text(0), tr("Language"));
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
  AboutStaticText = link("AboutStaticText", ui_text(12), tr("About Dravelo"), QStyle::SP_MessageBoxInformation, 49);
  HelpStaticText = link("HelpStaticText", ui_text(11), tr("Help"), QStyle::SP_DialogHelpButton, 70);
  AboutStaticText->installEventFilter(this);
  HelpStaticText->installEventFilter(this);
}

void T_mainForm::createPopupMenus() {
  DrivesAdvPopupMenu = new QMenu(this);
  DrivesAdvPopupMenu->setObjectName(QStringLiteral("DrivesAdvPopupMenu"));
  MenuItem3 = makeAction(DrivesAdvPopupMenu, "MenuItem3", ui_text(40));
  MenuItem4 = makeAction(DrivesAdvPopupMenu, "MenuItem4", ui_text(41));
  MenuItem5 = makeAction(DrivesAdvPopupMenu, "MenuItem5", ui_text(42));
  OpenImage1 = makeAction(DrivesAdvPopupMenu, "OpenImage1", ui_text(kOpenImageText));
  SearchLostVolumes1 = makeAction(DrivesAdvPopupMenu, "SearchLostVolumes1", ui_text(kSearchLostText));
  AdminSeparator2 = makeSeparator(DrivesAdvPopupMenu, "AdminSeparator2");
  Read1stSector = makeAction(DrivesAdvPopupMenu, "Read1stSector", QStringLiteral("Read 1st Sector"));
  AdminSeparator2->setVisible(false);
  Read1stSector->setVisible(false);
  connect(MenuItem3, &QAction::triggered, this, [this] { MenuItem3Click(); });
  connect(MenuItem4, &QAction::triggered, this, [this] { MenuItem4Click(); });
  connect(MenuItem5, &QAction::triggered, this, [this] { MenuItem5Click(); });
  connect(OpenImage1, &QAction::triggered, this, [this] { OpenImage1Click(); });
  connect(SearchLostVolumes1, &QAction::triggered, this, [this] { SearchLostVolumes1Click(); });
  createResultsEntries();

  AdvPopupMenu = new QMenu(this);
  AdvPopupMenu->setObjectName(QStringLiteral("AdvPopupMenu"));
  UndeleteSelected1 = makeAction(AdvPopupMenu, "UndeleteSelected1", ui_text(43));
  UndeleteSelected1->setEnabled(false);
  makeSeparator(AdvPopupMenu, "N1");
  SelectAll1 = makeAction(AdvPopupMenu, "SelectAll1", ui_text(44));
  UnselectAll1 = makeAction(AdvPopupMenu, "UnselectAll1", ui_text(45));
  ReverseSelection1 = makeAction(AdvPopupMenu, "ReverseSelection1", ui_text(46));
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

void T_mainForm::useReadableSelection() {
  // The style's selection colour is a strong one on which only white text reads: the status
  // colours would all turn white. A light tint of it, the same in and out of focus, keeps them.
  QPalette palette = AdvListView->palette();
  const QColor base = palette.color(QPalette::Active, QPalette::Base);
  const QColor strong = palette.color(QPalette::Active, QPalette::Highlight);
  const QColor tint = QColor::fromRgbF(base.redF() * 0.7f + strong.redF() * 0.3f, base.greenF() * 0.7f + strong.greenF() * 0.3f,
                                       base.blueF() * 0.7f + strong.blueF() * 0.3f);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Highlight, tint);
    palette.setColor(group, QPalette::HighlightedText, palette.color(group, QPalette::Text));
  }
  AdvListView->setPalette(palette);
  model_->setBackgrounds(base, tint);
}

void T_mainForm::setAnalyzeGlyph(int image) {
  // The two glyphs of the Analyze button: 0 while an analysis runs, 1 otherwise.
  AnalyzeAdvToolButton->setIcon(style()->standardIcon(image == 0 ? QStyle::SP_BrowserStop : QStyle::SP_MediaPlay));
  AnalyzeAdvToolButton->setProperty("glyph", image);
}

void T_mainForm::applyLanguageTexts() {
  if (QTreeWidgetItem* root = DriveHTMLTreeview->topLevelItem(0))
    root->setText(0, ui_text(7) + QStringLiteral(" (") + QString::number(drive_list.size()) + QStringLiteral(")"));
  for (QTreeWidget* t : {TypesTreeView, FolderHTMLTreeView})
    if (QTreeWidgetItem* root = t->topLevelItem(0)) root->setText(0, ui_text(7));
  setWindowTitle(QString::fromUtf8(kProductName) + QStringLiteral(" - ") + QString::fromUtf8(kVersionText));

  DrivesAdvToolButton->setText(ui_text(1));
  TypesAdvToolButton->setText(ui_text(2));
  FoldersAdvToolButton->setText(ui_text(3));
  AnalyzeAdvToolButton->setText(ui_text(analysisState_ && !deepRun_ ? 10 : 8));
  DeepScanAdvToolButton->setText(ui_text(analysisState_ && deepRun_ ? 10 : kDeepScanText));
  DeepScanAdvToolButton->setAccessibleName(ui_text(kDeepScanText));
  UndeleteAdvToolButton->setText(ui_text(undeleteState_ ? 10 : 9));
  HelpStaticText->setText(QStringLiteral("<b><u>%1</u></b>").arg(ui_text(11).toHtmlEscaped()));
  AboutStaticText->setText(QStringLiteral("<b><u>%1</u></b>").arg(ui_text(12).toHtmlEscaped()));
  model_->retranslate();

  NameHTMLCheckBox->setText(ui_text(19));
  DateHTMLCheckBox->setText(ui_text(20));
  SizeHTMLCheckBox->setText(ui_text(25));
  OverwrittenHTMLCheckBox->setText(ui_text(28));
  TemporaryHTMLCheckBox->setText(ui_text(29));
  FromLabel->setText(ui_text(21));
  ToLabel->setText(ui_text(22));
  DateALComboBox->setItemText(0, ui_text(23));
  DateALComboBox->setItemText(1, ui_text(24));
  DateALComboBox->setCurrentIndex(0);
  SizeALComboBox->setItemText(0, ui_text(26));
  SizeALComboBox->setItemText(1, ui_text(27));
  SizeALComboBox->setCurrentIndex(0);
  FilterAdvToolButton->setText(ui_text(30));
  ClearAdvToolButton->setText(ui_text(31));
  const QRect f = FilterAdvToolButton->geometry();
  ClearAdvToolButton->move(f.left() + f.width() - ClearAdvToolButton->width(), ClearAdvToolButton->y());

  FilesHTMLabel->setText(QStringLiteral("<b>") + ui_text(32) + QStringLiteral(" ") + QString::number(file_count()) +
                         QStringLiteral("</b>"));

  MenuItem3->setText(ui_text(40));
  MenuItem4->setText(ui_text(41));
  MenuItem5->setText(ui_text(42));
  OpenImage1->setText(ui_text(kOpenImageText));
  SearchLostVolumes1->setText(ui_text(kSearchLostText));
  SaveResults1->setText(ui_text(kSaveResultsText));
  OpenResults1->setText(ui_text(kOpenResultsText));
  UndeleteSelected1->setText(ui_text(43));
  SelectAll1->setText(ui_text(44));
  UnselectAll1->setText(ui_text(45));
  ReverseSelection1->setText(ui_text(46));
  fitTexts();
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
  applyFit();
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

void T_mainForm::_updateProgress(int position) { setProgress(position); }

void T_mainForm::_updateProgressU(int position) { setProgress(position); }

void T_mainForm::setProgress(int position) {
  // A progress bar repaints itself at once for every visible step of its value, which during a
  // scan is up to a hundred synchronous paints. The new value is painted at the next message
  // pump instead, at most 30 ms later.
  const int value = std::clamp(position, 0, 100);
  if (value == AdvProgressBar->value()) return;
  AdvProgressBar->setUpdatesEnabled(false);
  AdvProgressBar->setValue(value);
  AdvProgressBar->setUpdatesEnabled(true);
}

void T_mainForm::_updateFiles(int count) {
  // The engines report every entry, the FAT scan tens of thousands a second: the label takes the
  // newest count with a repaint of the whole window at most ten times a second, and at each
  // message pump in between. Rich text costs a parse per change of the label's text.
  pendingFiles_ = count;
  const std::int64_t now = throttleClockMs();
  if (now - lastFilesRepaintMs_ >= kFilesRepaintIntervalMs) {
    lastFilesRepaintMs_ = now;
    showPendingFiles();
    repaint();
  }
}

void T_mainForm::showPendingFiles() {
  if (pendingFiles_ < 0) return;
  FilesHTMLabel->setText(ui_text(32) + QStringLiteral("  <b>") + QString::number(pendingFiles_) + QStringLiteral("</b>"));
  pendingFiles_ = -1;
}

void T_mainForm::pump() {
  const std::int64_t now = throttleClockMs();
  if (now - lastPumpMs_ < kPumpIntervalMs) return;
  lastPumpMs_ = now;
  showPendingFiles();
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
  clearDamageCaption();
  FilesHTMLabel->setText(QStringLiteral("<b>") + ui_text(32) + QStringLiteral("</b> 0"));
  // The button of the scan that runs reads "Stop"; the other one waits.
  if (deepRun_) {
    DeepScanAdvToolButton->setText(ui_text(10));
    DeepScanAdvToolButton->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
    AnalyzeAdvToolButton->setEnabled(false);
  } else {
    AnalyzeAdvToolButton->setText(ui_text(10));
    setAnalyzeGlyph(0);
    DeepScanAdvToolButton->setEnabled(false);
  }
  UndeleteAdvToolButton->setEnabled(false);
  UndeleteSelected1->setEnabled(false);
  {
    // Emptying the tree moves its current node to none, which is no request for a new view.
    const QSignalBlocker quiet(FolderHTMLTreeView);
    FolderHTMLTreeView->clear();
  }
  auto* root = new QTreeWidgetItem(FolderHTMLTreeView, QStringList{ui_text(7)});
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
  updateFilesLabel();
  LeftAdvPanel->setEnabled(true);
  AnalyzeAdvToolButton->setText(ui_text(8));
  setAnalyzeGlyph(1);
  AnalyzeAdvToolButton->setEnabled(true);
  DeepScanAdvToolButton->setText(ui_text(kDeepScanText));
  DeepScanAdvToolButton->setIcon(style()->standardIcon(QStyle::SP_DriveHDIcon));
  DeepScanAdvToolButton->setEnabled(true);
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
  clearDamageCaption();
  AnalyzeAdvToolButton->setEnabled(false);
  DeepScanAdvToolButton->setEnabled(false);
  UndeleteAdvToolButton->setText(ui_text(10));
  UndeleteAdvToolButton->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
}

void T_mainForm::enable_all_u() {
  LanguageAdvToolButton->setEnabled(true);
  LeftAdvPanel->setEnabled(true);
  AdvListView->setEnabled(true);
  AnalyzeAdvToolButton->setEnabled(true);
  DeepScanAdvToolButton->setEnabled(true);
  UndeleteAdvToolButton->setText(ui_text(9));
  UndeleteAdvToolButton->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  UndeleteSelected1->setText(ui_text(43));
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
// Pane buttons

void T_mainForm::DrivesAdvToolButtonClick() {
  draw_drives();
  showTree(DriveHTMLTreeview);
}

void T_mainForm::TypesAdvToolButtonClick() { showTree(TypesTreeView); }

void T_mainForm::FoldersAdvToolButtonClick() { showTree(FolderHTMLTreeView); }

}  // namespace dravelo
