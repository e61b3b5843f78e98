// The auto-close countdown form: closes itself on the 31st tick of its one-second timer.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

class TAutocloseFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TAutocloseFrm(QWidget* parent = nullptr);

  void FormCreate();
  void Timer1Timer();
  int Countdown() const { return countdown_; }

  QLabel* Label1 = nullptr;
  QFrame* Bevel1 = nullptr;
  QPushButton* BitBtn1 = nullptr;  // "OK"
  QPushButton* BitBtn2 = nullptr;  // "Cacnel"
  QTimer* Timer1 = nullptr;

 private:
  int countdown_ = 0;
};
