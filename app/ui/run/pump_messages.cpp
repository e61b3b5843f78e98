#include "app/ui/run/pump_messages.h"

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <atomic>

namespace {

// A quit that came in while no event loop ran: Qt drops such a request.
std::atomic<bool> quitPending{false};

// Takes a quit request out while the events are handled.
class TQuitCatcher : public QObject {
 public:
  bool seen = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
      seen = true;
      return true;
    }
    return false;
  }
};

}  // namespace

bool PumpMessages() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return true;
  TQuitCatcher catcher;
  app->installEventFilter(&catcher);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  app->removeEventFilter(&catcher);
  if (!catcher.seen) return true;
  if (QThread::currentThread()->loopLevel() > 0)
    QCoreApplication::postEvent(app, new QEvent(QEvent::Quit));  // the queue owns it
  else
    quitPending = true;
  return false;
}

int RunMessageLoop() {
  if (quitPending.exchange(false)) return 0;
  return QApplication::exec();
}
