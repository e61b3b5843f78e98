// The folder chooser: a component without a window of its own that shows a folder browser
// owned by its owner's window. Paths are in the program's form ("Z:\home\ann").
#pragma once

#include <QDialog>
#include <QObject>
#include <set>
#include <string>

class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

enum TBrowseRoot {
  bl_STANDART,
  bl_CUSTOM,
  bl_DESKTOP,
  bl_PROGRAMS,
  bl_CONTROLS,
  bl_PRINTERS,
  bl_PERSONAL,
  bl_FAVORITES,
  bl_STARTUP,
  bl_RECENT,
  bl_SENDTO,
  bl_BITBUCKET,
  bl_STARTMENU,
  bl_DESKTOPDIRECTORY,
  bl_DRIVES,
  bl_NETWORK,
  bl_NETHOOD,
  bl_FONTS,
  bl_TEMPLATES,
  bl_COMMON_STARTMENU,
  bl_COMMON_PROGRAMS,
  bl_COMMON_STARTUP,
  bl_COMMON_DESKTOPDIRECTORY,
  bl_APPDATA,
  bl_PRINTHOOD,
};

enum TBrowseFlag {
  bf_BrowseForComputer,
  bf_BrowseForPrinter,
  bf_DontGoBelowDomain,
  bf_statustext,
  bf_ReturnFSanceStors,
  bf_ReturnOnlyFSDIRS,
  bf_EditBox,
};

// The shell's special-folder number a root stands for; -1 for bl_STANDART and bl_CUSTOM.
int CsidlOfRoot(TBrowseRoot root);
// The folder (POSIX) the browser starts from for a root: the file system's root for the roots
// that are no folder here.
std::string RootFolderOf(TBrowseRoot root);

class TBrowseForFolder : public QObject {
  Q_OBJECT

 public:
  explicit TBrowseForFolder(QWidget* owner = nullptr);

  // Shows the browser modally. True when a folder was chosen: FolderName is its path and
  // DisplayName its name; false leaves FolderName as it was.
  bool Execute();

  std::string Caption = "Select Folder";
  std::string StatusText = "Plase select folder";
  std::string FolderName = "C:\\";
  std::string DisplayName;
  TBrowseRoot Root = bl_STANDART;
  std::set<TBrowseFlag> Flags;

 private:
  QWidget* owner_;
};

// The browser window that Execute shows.
class TBrowseForFolderDlg : public QDialog {
  Q_OBJECT

 public:
  TBrowseForFolderDlg(const TBrowseForFolder& options, QWidget* parent = nullptr);

  // POSIX path of the selected folder; empty when none.
  QString SelectedPath() const;
  bool SelectFolder(const QString& posixPath);
  // The folder chosen by OK, and its display name.
  QString ChosenPath() const { return chosen_; }
  QString ChosenDisplayName() const;
  // OK: with an edit box its text names the folder (a name below the selected folder or a
  // full path); a name that is no folder keeps the browser open.
  void OKBtnClick();

  QLabel* StatusLabel = nullptr;
  QTreeView* Tree = nullptr;
  QLineEdit* EditBox = nullptr;  // only with bf_EditBox
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 private:
  void SelectionMoved();

  QFileSystemModel* model_ = nullptr;
  QString root_;
  QString chosen_;
};
