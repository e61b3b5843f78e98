// "Choose Extension": every file extension the system knows, or one typed by the user or
// taken from a sample file, for the project's exclusion list.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "app/ui/run/progress_frm.h"

// One instance serves the whole program run: its list is filled at the first show and its
// choice stays as the user left it.
class TAddExtFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TAddExtFrm(QWidget* parent = nullptr);

  // The progress window shown while the list fills.
  void SetProgressForm(TProgressFrm* progress) { progress_ = progress; }
  // Fills the list on the first show only.
  void FormShow();
  void FillExtensionList();
  void RadioButtonClick();
  void BrowseBtnClick();
  void OKBtnClick();
  void CancelBtnClick();
  bool Filled() const { return filled_; }

  QRadioButton* RadioButton1 = nullptr;
  QTreeWidget* LV = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* BrowseBtn = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void reject() override { done(2); }

 private:
  bool filled_ = false;
  QPointer<TProgressFrm> progress_;
};
