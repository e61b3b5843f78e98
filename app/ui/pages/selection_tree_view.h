// The Backup page's folder tree `SHTV` and file list `BLV` with their check marks, mirroring
// a TSelectionTree. The main window embeds the whole splitter in its page and calls the
// operations here; each one leaves both views showing the model.
#pragma once

#include <QSplitter>
#include <QTreeWidget>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/engine/selection/selection_tree_model.h"
#include "app/engine/selection/selection_validate.h"

class QFileIconProvider;
class QMimeDatabase;

class TSelectionTreeView : public QSplitter {
  Q_OBJECT

 public:
  explicit TSelectionTreeView(QWidget* parent = nullptr);
  ~TSelectionTreeView() override;

  TSelectionTree& Model() { return model_; }
  TTripperList& Sets() { return model_.Sets(); }

  bool SelectionChanged() const { return model_.SelectionChanged; }
  void SetSelectionChanged(bool changed) { model_.SelectionChanged = changed; }
  // While set (during the main window's creation) nodes the tree adds are not processed.
  void SetStartup(bool startup) { model_.Startup = startup; }

  // The tree item of a node (none while not shown) and the node of an item.
  QTreeWidgetItem* ItemOf(const TSelectionNode* node) const;
  TSelectionNode* NodeOf(const QTreeWidgetItem* item) const;
  // The state image index of a tree node; 1 for none.
  int GetNodeCheckState(const QTreeWidgetItem* item) const;
  void SetNodeCheckState(QTreeWidgetItem* item, int state);
  // The selected folder's path ("Z:\home\ann"); empty when none.
  std::string SelectedPath() const;
  // Selects a folder by path, expanding the folders on the way; false when not found.
  bool SelectPath(const std::string& folderPath);

  // Shows the model again after it was changed directly.
  void Refresh();

  // The main window's operations on the marks.
  void ResetSelection();
  void LoadProjectSelection(const TProject& project);
  // Flushes the list, then collects the checked folders and files (for saving).
  void CollectSelection(TItems& folders, TItems& files, bool log);
  void AddFoundFiles(const std::vector<std::string>& paths);
  void AddSpecialFolders(const std::vector<TSpecialFolderChoice>& rows);
  // "Validate...": without an AskInvalidFiles hook the invalid-files dialog is shown.
  TValidateResult Validate(const TProject& project, TValidateHooks hooks);

  // Event handlers.
  void SHTVClick(QTreeWidgetItem* item);
  void SHTVKeyPress(int key);
  void SHTVChanging();
  void SHTVChange();
  void BLVClick(int row);
  void BLVKeyPress(int key);

  QTreeWidget* SHTV = nullptr;
  QTreeWidget* BLV = nullptr;

 signals:
  // A click or the space bar changed a mark.
  void CheckMarksChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SyncNode(QTreeWidgetItem* item, TSelectionNode* node);
  QTreeWidgetItem* AddItem(QTreeWidgetItem* parent, TSelectionNode* node);
  void SyncList();
  void FillRow(QTreeWidgetItem* item, const TFileRow& row);
  void CurrentItemChanged(QTreeWidgetItem* current);
  void ItemExpanded(QTreeWidgetItem* item, bool expanded);

  TSelectionTree model_;
  std::unordered_map<const TSelectionNode*, QTreeWidgetItem*> items_;
  std::unique_ptr<QFileIconProvider> icons_;
  std::unique_ptr<QMimeDatabase> mime_;
  bool syncing_ = false;
};
