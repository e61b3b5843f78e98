// "Please confirm...": the files Validate could not open, and whether to un-select them.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <string>
#include <vector>

class TInvalidFileFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TInvalidFileFrm(QWidget* parent = nullptr);

  // One row per file.
  void SetFiles(const std::vector<std::string>& files);
  void UnselectBtnClick();
  void DoNothingBtnClick();

  QLabel* Label1 = nullptr;
  QTreeWidget* LV = nullptr;
  QPushButton* UnselectBtn = nullptr;
  QPushButton* DoNothingBtn = nullptr;

 protected:
  void reject() override { done(2); }
};
