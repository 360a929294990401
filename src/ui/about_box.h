// The about box: the product picture, name, version, legal notice, and links to the project's
// web site and to a new mail to its support address. Its texts come from the version header and
// stay in English in every language.
#pragma once

#include <QDialog>
#include <QIcon>

#include "ui/help.h"

class QLabel;

namespace dravelo {

// The product picture at the sizes the desktop asks for (window and task bar icon).
QIcon productIcon();

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  // How the links open their addresses (the desktop's browser and mail program by default).
  void setOpener(UrlOpener opener) { opener_ = std::move(opener); }

  void SiteLabelClick();
  void Label3Click();

 private:
  void FormCreate();

  QLabel* Image = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* Version = nullptr;
  QLabel* VersionLabel = nullptr;
  QLabel* CopyrightLabel = nullptr;
  QLabel* SiteLabel = nullptr;
  QLabel* Label3 = nullptr;
  UrlOpener opener_;
};

}  // namespace dravelo
