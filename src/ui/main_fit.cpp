// Text that fits the font in use: the window keeps its default places, but every control that
// shows a text is made at least as wide as that text needs (measured in the current font and
// language), the controls of a row that would then cover each other move apart, the result
// list's columns are wide enough for their contents, and the window gets the minimum size at
// which nothing overlaps.
#include "ui/main_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <map>

#include "catalogue/texts.h"
#include "ui/ui_text.h"

namespace dravelo {

namespace {

constexpr int kGap = 6;            // between two controls of a row that had to move apart
constexpr int kProgressMinimum = 40;  // the progress bar never shrinks below this
constexpr int kListMinimumHeight = 100;
constexpr int kTreeMinimumHeight = 100;

// The width a tool button needs for the widest of texts (its picture and margins included).
int buttonWidthFor(QToolButton* b, const QStringList& texts) {
  const QFontMetrics fm(b->font());
  int widest = 0;
  for (const QString& t : texts) widest = std::max(widest, fm.horizontalAdvance(t));
  return b->sizeHint().width() - fm.horizontalAdvance(b->text()) + widest;
}

}  // namespace

void T_mainForm::fitTexts() {
  // Buttons: the two action buttons also read "Stop" while their operation runs.
  fit_.analyzeWidth = std::max(layout_.analyzeButton.width, buttonWidthFor(AnalyzeAdvToolButton, {ui_text(8), ui_text(10)}));
  fit_.deepScanWidth =
      std::max(layout_.analyzeButton.width, buttonWidthFor(DeepScanAdvToolButton, {ui_text(kDeepScanText), ui_text(10)}));
  fit_.undeleteWidth = std::max(layout_.undeleteButton.width, buttonWidthFor(UndeleteAdvToolButton, {ui_text(9), ui_text(10)}));
  fit_.paneButtonWidth = layout_.drivesButton.width;
  for (QToolButton* b : {DrivesAdvToolButton, TypesAdvToolButton, FoldersAdvToolButton})
    fit_.paneButtonWidth = std::max(fit_.paneButtonWidth, b->sizeHint().width());
  fit_.paneButtonWidth = std::min(fit_.paneButtonWidth, layout_.leftPanel.width - 8);
  layout_.filterButton.width = std::max(kDefaultFilterButtonWidth, FilterAdvToolButton->sizeHint().width());
  fit_.clearWidth = std::max(kDefaultClearButtonWidth, ClearAdvToolButton->sizeHint().width());
  fit_.languageWidth = std::min(std::max(kDefaultLanguageButtonWidth, LanguageAdvToolButton->sizeHint().width()),
                                layout_.menuPanel.width - 2);
  {
    // The files label grows with the count; room for shown / total of seven digits and the
    // ticked files' count and size, in bold.
    QFont bold = FilesHTMLabel->font();
    bold.setBold(true);
    const int text = QFontMetrics(bold).horizontalAdvance(ui_text(32) + QStringLiteral(" 0000000 / 0000000  ") + ui_text(kTickedText) +
                                                          QStringLiteral(" 000000 (0000.00 Mb)"));
    fit_.filesLabelWidth = std::max(layout_.filesLabel.width, text + 2 * FilesHTMLabel->margin() + 4);
  }

  // The filter panel: its controls stand in rows; each is made wide enough for its text, and
  // one that would then cover its right neighbour pushes it along.
  if (filterDefaults_.empty())
    for (QWidget* w : FilterAdvPanel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
      if (w != FilterAdvToolButton && w != ClearAdvToolButton) filterDefaults_.push_back({w, w->geometry()});
  std::map<int, std::vector<std::pair<QWidget*, QRect>>> rows;
  for (const auto& [w, rect] : filterDefaults_) rows[rect.top() / 10].push_back({w, rect});
  int filterRight = 0;
  for (auto& [top, row] : rows) {
    std::sort(row.begin(), row.end(), [](const auto& a, const auto& b) { return a.second.left() < b.second.left(); });
    int previousRight = 0;
    for (const auto& [w, rect] : row) {
      // A name field holds what the user types: it keeps its width.
      const int width = qobject_cast<QLineEdit*>(w) ? rect.width() : std::max(rect.width(), w->sizeHint().width());
      const int left = previousRight > 0 ? std::max(rect.left(), previousRight + kGap) : rect.left();
      w->setGeometry(left, rect.top(), width, rect.height());
      previousRight = left + width;
    }
    filterRight = std::max(filterRight, previousRight);
  }

  // The result list: the normal font; the fixed columns as wide as their widest content and
  // their caption with the sort arrow.
  {
    const QFontMetrics fm(AdvListView->font());
    const QFontMetrics headerFm(AdvListView->header()->font());
    QStyle* s = AdvListView->style();
    const int cellPad = 2 * (s->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, AdvListView) + 1) + 4;
    const int headerPad = 3 * s->pixelMetric(QStyle::PM_HeaderMargin, nullptr, AdvListView->header()) +
                          s->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, AdvListView->header()) + 4;
    int status = 0;
    for (int i = 53; i <= 60; ++i) status = std::max(status, fm.horizontalAdvance(ui_text(i)));
    const int content[kListColumns] = {0, 0, status, fm.horizontalAdvance(QStringLiteral("00000.00 Mb")),
                                       fm.horizontalAdvance(QStringLiteral("0000-00-00 00:00")),
                                       fm.horizontalAdvance(QStringLiteral("0000-00-00 00:00")), 0};
    for (int c = 2; c < 6; ++c) {
      const QString caption = AdvListView->model()->headerData(c, Qt::Horizontal).toString();
      fit_.columnFloor[static_cast<std::size_t>(c)] =
          std::max(content[c] + cellPad, headerFm.horizontalAdvance(caption) + headerPad);
    }
  }

  // The smallest window in which nothing overlaps: the filter panel holds its rows and the Set
  // Filter button beside them; the top row keeps a progress bar; the list and the trees keep
  // some rows. The resizing rules run on the outer size.
  const int filterWidth = filterRight + 2 * kGap + layout_.filterButton.width + 5;
  const int rightPaneFromFilter = filterWidth + layout_.menuPanel.width + 5;
  const int topRowNeeds = layout_.analyzeButton.left + fit_.analyzeWidth + 4 + fit_.deepScanWidth + 4 + fit_.undeleteWidth + 8 +
                          kProgressMinimum + 5 + fit_.filesLabelWidth - layout_.rightPanel.left;
  const int rightPane = std::max(rightPaneFromFilter, topRowNeeds);
  // Rules 1 to 3 run backwards: the right pane is the filter pane and the menu pane side by side.
  const int outerWidth = layout_.filterPanel.left + (rightPane - layout_.menuPanel.width - 5) + 5 +
                         layout_.menuPanel.width + 25;
  const int outerHeight = std::max(layout_.rightPanel.top + kListMinimumHeight + 5 + layout_.filterPanel.height + 43,
                                   54 + layout_.trees.top + kTreeMinimumHeight + 125 - layout_.trees.top);
  setMinimumSize(outerWidth - kFrameAllowanceWidth, outerHeight - kFrameAllowanceHeight);
  FormResize();
}

void T_mainForm::applyFit() {
  // Top row: the buttons keep their default lefts unless the one before them grew into them;
  // the progress bar gives up what the buttons and the files label need.
  const LayoutRect& a = layout_.analyzeButton;
  AnalyzeAdvToolButton->setGeometry(a.left, a.top, fit_.analyzeWidth, a.height);
  // Deep Scan stands right of Analyze; Undelete and the progress bar make room for it.
  const int deepScanLeft = a.left + fit_.analyzeWidth + 4;
  DeepScanAdvToolButton->setGeometry(deepScanLeft, a.top, fit_.deepScanWidth, a.height);
  const LayoutRect& u = layout_.undeleteButton;
  const int undeleteLeft = std::max(u.left, deepScanLeft + fit_.deepScanWidth + 4);
  UndeleteAdvToolButton->setGeometry(undeleteLeft, u.top, fit_.undeleteWidth, u.height);
  const LayoutRect& p = layout_.progressBar;
  const int progressLeft = std::max(p.left, undeleteLeft + fit_.undeleteWidth + 8);
  const int labelExtra = std::max(0, fit_.filesLabelWidth - layout_.filesLabel.width);
  const int progressWidth = std::max(0, p.width - (progressLeft - p.left) - labelExtra);
  AdvProgressBar->setGeometry(progressLeft, p.top, progressWidth, p.height);
  FilesHTMLabel->setGeometry(progressLeft + progressWidth + 5, layout_.filesLabel.top, fit_.filesLabelWidth,
                             layout_.filesLabel.height);

  // Pane buttons keep their right edges.
  const std::pair<QToolButton*, const LayoutRect*> pane[] = {
      {DrivesAdvToolButton, &layout_.drivesButton}, {TypesAdvToolButton, &layout_.typesButton},
      {FoldersAdvToolButton, &layout_.foldersButton}};
  for (const auto& [b, r] : pane)
    b->setGeometry(r->left + r->width - fit_.paneButtonWidth, r->top, fit_.paneButtonWidth, r->height);

  ClearAdvToolButton->setGeometry(layout_.filterButton.left + layout_.filterButton.width - fit_.clearWidth,
                                  ClearAdvToolButton->y(), fit_.clearWidth, ClearAdvToolButton->height());
  LanguageAdvToolButton->resize(fit_.languageWidth, LanguageAdvToolButton->height());

  QHeaderView* header = AdvListView->header();
  for (int c = 2; c < 6 && c < header->count(); ++c) {
    const std::size_t k = static_cast<std::size_t>(c);
    header->resizeSection(c, std::max(layout_.columnWidths[k], fit_.columnFloor[k]));
  }
}

}  // namespace dravelo
