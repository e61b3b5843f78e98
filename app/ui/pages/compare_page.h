// The Differential-Restore page: the tree of every compared set's files, the file list with one
// column per set showing which sets hold a file and which one it is restored from, and where to
// restore to. The widgets mirror a TDiffRestorePage.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>
#include <array>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/engine/restore/diff_restore_choices.h"
#include "app/engine/restore/diff_restore_tree.h"

class TQtUserInterface;

// The item data role of a set cell: CompareCellImage's value (-1 none, 0 held, 1 chosen).
inline constexpr int kCompareCellRole = Qt::UserRole + 0x52;

// Draws a set cell: CP_Images' image centred on white, or the default for none.
class TCompareCellDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit TCompareCellDelegate(QObject* parent = nullptr);
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

 private:
  std::array<QPixmap, 2> images_;  // CP_Images
};

class TComparePageView : public QWidget {
  Q_OBJECT

 public:
  explicit TComparePageView(TQtUserInterface& ui, QWidget* parent = nullptr);

  TDiffRestorePage& Model() { return model_; }

  // The files become sets and columns, in the given order.
  void AddCompareSource(const std::vector<std::string>& fileNames);
  // CP_OD; false when cancelled.
  bool ChooseCompareSources();
  void ResetCompareExecute();

  void CPTVChange(QTreeWidgetItem* current);
  void CPTVClick(QTreeWidgetItem* item);
  void CPTVKeyPress(int key);
  void CLVClick(int row);
  void CLVKeyPress(int key);
  // A click on a set cell of a row.
  void ChooseFileVersion(int row, int version);
  void CLVColumnClick(int column);
  // Fills Compare_Popup2 with one entry per set and shows it; false (not shown) without sets.
  bool CPTVContextPopup(const QPoint& pos);
  void VersionMenuItemClick(QAction* entry);
  void RadioButton3Click();
  void RadioButton4Click();
  void SpeedButton3Click();

  TRestoreTargetChoice Target() const;
  TRestoreNode* NodeOf(const QTreeWidgetItem* item) const;
  QTreeWidgetItem* ItemOf(const TRestoreNode* node) const;

  QTreeWidget* CPTV = nullptr;
  QTreeWidget* CLV = nullptr;
  QMenu* Compare_Popup2 = nullptr;
  QRadioButton* RadioButton3 = nullptr;
  QRadioButton* RadioButton4 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QToolButton* SpeedButton3 = nullptr;
  QComboBox* ComboBox2 = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void RefreshColumns();
  void RefreshTree();
  void RefreshList();
  void RefreshMarks();
  // RefreshCompareList: the set cells of every row.
  void RefreshCompareList();

  TQtUserInterface& ui_;
  TDiffRestorePage model_;
  TCompareCellDelegate* cells_ = nullptr;
  std::unordered_map<const TRestoreNode*, QTreeWidgetItem*> items_;
};
