#include "app/ui/splash_wnd.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "app/engine/progress.h"
#include "app/ui/widgets/jpeg_image.h"

TSplashWnd::TSplashWnd(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("SplashWnd");
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  const QImage picture = LoadJpegImage(":/images/splash.jpg");
  if (!picture.isNull()) Image1->setPixmap(QPixmap::fromImage(picture));
  Image1->move(0, 0);
  Image1->resize(picture.isNull() ? QSize(400, 220) : picture.size());
  // The window takes the size of its picture.
  setFixedSize(Image1->size());

  Label1 = new QLabel("Loading global settings...", this);
  Label1->setObjectName("Label1");
  Label1->setStyleSheet("color: #f2f5fa;");
  Label1->setGeometry(12, height() - 30, width() - 24, 20);

  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(100);
  connect(Timer1, &QTimer::timeout, this, &TSplashWnd::Timer1Timer);
  Timer1->start();
}

void TSplashWnd::Timer1Timer() {
  Label1->setText(QString::fromStdString(ProgressStatus.Get()));
}

void TSplashWnd::closeEvent(QCloseEvent* event) {
  Timer1->stop();
  QWidget::closeEvent(event);
  if (event->isAccepted()) Destroyed = true;
}
