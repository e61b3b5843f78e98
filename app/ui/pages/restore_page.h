// The Restore page: the backup sets of the selected project, the archive's folder tree and file
// list with their check marks, and where to restore to. The widgets mirror a TRestorePage; every
// change goes through the model and is drawn back from it.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>
#include <string_view>
#include <unordered_map>

#include "app/engine/restore/backup_sets.h"
#include "app/engine/restore/restore_selection.h"

class TProjects;
class TQtUserInterface;

class TRestorePageView : public QWidget {
  Q_OBJECT

 public:
  explicit TRestorePageView(TQtUserInterface& ui, QWidget* parent = nullptr);

  TRestorePage& Model() { return model_; }
  const TRestorePage& Model() const { return model_; }

  // Another project was selected: tree, list and selection cleared.
  void Reset();
  void FindBackupSets(const TProjects& projects, std::string_view projectName);
  // Loads the set the combo shows.
  void Combo_BackupSetsChange();
  // A backup run left this archive: listed once, chosen and loaded.
  void ShowBackupSet(std::string_view archivePath);
  // A backup run ended: the stand-in item for no sets goes.
  void RemoveNoBackupSetsItem();
  void SpeedButton1Click();
  void RadioButton1Click();
  void RadioButton2Click();
  void SpeedButton2Click();

  void RTTVChange(QTreeWidgetItem* current);
  void RTTVClick(QTreeWidgetItem* item);
  void RTTVKeyPress(int key);
  void RLVClick(int row);
  void RLVKeyPress(int key);

  // The target controls as the restore takes them.
  TRestoreTargetChoice Target() const;
  TRestoreNode* NodeOf(const QTreeWidgetItem* item) const;
  QTreeWidgetItem* ItemOf(const TRestoreNode* node) const;

  QComboBox* Combo_BackupSets = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QLineEdit* RestoreTo = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QLabel* RestoreArchiveInfo = nullptr;
  QTreeWidget* RTTV = nullptr;
  QTreeWidget* RLV = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Redraws everything from the model: combo, info, tree, list.
  void RefreshAll();
  void RefreshCombo();
  void RefreshTree();
  void RefreshList();
  // Only the state images of the nodes and rows.
  void RefreshMarks();

  TQtUserInterface& ui_;
  TRestorePage model_;
  std::unordered_map<const TRestoreNode*, QTreeWidgetItem*> items_;
};
