// The main window's language side: the language menu, set_language and the activation rule that
// applies the stored language.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QGuiApplication>
#include <QMenu>
#include <QProgressBar>
#include <QShowEvent>
#include <QTextDocumentFragment>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <initializer_list>

#include "catalogue/languages.h"
#include "catalogue/texts.h"
#include "ui/fit_text.h"
#include "ui/language_flags.h"
#include "ui/main_form.h"
#include "ui/recover_form.h"
#include "ui/settings.h"

namespace dravelo {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

const QString kLanguageValue = QStringLiteral("language");

// A combo box's width for its current entries (its own size hint is kept from the first showing).
int comboWidthFor(const QComboBox* combo) {
  QComboBox probe;
  probe.setFont(combo->font());
  for (int i = 0; i < combo->count(); ++i) probe.addItem(combo->itemText(i));
  return probe.sizeHint().width();
}

// The options dialog's captions: the heading up to the dialog's edge, the check boxes up to the
// buttons on their right.
void fitOptionsCaptions(T_recoverForm& form) {
  auto* ok = form.findChild<QPushButton*>(QStringLiteral("OkAdvToolButton"));
  if (auto* heading = form.findChild<QLabel*>(QStringLiteral("UndelHTMLStaticText")))
    growToText(heading, form.width() - 8);
  for (const char* name : {"KeepFolderHTMLCheckBox", "alternateALCheckBox", "SmartRecoveryALCheckBox"})
    if (auto* box = form.findChild<QCheckBox*>(QString::fromLatin1(name)))
      growToText(box, ok ? ok->x() - 6 : form.width() - 8);
}

// Screen readers announce a control by its accessible name, which must hold the caption that
// sighted users see: the designed (English) name where it does, else the caption itself.
void keepCaptionsInAccessibleNames(QWidget* root) {
  static const char kDesignedName[] = "dravelo_designed_accessible_name";
  for (QWidget* w : root->findChildren<QWidget*>()) {
    QString caption;
    if (auto* button = qobject_cast<QAbstractButton*>(w))
      caption = button->text();
    else if (auto* label = qobject_cast<QLabel*>(w); label && label->cursor().shape() == Qt::PointingHandCursor)
      caption = QTextDocumentFragment::fromHtml(label->text()).toPlainText();  // the links
    caption.remove(QLatin1Char('&'));
    caption = caption.trimmed();
    if (caption.isEmpty()) continue;
    QVariant designed = w->property(kDesignedName);
    if (!designed.isValid()) {
      designed = w->accessibleName();
      w->setProperty(kDesignedName, designed);
    }
    const QString name = designed.toString();
    if (name.isEmpty()) continue;  // Qt names the control by its caption
    w->setAccessibleName(name.contains(caption, Qt::CaseInsensitive) ? name : caption);
  }
}

}  // namespace

void T_mainForm::fitActionButtons() {
  auto need = [](const QToolButton* button, std::initializer_list<int> captions) {
    QToolButton probe;
    probe.setFont(button->font());
    probe.setToolButtonStyle(button->toolButtonStyle());
    probe.setIcon(button->icon());
    probe.setIconSize(button->iconSize());
    int width = 0;
    for (int i : captions) {
      probe.setText(QString::fromStdString(lang_text(i)));
      width = std::max(width, probe.sizeHint().width());
    }
    return width;
  };
  const MainLayout design = designLayout();
  const int gap = design.undeleteButton.left - (design.analyzeButton.left + design.analyzeButton.width);
  layout_.analyzeButton.width = std::max(design.analyzeButton.width, need(AnalyzeAdvToolButton, {8, 10}));
  layout_.undeleteButton.left = layout_.analyzeButton.left + layout_.analyzeButton.width + gap;
  layout_.undeleteButton.width = std::max(design.undeleteButton.width, need(UndeleteAdvToolButton, {9, 10}));
  // Rules 4 and 5 of the resizing, from the designed left end of the progress bar: the files
  // label stays where they put it, and the bar gives up what the buttons took.
  const int shift = layout_.undeleteButton.left + layout_.undeleteButton.width -
                    (design.undeleteButton.left + design.undeleteButton.width);
  const int barWidth = layout_.rightPanel.width - 300;
  layout_.filesLabel.left = design.progressBar.left + barWidth + 5;
  layout_.progressBar.left = design.progressBar.left + shift;
  layout_.progressBar.width = barWidth - shift;
  AnalyzeAdvToolButton->setGeometry(layout_.analyzeButton.left, layout_.analyzeButton.top, layout_.analyzeButton.width,
                                    layout_.analyzeButton.height);
  UndeleteAdvToolButton->setGeometry(layout_.undeleteButton.left, layout_.undeleteButton.top,
                                     layout_.undeleteButton.width, layout_.undeleteButton.height);
}

void T_mainForm::fitCaptions() {
  // Set Filter keeps its right edge (the resizing rules place it by its width), and Clear stays
  // lined up under it.
  designedWidth(FilterAdvToolButton);
  layout_.filterButton.width = std::max(designedWidth(FilterAdvToolButton),
                                        FilterAdvToolButton->sizeHint().width());
  growToTextLeftward(ClearAdvToolButton, ToDateDBAdvSpinEdit->geometry().right() + 4);
  // Only what a caption moves is placed again: a full resize would also put back column widths
  // that the user has dragged.
  layout_.filterButton.left = layout_.filterPanel.width - layout_.filterButton.width - 5;
  FilterAdvToolButton->setGeometry(layout_.filterButton.left, layout_.filterButton.top, layout_.filterButton.width,
                                   layout_.filterButton.height);
  ClearAdvToolButton->move(layout_.filterButton.left + layout_.filterButton.width - ClearAdvToolButton->width(),
                           ClearAdvToolButton->y());
  fitActionButtons();
  AdvProgressBar->setGeometry(layout_.progressBar.left, layout_.progressBar.top, layout_.progressBar.width,
                              layout_.progressBar.height);
  FilesHTMLabel->move(layout_.filesLabel.left, layout_.filesLabel.top);

  const int gap = 4;
  growToText(NameHTMLCheckBox, SizeHTMLCheckBox->x() - gap);
  growToText(SizeHTMLCheckBox, DateHTMLCheckBox->x() - gap);
  growToText(DateHTMLCheckBox, FilterAdvToolButton->x() - gap);
  growToText(OverwrittenHTMLCheckBox, FromLabel->x() - gap);
  growToText(TemporaryHTMLCheckBox, FromLabel->x() - gap);
  {
    const int designed = designedWidth(DateALComboBox);
    const int room = FilterAdvToolButton->x() - gap - DateALComboBox->x();
    DateALComboBox->resize(std::clamp(comboWidthFor(DateALComboBox), designed, std::max(designed, room)),
                           DateALComboBox->height());
  }
  growToText(LanguageAdvToolButton, MenuAdvPanel->width() - 2);
  growToText(AboutStaticText, MenuAdvPanel->width() - 2);
  growToText(HelpStaticText, MenuAdvPanel->width() - 2);
  if (optionsForm_) fitOptionsCaptions(*optionsForm_);
  keepCaptionsInAccessibleNames(this);
  if (optionsForm_) keepCaptionsInAccessibleNames(optionsForm_);
}

void T_mainForm::createLanguageMenu() {
  for (const Language& language : kLanguages) {
    QAction* entry = LanguageAdvPopupMenu->addAction(languageFlag(language.code), qs(language.caption));
    entry->setObjectName(qs(language.entry_name));
    entry->setData(language.base);
    const int base = language.base;
    connect(entry, &QAction::triggered, this, [this, base, entry] { set_language(base, entry); });
    languageEntries_.push_back(entry);
  }
  const Language& english = kLanguages.front();
  LanguageAdvToolButton->setText(qs(english.caption));
  LanguageAdvToolButton->setIcon(languageFlag(english.code));
  LanguageAdvToolButton->setIconSize(QSize(16, 11));
  connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* w) { focusWindowChanged(w); });
}

QAction* T_mainForm::languageEntry(int base) const {
  for (QAction* entry : languageEntries_)
    if (entry->data().toInt() == base) return entry;
  return nullptr;
}

void T_mainForm::set_language(int base, QAction* entry) {
  lang_base = base;
  // Tree roots, title, buttons and links, list captions, filter panel (both selectors back to
  // their first entry), files label and popup entries; the operation's button keeps "Stop".
  applyLanguageTexts();
  if (optionsForm_) optionsForm_->setTexts();

  if (base == kEnglishBase)
    reg_delete_value(kSettingsKey, kLanguageValue);
  else
    reg_write_int(kSettingsKey, kLanguageValue, base);

  if (!entry) entry = languageEntry(base);
  if (entry) {
    LanguageAdvToolButton->setText(entry->text());
    LanguageAdvToolButton->setIcon(entry->icon());
    LanguageAdvToolButton->setAccessibleName(tr("Language: %1").arg(entry->text()));
  }
  fitCaptions();
}

void T_mainForm::FormActivate() {
  activatedOnce_ = true;
  if (reg_key_exists(kSettingsKey))
    set_language(reg_read_int(kSettingsKey, kLanguageValue, kEnglishBase), nullptr);
  else
    set_language(kEnglishBase, languageEntry(kEnglishBase));
}

void T_mainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // The first showing is the window's first activation, also where no window manager hands
  // out the focus (a bare X server).
  if (!activatedOnce_ && !event->spontaneous()) FormActivate();
}

void T_mainForm::focusWindowChanged(QWindow* window) {
  if (!window) return;  // the focus went to another program: not a change inside this one
  if (window != windowHandle()) {
    // Leaving for a dialog or message box (modal) or a menu is passing; another non-modal
    // window of the program is a real change of the focused window.
    const bool passing = window->modality() != Qt::NonModal || window->type() == Qt::Popup ||
                         window->type() == Qt::ToolTip;
    focusAway_ = passing ? FocusAway::passing : FocusAway::window;
    return;
  }
  const bool backFromWindow = focusAway_ == FocusAway::window;
  focusAway_ = FocusAway::none;
  if (backFromWindow) FormActivate();
}

}  // namespace dravelo
