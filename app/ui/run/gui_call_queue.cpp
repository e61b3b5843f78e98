#include "app/ui/run/gui_call_queue.h"

#include <QAbstractEventDispatcher>
#include <QThread>

TGuiCallQueue::TGuiCallQueue(QObject* parent)
    : QObject(parent), dispatcher_(QAbstractEventDispatcher::instance(QThread::currentThread())) {
  if (dispatcher_)
    connect(dispatcher_, &QAbstractEventDispatcher::aboutToBlock, this, &TGuiCallQueue::RunPending);
}

TGuiCallQueue::~TGuiCallQueue() {
  RunPending();
}

void TGuiCallQueue::Call(const std::function<void()>& call) {
  TPending pending;
  pending.call = &call;
  std::unique_lock lock(mutex_);
  queue_.push_back(&pending);
  lock.unlock();
  Wake();
  lock.lock();
  ran_.wait(lock, [&] { return pending.done; });
}

void TGuiCallQueue::Wake() {
  // Safe from any thread: it only interrupts the dispatcher's wait.
  if (dispatcher_) dispatcher_->wakeUp();
}

void TGuiCallQueue::RunPending() {
  for (;;) {
    std::unique_lock lock(mutex_);
    if (queue_.empty()) return;
    TPending* pending = queue_.front();
    queue_.pop_front();
    lock.unlock();
    (*pending->call)();
    lock.lock();
    pending->done = true;
    ran_.notify_all();
  }
}
