// A program folder and a configuration folder of its own for each window test, and the
// user interface with scripted answers installed for the engine.
#pragma once

#include <stdlib.h>

#include <QApplication>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "app/engine/log.h"
#include "app/engine/user_interface.h"
#include "app/ui/run/qt_user_interface.h"
#include "platform/shell/job_thread.h"
#include "tests/support/temp_dir.h"

class TQtTestEnv {
 public:
  TQtTestEnv() : ui(std::make_shared<TQtUserInterface>()) {
    setenv("QUORVA_HOME", home.Posix().c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.Posix().c_str(), 1);
    ui->ScriptMessageAnswers({});
    SetUserInterface(ui);
    SetLogSink(log);
  }
  ~TQtTestEnv() {
    SetLogSink(nullptr);
    SetUserInterface(nullptr);
  }

  bool Logged(const std::string& message) const {
    for (const auto& e : log->Entries())
      if (e.message == message) return true;
    return false;
  }

  TempDir home;
  TempDir config;
  std::shared_ptr<TQtUserInterface> ui;
  std::shared_ptr<TMemoryLogSink> log = std::make_shared<TMemoryLogSink>();
};

// Runs `body` on a job thread while the GUI thread keeps handling events.
inline void RunOnWorker(const std::function<void()>& body) {
  std::atomic<bool> finished{false};
  platform::shell::JobThread worker([&] {
    body();
    finished = true;
    QMetaObject::invokeMethod(
        qApp, [] {}, Qt::QueuedConnection);
  });
  worker.Resume();
  while (!finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  worker.Join();
}
