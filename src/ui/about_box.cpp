#include "ui/about_box.h"

#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>

#include "catalogue/version.h"

// The product picture lives in a static library, whose resource initializer the linker keeps
// only when something calls it.
static void initAppResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(app);
    return true;
  }();
  (void)done;
}

namespace dravelo {

QIcon productIcon() {
  initAppResources();
  QIcon icon;
  for (int size : {16, 32, 48, 128}) icon.addFile(QStringLiteral(":/app/dravelo-%1.png").arg(size));
  return icon;
}

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, int left, int top) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(left, top);
  return label;
}

// A link of the about box: underlined, hand cursor, its hint repeating the address.
void makeLink(QLabel* label, const QString& caption, const QString& address) {
  label->setTextFormat(Qt::RichText);
  label->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(address.toHtmlEscaped(), caption.toHtmlEscaped()));
  label->setToolTip(address);
  label->setCursor(Qt::PointingHandCursor);
  label->setAccessibleName(caption);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      opener_(desktopOpener()) {
  setObjectName(QStringLiteral("TAboutBox"));
  setFixedSize(448, 148);

  Image = makeLabel(this, "Image", 8, 8);
  Image->setFixedSize(128, 128);
  initAppResources();
  Image->setPixmap(QPixmap(QStringLiteral(":/app/dravelo-128.png")));
  Image->setAccessibleName(QStringLiteral("Dravelo"));

  // A close button for keyboard and pointer alike; Escape closes the box as well.
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("CloseButton"));
  close->setAccessibleName(QStringLiteral("Close"));
  close->setGeometry(448 - 8 - 80, 148 - 8 - 24, 80, 24);
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  ProductName = makeLabel(this, "ProductName", 157, 20);
  QFont bold = ProductName->font();
  bold.setBold(true);
  ProductName->setFont(bold);
  Version = makeLabel(this, "Version", 157, 40);
  Version->setText(QStringLiteral("Version"));
  Version->setAccessibleName(QStringLiteral("Version"));
  VersionLabel = makeLabel(this, "VersionLabel", 206, 40);
  CopyrightLabel = makeLabel(this, "CopyrightLabel", 157, 60);
  SiteLabel = makeLabel(this, "SiteLabel", 156, 79);
  Label3 = makeLabel(this, "Label3", 156, 99);
  FormCreate();

  connect(SiteLabel, &QLabel::linkActivated, this, [this] { SiteLabelClick(); });
  connect(Label3, &QLabel::linkActivated, this, [this] { Label3Click(); });
}

void TAboutBox::FormCreate() {
  const QString name = QString::fromUtf8(kProductName);
  const QString version = QString::fromUtf8(kVersionText);
  setWindowTitle(name + QStringLiteral(" - ") + version);
  ProductName->setText(name);
  ProductName->setAccessibleName(name);
  VersionLabel->setText(version);
  VersionLabel->setAccessibleName(version);
  CopyrightLabel->setText(QString::fromUtf8(kLegalCopyright));
  CopyrightLabel->setAccessibleName(CopyrightLabel->text());
  const QString site = QString::fromUtf8(kWebSite);
  makeLink(SiteLabel, site, site);
  const QString mail = QString::fromUtf8(kSupportMail);
  makeLink(Label3, mail, QStringLiteral("mailto:") + mail);
  // The version sits right of its caption whatever width "Version" takes in the font in use.
  Version->adjustSize();
  VersionLabel->move(std::max(206, Version->x() + Version->width() + 6), VersionLabel->y());
  for (QLabel* l : {ProductName, VersionLabel, CopyrightLabel, SiteLabel, Label3}) l->adjustSize();
}

void TAboutBox::SiteLabelClick() { opener_(QUrl(QString::fromUtf8(kWebSite))); }

void TAboutBox::Label3Click() { opener_(QUrl(QStringLiteral("mailto:") + QString::fromUtf8(kSupportMail))); }

}  // namespace dravelo
