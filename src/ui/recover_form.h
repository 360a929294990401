// The undelete options dialog: the target folder, "Keep folder structure" and the two further
// options. It reads the settings each time it is shown and stores every change at once, so a
// change followed by Cancel is kept all the same.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "workflow/undelete.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace dravelo {

class T_mainForm;

class T_recoverForm : public QDialog {
  Q_OBJECT

 public:
  explicit T_recoverForm(QWidget* parent = nullptr);

  // What the undelete reads after OK: the folder field's text exactly as shown, and the boxes.
  QString targetFolder() const;
  bool keepFolderStructure() const;
  bool alternateStreams() const;
  bool smartRecovery() const;

  // Shows the dialog modally; after OK fills the request's target folder, keep state and options
  // and returns true; false after Cancel or the close box.
  bool askOptions(UndeleteRequest* request);

  // Captions in the current language (texts 33 to 39).
  void setTexts();

  // The folder picker behind the "..." button: given the current folder, an existing folder or
  // the empty text. QFileDialog's by default.
  using FolderPicker = std::function<QString(QWidget* parent, const QString& current)>;
  void setFolderPicker(FolderPicker picker);

  // The current user's documents folder.
  static QString documentsFolder();

 public slots:
  // Runs each time the dialog is shown: the stored folder and boxes.
  void FormActivate();

 protected:
  void showEvent(QShowEvent* event) override;

 private slots:
  void SaveAdvDirectoryEditChange(const QString& text);
  void KeepFolderHTMLCheckBoxClick(bool checked);
  void alternateALCheckBoxClick(bool checked);
  void SmartRecoveryALCheckBoxClick(bool checked);
  void OkAdvToolButtonClick();
  void CancelAdvToolButtonClick();
  void browseFolder();

 private:
  // Sizes the texts' controls to their texts in the font in use (after every change of texts).
  void fitTexts();

  QLabel* UndelHTMLStaticText;
  QLineEdit* SaveAdvDirectoryEdit;
  QToolButton* SaveAdvDirectoryEditButton;
  QCheckBox* KeepFolderHTMLCheckBox;
  QCheckBox* alternateALCheckBox;
  QCheckBox* SmartRecoveryALCheckBox;
  QPushButton* OkAdvToolButton;
  QPushButton* CancelAdvToolButton;
  FolderPicker picker_;
};

// Makes the window's Undelete button (and "Undelete Selected") run the undelete with this dialog:
// the window's undelete state, the options, the copies, the closing message, the idle state.
void installUndelete(T_mainForm& window, T_recoverForm& form);

}  // namespace dravelo
