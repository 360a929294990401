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
#include "ui/language_flags.h"
#include "ui/main_form.h"
#include "ui/recover_form.h"
#include "ui/settings.h"

namespace dravelo {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

const QString kLanguageValue = QStringLiteral("language");

// Screen readers announce a control by its accessible name, which must hold the caption that
// sighted users see: the original (English) name where it does, else the caption itself.
void keepCaptionsInAccessibleNames(QWidget* root) {
  static const char kOriginalName[] = "dravelo_original_accessible_name";
  for (QWidget* w : root->findChildren<QWidget*>()) {
    QString caption;
    if (auto* button = qobject_cast<QAbstractButton*>(w))
      caption = button->text();
    else if (auto* label = qobject_cast<QLabel*>(w); label && label->cursor().shape() == Qt::PointingHandCursor)
      caption = QTextDocumentFragment::fromHtml(label->text()).toPlainText();  // the links
    caption.remove(QLatin1Char('&'));
    caption = caption.trimmed();
    if (caption.isEmpty()) continue;
    QVariant original = w->property(kOriginalName);
    if (!original.isValid()) {
      original = w->accessibleName();
      w->setProperty(kOriginalName, original);
    }
    const QString name = original.toString();
    if (name.isEmpty()) continue;  // Qt names the control by its caption
    w->setAccessibleName(name.contains(caption, Qt::CaseInsensitive) ? name : caption);
  }
}

}  // namespace

void T_mainForm::fitCaptions() {
  // fitTexts (run by applyLanguageTexts and the options dialog's setTexts) sizes the buttons, the
  // filter panel, the list's columns and the dialog; the links of the menu pane grow here, up to
  // the pane's edge.
  // The language button's caption changes after fitTexts has run.
  LanguageAdvToolButton->resize(std::clamp(LanguageAdvToolButton->sizeHint().width(), LanguageAdvToolButton->width(),
                                           std::max(LanguageAdvToolButton->width(), MenuAdvPanel->width() - 2)),
                                LanguageAdvToolButton->height());
  for (QLabel* link : {AboutStaticText, HelpStaticText}) {
    const QVariant initial = link->property("dravelo_default_width");
    const int width = initial.isValid() ? initial.toInt() : link->width();
    link->setProperty("dravelo_default_width", width);
    const int room = std::max(width, MenuAdvPanel->width() - 2 - link->x());
    link->resize(std::clamp(link->sizeHint().width(), width, room), link->height());
  }
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
  // The selectors' entries change with the language: their size hints must follow them, so that
  // fitTexts makes them wide enough (by default a combo box keeps its first showing's hint).
  for (QComboBox* c : {DateALComboBox, SizeALComboBox}) c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
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
