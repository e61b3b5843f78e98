// The backup and restore wizard: a few pages that fill a new project (name, destination,
// sources, optionally every other setting through the project dialog) or choose what to
// restore from an archive, where to and how. It runs nothing itself: it ends with 4 (back up
// Project), 7 (restore with the restore choices) or 2 (cancelled). Made anew for each use.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/engine/project/items.h"
#include "app/engine/project/project.h"
#include "app/engine/restore/restore_tree.h"
#include "app/ui/project/project_config_frm.h"

class QFileIconProvider;
class TGlobalSetting;
class TSpecialfolderfrm;

class TWizardFrm : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kPageCount = 7;
  static constexpr int kBackupResult = 4;
  static constexpr int kRestoreResult = 7;

  explicit TWizardFrm(TGlobalSetting& settings, QWidget* parent = nullptr);
  ~TWizardFrm() override;

  // What the wizard is lent by its owner; each may stay unset.
  // The writers found so far, read whenever page 1 is shown.
  std::function<std::vector<TWriterEntry>()> Writers;
  // "Advanced setting": the project dialog on a project, true on OK. Unset: a project dialog
  // of the wizard's own over Writers.
  std::function<bool(TProject&)> ProjectDialog;
  // The program's special-folder dialog; unset: one of the wizard's own.
  TSpecialfolderfrm* SpecialFolders = nullptr;

  int PageIndex() const { return pageIndex_; }
  // Shows the page and fills it.
  void ShowPage(int index);

  void BackupWizardBtnClick();
  void RestoreWizardBtnClick();
  void NextBtnClick();
  void BackBtnClick();
  void CancelBtnClick();
  // The checks of "Next >" on the page shown; false (with the message shown) keeps it.
  bool CheckPage();

  void FillPage1();
  void FillPage3();
  void FillPage6();
  void ApplyDestinationChoice();
  void Edit1BrowseClick();
  void FtpFolderBtnClick();
  void ProxyBtnClick();

  void AddFilesClick();
  void AddFoldersClick();
  void SearchFilesClick();
  void AddSpecialFoldersClick();
  void RemoveSelectedClick();
  // A sources row; `folder` marks it as a folder.
  void AddSourceRow(const std::string& path, bool folder);
  // The paths of the sources rows and whether each is a folder.
  std::vector<std::pair<std::string, bool>> SourceRows() const;

  void AdvancedBtnClick();

  void ArchiveBrowseClick();
  // Reads the project stored in the archive and shows its files in place of the tree shown;
  // false ("Invalid backup sets file.") leaves everything as it was.
  bool LoadArchive(const std::string& path);
  void RTTVChange(QTreeWidgetItem* current);
  void RTTVClick(QTreeWidgetItem* item);
  void RLVClick(int row);
  TRestoreTreeModel& ArchiveTree() { return tree_; }
  QTreeWidgetItem* ItemOf(const TRestoreNode* node) const;
  TRestoreNode* NodeOf(const QTreeWidgetItem* item) const;
  // The archive whose files the tree shows; empty before one was read.
  const std::string& ShownArchive() const { return shownArchive_; }

  void ApplyRestoreTargetChoice();
  void TargetBrowseClick();

  // The wizard's project; its project file stays empty (not saved yet).
  TProject Project;
  // The restore choices.
  std::string ArchivePath;
  std::string TargetFolder;
  std::int32_t RestoreToOtherFolder = 0;  // 0 the original folders, 1 another folder
  TItems FileItems{TItemCompare::Exact};
  TItems FolderItems{TItemCompare::Exact};
  std::int32_t OverwriteMode = 0;  // 0 "Confirm", 1 "Always overwrite", 2 "Always skip"

  QStackedWidget* Pages = nullptr;
  QPushButton* BackBtn = nullptr;
  QPushButton* NextBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

  // Page 0.
  QLabel* WelcomeLabel = nullptr;
  QPushButton* BackupWizardBtn = nullptr;
  QPushButton* RestoreWizardBtn = nullptr;
  // Page 1.
  QLineEdit* NameEdit = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QRadioButton* RadioButton3 = nullptr;
  QGroupBox* GB1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* Edit1Browse = nullptr;
  QGroupBox* GB2 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QLineEdit* Edit4 = nullptr;
  QLineEdit* Edit5 = nullptr;
  QLineEdit* Edit6 = nullptr;
  QPushButton* FtpFolderBtn = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QPushButton* ProxyBtn = nullptr;
  QGroupBox* GB3 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QComboBox* ComboBox2 = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  // Page 2.
  QTreeWidget* SourcesLV = nullptr;
  QPushButton* AddBtn = nullptr;
  QMenu* AddMenu = nullptr;
  QPushButton* RemoveBtn = nullptr;
  // Page 3.
  QLabel* SummaryName = nullptr;
  QLabel* SummaryDestination = nullptr;
  QLabel* SummaryContent = nullptr;
  QLabel* SummaryMode = nullptr;
  QLabel* SummaryCompression = nullptr;
  QPushButton* AdvancedBtn = nullptr;
  // Page 4.
  QLineEdit* ArchiveEdit = nullptr;
  QPushButton* ArchiveBrowse = nullptr;
  QTreeWidget* RTTV = nullptr;
  QTreeWidget* RLV = nullptr;
  // Page 5.
  QRadioButton* RadioButton4 = nullptr;
  QRadioButton* RadioButton5 = nullptr;
  QLineEdit* TargetEdit = nullptr;
  QPushButton* TargetBrowse = nullptr;
  QRadioButton* RadioButton6 = nullptr;
  QRadioButton* RadioButton7 = nullptr;
  QRadioButton* RadioButton8 = nullptr;
  // Page 6.
  QLabel* SummaryArchive = nullptr;
  QLabel* SummaryTarget = nullptr;
  QLabel* SummaryRestoreContent = nullptr;
  QLabel* SummaryOverwrite = nullptr;

 protected:
  void reject() override { done(2); }
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* CreatePage0();
  QWidget* CreatePage1();
  QWidget* CreatePage2();
  QWidget* CreatePage3();
  QWidget* CreatePage4();
  QWidget* CreatePage5();
  QWidget* CreatePage6();
  void UpdateButtons();
  bool CheckPage1();
  bool CheckPage2();
  bool CheckPage4();
  bool CheckPage5();
  // The device list from Writers, the project's writer chosen when it is among them.
  void FillDevices();
  std::vector<TWriterEntry> CurrentWriters() const;
  bool RunProjectDialog(TProject& project);
  TSpecialfolderfrm& SpecialFolderForm();
  void RefreshTree();
  void RefreshList();
  void RefreshMarks();

  TGlobalSetting& settings_;
  int pageIndex_ = 0;
  std::vector<TWriterEntry> writers_;  // the device list's entries
  std::unique_ptr<QFileIconProvider> icons_;
  std::unique_ptr<TSpecialfolderfrm> ownSpecialFolders_;
  TRestoreTreeModel tree_{TRestoreTreeKind::Restore};
  std::unordered_map<const TRestoreNode*, QTreeWidgetItem*> items_;
  std::string shownArchive_;
};

// "C:\Backup.qvp" of this platform: Backup.qvp in the user's home folder (Windows form).
std::string DefaultWizardArchiveFile();
