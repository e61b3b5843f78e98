#include "app/ui/run/console_log_sink.h"

#include <QThread>

#include "app/ui/run/console_frm.h"

TConsoleLogSink::TConsoleLogSink(TConsoleFrm* console)
    : console_(console), context_(std::make_unique<QObject>()) {}

TConsoleLogSink::~TConsoleLogSink() = default;

void TConsoleLogSink::AddEntry(const TLogEntry& entry) {
  bool first;
  {
    std::lock_guard lock(mutex_);
    first = pending_.empty();
    pending_.push_back(entry);
  }
  // The log lock is held here, so a worker must not wait for the GUI thread: it only posts.
  if (QThread::currentThread() == context_->thread())
    Drain();
  else if (first)
    QMetaObject::invokeMethod(
        context_.get(), [this] { Drain(); }, Qt::QueuedConnection);
}

void TConsoleLogSink::Drain() {
  std::deque<TLogEntry> entries;
  {
    std::lock_guard lock(mutex_);
    entries.swap(pending_);
  }
  if (!console_) return;
  for (const auto& e : entries) console_->AddEntry(e);
}
