// The main window: the drive, type and folder trees on the left, the Analyze and Undelete
// buttons with the progress bar and files counter on top, the result list, the filter panel and
// the language, About and Help links below. The window is the engines' host while it lives.
#pragma once

#include <QRect>
#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/engine_host.h"
#include "ui/main_layout.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSpinBox;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QWindow;

namespace dravelo {

struct DriveInfo;
class DesktopTypeNames;
class ResultListModel;
class T_recoverForm;

// Tree node data roles: what a node of the folder or types tree stands for.
constexpr int kNodeLevelRole = Qt::UserRole + 1;  // 0 root, 1 drive, 2 and deeper folder
constexpr int kNodeDriveRole = Qt::UserRole + 2;  // drive letter (lower case) of a drive or folder node
constexpr int kNodeInodeRole = Qt::UserRole + 3;  // a folder node's inode
constexpr int kNodeAppRole = Qt::UserRole + 4;    // a types-tree group node's group number

class T_mainForm : public QMainWindow, public EngineHost {
  Q_OBJECT

 public:
  // images: the image files named on the command line; they become the first volumes (C: on).
  // includeDevices: also list the machine's block devices that hold a file system.
  explicit T_mainForm(std::vector<std::string> images = {}, bool includeDevices = true,
                      QWidget* parent = nullptr);
  ~T_mainForm() override;

  // EngineHost.
  void out_text(std::string_view text, MsgType type, bool show_popup) override;
  void _updateProgress(int position) override;
  void _updateProgressU(int position) override;
  void _updateFiles(int count) override;
  void pump() override;
  // The progress bar's caption says the damage met so far while a job runs (main_form_damage.cpp);
  // it stays until the next job starts.
  void damage_met(std::string_view path, std::int64_t sectors, double seconds) override;

  // The four working states.
  void disable_all();
  void enable_all();
  void disable_all_u();
  void enable_all_u();

  // Drive tree. The window's creation lists the volumes afresh; a rebuild (the Drives button)
  // keeps each listed volume's letter and tick (rebuild_drive_list).
  void draw_drives(bool rebuild = true);
  // Adds an image file as a new volume with the next free letter; when it cannot be used, says
  // why in a message box and returns false.
  bool openImage(const QString& path);
  // Shows, in one message box, why named images were left out of the drive list since the last
  // call (nothing when none was). The program calls it once the window is on screen.
  void reportLeftOutVolumes();
  const std::vector<std::string>& leftOutVolumes() const { return leftOutVolumes_; }

  // Rebuilds the rows on view for a folder (parent != 0, on drive drv) or a type group (app).
  void set_folder_filter(std::int32_t parent, char drv, std::uint16_t app);

  // Relabels the window in the current language (lang_base): tree roots, buttons and links (the
  // button of a running operation keeps reading "Stop"), list captions, filter panel, files
  // label and popup entries. The language switch calls it after setting lang_base.
  void applyLanguageTexts();

  // Applies a language: lang_base, every caption of both windows, the stored "language" value
  // (deleted for English) and the language button (entry's caption and flag; the base's own
  // entry when entry is null; left alone for a base that has no entry).
  void set_language(int base, QAction* entry);
  // Runs whenever the window becomes the program's focused window: at start, and when the
  // focus comes back from another non-modal window of the program. Applies the stored language.
  void FormActivate();
  // The options dialog that set_language relabels with the window.
  void setOptionsForm(T_recoverForm* form) { optionsForm_ = form; }
  // The language menu's entry for a base (English1 ... Polish1), nullptr for none.
  QAction* languageEntry(int base) const;

  // Diagnostic dumps behind the hidden menu entries (shown when DRAVELO_ADMIN=1): the first
  // sector of every ticked drive, and the MFT record of every ticked NTFS file, each saved to a
  // file that the save dialog asks for.
  void Read1stSectorClick();
  void ReadMFTClick();
  // The save dialog of the dumps: given the window, a file name or the empty text (cancelled).
  using SavePicker = std::function<QString(QWidget* parent)>;
  void setSavePicker(SavePicker picker);

  // Puts the window in the middle of its screen.
  void centerOnScreen();

  // The window's own handlers, public so that tests can drive them as the controls do.
  void AnalyzeAdvToolButtonClick();
  // The deep scan of the ticked drives: an analysis that also searches the free space (for FAT
  // folders that no folder leads to any more); it reads most of each drive. Reads "Stop" while it
  // runs, as Analyze does for its quick scan; the other of the two is disabled meanwhile.
  void DeepScanAdvToolButtonClick();
  void UndeleteAdvToolButtonClick();
  void DrivesAdvToolButtonClick();
  void TypesAdvToolButtonClick();
  void FoldersAdvToolButtonClick();
  void DriveHTMLTreeviewClick();
  void MenuItem3Click();  // Select All Drives
  void MenuItem4Click();  // Unselect All Drives
  void MenuItem5Click();  // Reverse Selection
  void OpenImage1Click();
  // Searches the disk of the drive under the cursor (or an image file chosen) for lost volumes
  // and adds each as a drive.
  void SearchLostVolumes1Click();
  // "Save results…" and "Open results…" of the drive popup: the found files, the folders and
  // the volumes they were found on, kept in a file and shown again from it without a scan.
  void SaveResults1Click();
  void OpenResults1Click();
  // Shows the results in the file at path as an analysis would; a file that cannot be loaded is
  // said so in a message box, and the window keeps what it showed.
  bool openResults(const QString& path);
  // The file dialogs of the two entries: given the window and whether a file is to be written,
  // a path or the empty text (cancelled).
  using ResultsPicker = std::function<QString(QWidget* parent, bool save)>;
  void setResultsPicker(ResultsPicker picker);
  void NameHTMLCheckBoxClick();
  void SizeHTMLCheckBoxClick();
  void DateHTMLCheckBoxClick();
  void FilterAdvToolButtonClick();
  void ClearAdvToolButtonClick();
  void AdvListViewColumnClick(int column);
  // A left click on row's cell in column at x (list coordinates); a tick click when it falls in
  // the check-box zone of the Filename column.
  bool AdvListViewLeftClickCell(int row, int column, int x, bool shift);
  void FolderHTMLTreeViewChange(QTreeWidgetItem* node);
  void TypesTreeViewChange(QTreeWidgetItem* node);
  void SelectAll1Click();
  void UnselectAll1Click();
  void ReverseSelection1Click();
  void FormResize();
  // Rebuilds the types tree from the last type pass.
  void draw_types();

  // What the Undelete button does in its idle state (the undelete workflow installs it).
  void setUndeleteHandler(std::function<void()> handler) { undeleteHandler_ = std::move(handler); }

  ResultListModel* listModel() const { return model_; }

  const MainLayout& layoutState() const { return layout_; }
  // The tree on view in the left pane.
  QWidget* shownTree() const;
  bool analysisRunning() const { return analysisRunning_; }
  // Number of message boxes shown so far (tests check that dropped messages show nothing).
  int messagesShown() const { return messagesShown_; }

 signals:
  void aboutRequested();
  void helpRequested();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // The header hook: presses in the result list's header band become sort requests.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void createControls();
  void createFilterPanel();
  void createMenuPanel();
  void createPopupMenus();
  void createLanguageMenu();
  void createDiagnostics();
  void focusWindowChanged(QWindow* window);
  // After a language has been applied: the menu pane's links fit their captions, and every
  // control's accessible name holds its visible caption.
  void fitCaptions();
  void applyGeometry();
  void showTree(QWidget* tree);
  void setDriveTick(int index, bool ticked);
  QTreeWidgetItem* addDriveNode(const DriveInfo& drive);
  void updateDriveRootText();
  void setAnalyzeGlyph(int image);
  // The list's selection colour and the model's text colours that stay readable on it.
  void useReadableSelection();
  void setProgress(int position);
  // Back to a bar without a caption, at the start of a job.
  void clearDamageCaption();
  void showPendingFiles();
  void folderTreeAddDrive(std::int32_t drive);
  void folderTreeAddFolders(std::int32_t drive);
  void sortFolderTree();
  void showListPopup(const QPoint& pos);
  // The files label: shown / total files and the ticked files' count and size.
  void updateFilesLabel();
  // Keyboard (main_form_keys.cpp): the Tab order, F1, Enter in the name box, and the keys that
  // tick drives, tick the selected rows and follow the About and Help links.
  void setupKeyboard();
  bool keyPress(QObject* watched, QKeyEvent* event);
  void tickSelectedRows();
  // Measures the texts in the font in use and sizes the controls that show them, the list's
  // columns and the window's minimum size (main_fit.cpp); applyFit puts the measured widths in
  // place after every resize.
  void fitTexts();
  void applyFit();

  // Controls, named after their role and kind.
  QWidget* client_ = nullptr;
  QToolButton* AnalyzeAdvToolButton = nullptr;
  QToolButton* DeepScanAdvToolButton = nullptr;
  QToolButton* UndeleteAdvToolButton = nullptr;
  QProgressBar* AdvProgressBar = nullptr;
  QLabel* FilesHTMLabel = nullptr;
  QFrame* LeftAdvPanel = nullptr;
  QTreeWidget* DriveHTMLTreeview = nullptr;
  QTreeWidget* TypesTreeView = nullptr;
  QTreeWidget* FolderHTMLTreeView = nullptr;
  QToolButton* DrivesAdvToolButton = nullptr;
  QToolButton* TypesAdvToolButton = nullptr;
  QToolButton* FoldersAdvToolButton = nullptr;
  QFrame* RightAdvPanel = nullptr;
  QTreeView* AdvListView = nullptr;
  QFrame* FilterAdvPanel = nullptr;
  QCheckBox* NameHTMLCheckBox = nullptr;
  QLineEdit* NameAdvEdit = nullptr;
  QCheckBox* SizeHTMLCheckBox = nullptr;
  QComboBox* SizeALComboBox = nullptr;
  QSpinBox* SizeDBAdvSpinEdit = nullptr;
  QCheckBox* DateHTMLCheckBox = nullptr;
  QComboBox* DateALComboBox = nullptr;
  QLabel* FromLabel = nullptr;
  QDateEdit* FromDateDBAdvSpinEdit = nullptr;
  QLabel* ToLabel = nullptr;
  QDateEdit* ToDateDBAdvSpinEdit = nullptr;
  QCheckBox* OverwrittenHTMLCheckBox = nullptr;
  QCheckBox* TemporaryHTMLCheckBox = nullptr;
  QToolButton* FilterAdvToolButton = nullptr;
  QToolButton* ClearAdvToolButton = nullptr;
  QFrame* MenuAdvPanel = nullptr;
  QToolButton* LanguageAdvToolButton = nullptr;
  QLabel* AboutStaticText = nullptr;
  QLabel* HelpStaticText = nullptr;
  QMenu* LanguageAdvPopupMenu = nullptr;
  QMenu* DrivesAdvPopupMenu = nullptr;
  QMenu* AdvPopupMenu = nullptr;
  QAction* MenuItem3 = nullptr;
  QAction* MenuItem4 = nullptr;
  QAction* MenuItem5 = nullptr;
  QAction* OpenImage1 = nullptr;
  QAction* SearchLostVolumes1 = nullptr;
  QAction* SaveResults1 = nullptr;
  QAction* OpenResults1 = nullptr;
  QAction* AdminSeparator2 = nullptr;
  QAction* Read1stSector = nullptr;
  QAction* UndeleteSelected1 = nullptr;
  QAction* SelectAll1 = nullptr;
  QAction* UnselectAll1 = nullptr;
  QAction* ReverseSelection1 = nullptr;
  QAction* AdminSeparator = nullptr;
  QAction* ReadMFT = nullptr;

  // Widths that the texts need, as fitTexts measured them.
  struct TextFit {
    int analyzeWidth = 0;
    int deepScanWidth = 0;
    int undeleteWidth = 0;
    int paneButtonWidth = 0;
    int clearWidth = 0;
    int languageWidth = 0;
    int filesLabelWidth = 0;
    std::array<int, kListColumns> columnFloor{};
  };
  static constexpr int kDefaultFilterButtonWidth = 95;
  static constexpr int kDefaultClearButtonWidth = 75;
  static constexpr int kDefaultLanguageButtonWidth = 88;
  TextFit fit_;
  std::vector<std::pair<QWidget*, QRect>> filterDefaults_;  // the filter panel's controls at their default places

  ResultListModel* model_ = nullptr;
  std::unique_ptr<DesktopTypeNames> typeNames_;

  MainLayout layout_;
  std::vector<std::string> images_;
  std::vector<std::string> leftOutVolumes_;
  bool includeDevices_ = true;
  bool analysisRunning_ = false;
  bool undeleteRunning_ = false;
  bool closePending_ = false;
  // Between disable_all and enable_all, and between disable_all_u and enable_all_u: the
  // operation's button reads "Stop" in whatever language is applied meanwhile.
  bool analysisState_ = false;
  bool undeleteState_ = false;
  // The running analysis is a deep scan (its button, not Analyze, reads "Stop").
  bool deepRun_ = false;
  // The analysis behind both buttons; deepRun_ says which scan.
  void runAnalysis();
  int messagesShown_ = 0;
  // Times of the last message pump and files-count repaint (throttle clock, ms); the first call
  // of each always acts.
  std::int64_t lastPumpMs_ = std::numeric_limits<std::int64_t>::min() / 2;
  std::int64_t lastFilesRepaintMs_ = std::numeric_limits<std::int64_t>::min() / 2;
  // A files count that the label has not shown yet, or -1.
  int pendingFiles_ = -1;
  std::function<void()> undeleteHandler_;
  EngineHost* previousHost_ = nullptr;

  T_recoverForm* optionsForm_ = nullptr;
  std::vector<QAction*> languageEntries_;
  // Where the focus went when it left this window inside the program: a return from another
  // non-modal window applies the language again, a return from a dialog or menu does not.
  enum class FocusAway { none, passing, window };
  FocusAway focusAway_ = FocusAway::none;
  bool activatedOnce_ = false;
  SavePicker savePicker_;
  ResultsPicker resultsPicker_;
  void createResultsEntries();
};

}  // namespace dravelo
