// The program's start: settings first, the start delay, the splash window, the forms, the
// message loop, and the settings saved when the program ends.
#pragma once

#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <string_view>

class TMainFrm;
class TQtUserInterface;

struct TStartupHooks {
  // Waits out the start delay; the thread sleeps by default.
  std::function<void(std::chrono::milliseconds)> sleep;
  // The splash window (TSplashWnd by default).
  std::function<std::unique_ptr<QWidget>()> createSplash;
  // Runs the message loop until the main window closes (RunMessageLoop by default).
  std::function<int(TMainFrm&)> runLoop;
  // Told of each step as it is reached: "settings", "delay", "title", "splash", "forms",
  // "form:<objectName>" after each form, "loop", "failed" (after the report), "freed".
  std::function<void(std::string_view)> onStep;
};

// Runs the program on the QApplication the caller made. 0 after a normal end; 1 when a step
// failed: the failure is shown and logged, and the settings are still saved.
int ProgramMainBlock(TQtUserInterface& ui, const TStartupHooks& hooks = {});
