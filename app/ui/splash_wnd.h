// The start-up splash: the program's picture without a border, on top and centred, showing
// the shared progress status while the program loads.
#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

class TSplashWnd : public QWidget {
  Q_OBJECT

 public:
  explicit TSplashWnd(QWidget* parent = nullptr);

  // Every 100 ms: Label1 shows the shared progress status text.
  void Timer1Timer();

  // False when created; true once the window has been closed for good.
  bool Destroyed = false;

  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;
  QTimer* Timer1 = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
};
