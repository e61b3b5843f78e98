// "Choose special folder": the shell folders of the current user and of all users that this
// platform has, as a list with check boxes. Made once at start-up; callers tick its rows before
// they show it and read the ticks with each row's path on OK (1).
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "app/engine/selection/selection_tree_model.h"

class TSpecialfolderfrm : public QDialog {
  Q_OBJECT

 public:
  explicit TSpecialfolderfrm(QWidget* parent = nullptr);

  int RowCount() const;
  // "Folder Path": the folder in the Windows form with a trailing backslash.
  std::string RowPath(int row) const;
  bool RowTicked(int row) const;
  void SetRowTicked(int row, bool ticked);
  // Every row's path and tick, in list order.
  std::vector<TSpecialFolderChoice> Choices() const;

  void OKBtnClick();
  void CancelBtnClick();

  QLabel* Label1 = nullptr;
  QTreeWidget* LV = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void reject() override { done(2); }
};
