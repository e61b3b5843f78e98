#include "app/ui/run/progress_frm.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "app/engine/progress.h"
#include "app/engine/user_interface.h"

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

constexpr int kStatusWidth = 329;

}  // namespace

TProgressFrm::TProgressFrm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
  setObjectName("ProgressFrm");
  setWindowTitle("ProgressFrm");

  status_text = new QLabel(this);
  status_text->setObjectName("status_text");
  status_text->setFixedWidth(kStatusWidth);
  // One line; wider texts widen the window (see FitStatusText).
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

void TProgressFrm::Centre() {
  adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

int TProgressFrm::ShowModal() {
  Centre();
  return exec();
}

void TProgressFrm::ShowNonModal() {
  Centre();
  show();
  raise();
}

void TProgressFrm::Finish() {
  Timer1->stop();
  closing_ = true;
  done(static_cast<int>(TModalResult::Cancel));
}

void TProgressFrm::showEvent(QShowEvent* event) {
  closing_ = false;
  status_text->setFixedWidth(kStatusWidth);
  status_text->clear();
  statusShown_.clear();
  Timer1->start();
  QDialog::showEvent(event);
}

void TProgressFrm::FitStatusText(const QString& text) {
  int limit = kStatusWidth;
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    limit = std::max(kStatusWidth,
                     screen->availableGeometry().width() - 80 - SpeedButton1->sizeHint().width());
  const QFontMetrics metrics(status_text->font());
  const int needed = metrics.horizontalAdvance(text) + 2;
  // Only ever wider while shown, so that the window does not jump with every path.
  if (needed > status_text->width() && status_text->width() < limit) {
    status_text->setFixedWidth(std::min(needed, limit));
    if (isVisible()) {
      adjustSize();
      if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        QRect frame = geometry();
        frame.moveCenter(QPoint(area.center().x(), frame.center().y()));
        move(frame.topLeft());
      }
    }
  }
  // Past the screen's width the middle goes, so the folder's start and the name still show.
  status_text->setText(metrics.horizontalAdvance(text) + 2 > status_text->width()
                           ? metrics.elidedText(text, Qt::ElideMiddle, status_text->width() - 2)
                           : text);
}

void TProgressFrm::Timer1Timer() {
  const int position = ProgressPosition;
  if (PB->maximum() > position) PB->setValue(position < 0 ? 0 : position);
  const QString caption = Q(ProgressCaption.Get());
  if (windowTitle() != caption) setWindowTitle(caption);
  SpeedButton1->setVisible(ProgressShowCancel);
  const QString status = Q(ProgressStatus.Get());
  if (status != statusShown_) {
    statusShown_ = status;
    FitStatusText(status);
  }
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
