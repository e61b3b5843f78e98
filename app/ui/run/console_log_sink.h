// Hands log entries from any thread to the console window in the order of the log calls:
// a queue drained on the GUI thread. Entries from the GUI thread itself appear at once.
#pragma once

#include <QObject>
#include <QPointer>
#include <deque>
#include <memory>
#include <mutex>

#include "app/engine/log.h"

class TConsoleFrm;

class TConsoleLogSink : public ILogSink {
 public:
  // Create and destroy it on the GUI thread.
  explicit TConsoleLogSink(TConsoleFrm* console);
  ~TConsoleLogSink() override;

  void AddEntry(const TLogEntry& entry) override;
  // Moves every waiting entry into the console (GUI thread only).
  void Drain();

 private:
  QPointer<TConsoleFrm> console_;
  std::unique_ptr<QObject> context_;  // receives the queued drains on the GUI thread
  std::mutex mutex_;
  std::deque<TLogEntry> pending_;
};
