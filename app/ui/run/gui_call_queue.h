// Calls that worker threads hand to the GUI thread and wait for (the search threads' found
// files). A call is queued under a lock, the GUI thread's event dispatcher is woken, and the
// queue runs whenever the GUI thread is about to wait for events; the worker waits on a
// condition variable until its call has run. Every hand-over is a lock the thread checkers
// see, which Qt's own blocking queued call (a semaphore inside Qt) is not.
#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class QAbstractEventDispatcher;

class TGuiCallQueue : public QObject {
  Q_OBJECT

 public:
  // Made on the GUI thread; no worker may call it once it is destroyed.
  explicit TGuiCallQueue(QObject* parent = nullptr);
  ~TGuiCallQueue() override;

  // From a worker: runs `call` on the GUI thread and returns once it has run.
  void Call(const std::function<void()>& call);
  // From a worker: wakes the GUI thread (a waiting loop then looks at its state again).
  void Wake();
  // On the GUI thread: runs every queued call.
  void RunPending();

 private:
  struct TPending {
    const std::function<void()>* call = nullptr;
    bool done = false;
  };

  QAbstractEventDispatcher* const dispatcher_;
  std::mutex mutex_;
  std::condition_variable ran_;
  std::deque<TPending*> queue_;
};
