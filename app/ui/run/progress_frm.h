// The modal progress window of a job: copies the shared progress state into its controls on
// a timer and closes when the job says it is done.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>

class TProgressFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TProgressFrm(QWidget* parent = nullptr);

  // Shows the window modally until the job is done; the modal result (Cancel, 2).
  int ShowModal();
  // For work on the GUI thread that pumps messages itself: shown without blocking, and closed
  // by Finish (or by the timer once the job says it is done).
  void ShowNonModal();
  void Finish();

  void FormCreate();
  void Timer1Timer();
  void SpeedButton1Click();

  QLabel* status_text = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QProgressBar* PB = nullptr;
  QTimer* Timer1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Escape does not close it: only the job's end does.
  void reject() override {}

 private:
  void Centre();
  // The status line grows with its text up to the screen's width (never below 329 pixels).
  void FitStatusText(const QString& text);

  bool closing_ = false;
  QString statusShown_;  // the whole text behind the status line
};
