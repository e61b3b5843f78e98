#include "app/ui/progress_frm.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QVBoxLayout>

#include "app/engine/progress.h"
#include "app/engine/user_interface.h"

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

TProgressFrm::TProgressFrm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
  setObjectName("ProgressFrm");
  setWindowTitle("ProgressFrm");

  status_text = new QLabel(this);
  status_text->setObjectName("status_text");
  status_text->setFixedWidth(329);
  // One line, cut at the label's edge.
  status_text->setWordWrap(false);
  status_text->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  status_text->setTextFormat(Qt::PlainText);
  SpeedButton1 = new QToolButton(this);
  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton1->setText("Cancel");
  PB = new QProgressBar(this);
  PB->setObjectName("PB");
  PB->setTextVisible(false);
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(200);
  connect(Timer1, &QTimer::timeout, this, &TProgressFrm::Timer1Timer);
  connect(SpeedButton1, &QToolButton::clicked, this, &TProgressFrm::SpeedButton1Click);

  auto* row = new QHBoxLayout;
  row->addWidget(status_text);
  row->addWidget(SpeedButton1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(PB);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  FormCreate();
}

void TProgressFrm::FormCreate() {
  PB->setMaximum(100);
  PB->setMinimum(0);
  PB->setValue(0);
}

int TProgressFrm::ShowModal() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    adjustSize();
    move(screen->availableGeometry().center() - rect().center());
  }
  return exec();
}

void TProgressFrm::showEvent(QShowEvent* event) {
  closing_ = false;
  Timer1->start();
  QDialog::showEvent(event);
}

void TProgressFrm::Timer1Timer() {
  const int position = ProgressPosition;
  if (PB->maximum() > position) PB->setValue(position < 0 ? 0 : position);
  const QString caption = Q(ProgressCaption.Get());
  if (windowTitle() != caption) setWindowTitle(caption);
  SpeedButton1->setVisible(ProgressShowCancel);
  const QString status = Q(ProgressStatus.Get());
  if (status_text->text() != status) status_text->setText(status);
  if (ProgressDone) {
    ProgressDone = false;
    Timer1->stop();
    closing_ = true;
    done(static_cast<int>(TModalResult::Cancel));
  }
}

void TProgressFrm::SpeedButton1Click() {
  ProgressCancelled = true;
}

void TProgressFrm::closeEvent(QCloseEvent* event) {
  // The window manager's close would leave the job running without its window.
  if (!closing_) event->ignore();
}
