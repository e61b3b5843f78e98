// Shared by the FTP and mail tests: a QUORVA_HOME, a memory log and a user interface that
// records the status bar per test, and settings that are never saved.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/settings/global_setting.h"
#include "app/engine/user_interface.h"
#include "tests/support/temp_dir.h"

// Records the status bar: "show <max>", "pos <n>", "hide", "panel<i> <text>".
class TRecordingUserInterface : public THeadlessUserInterface {
 public:
  void StatusProgressShow(int maximum) override { Add("show " + std::to_string(maximum)); }
  void StatusProgressSetPosition(int position) override {
    Add("pos " + std::to_string(position));
    std::function<void(int)> hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      hook = onPosition_;
    }
    if (hook) hook(position);
  }
  void StatusProgressHide() override { Add("hide"); }
  void SetStatusPanel(int index, std::string_view text) override {
    Add("panel" + std::to_string(index) + " " + std::string(text));
  }

  std::vector<std::string> Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  // Called on the uploading thread at every position change.
  void OnPosition(std::function<void(int)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    onPosition_ = std::move(hook);
  }

 private:
  void Add(std::string event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
  }
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
  std::function<void(int)> onPosition_;
};

class NetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", dir_.P("home").c_str(), 1);
    previous_ = SetLogSink(log_);
    previousUi_ = SetUserInterface(ui_);
    ResetProgressForJob();
    settings_ = std::make_unique<TGlobalSetting>();
    settings_->SaveOnDestroy = false;
    settings_->NetworkTimeoutSec = 5;
    settings_->AutoRetry = false;
    settings_->ReconnectDelaySec = 0;
  }
  void TearDown() override {
    SetUserInterface(previousUi_);
    SetLogSink(previous_);
  }

  std::vector<std::string> Messages(const std::string& levelText) const {
    std::vector<std::string> out;
    for (const TLogEntry& e : log_->Entries())
      if (e.levelText == levelText) out.push_back(e.message);
    return out;
  }
  std::vector<std::string> StatusLines() const { return Messages("STATUS  "); }
  std::vector<std::string> ErrorLines() const { return Messages("ERROR   "); }
  // `parts` holds one or more alternatives separated by '|'.
  bool HasError(const std::string& prefix, const std::string& parts) const {
    for (const std::string& m : ErrorLines()) {
      if (m.rfind(prefix, 0) != 0) continue;
      for (std::size_t from = 0; from <= parts.size();) {
        const std::size_t bar = std::min(parts.find('|', from), parts.size());
        if (m.find(parts.substr(from, bar - from)) != std::string::npos) return true;
        from = bar + 1;
      }
    }
    return false;
  }

  TempDir dir_;
  std::shared_ptr<TMemoryLogSink> log_ = std::make_shared<TMemoryLogSink>();
  std::shared_ptr<TRecordingUserInterface> ui_ = std::make_shared<TRecordingUserInterface>();
  std::shared_ptr<ILogSink> previous_;
  std::shared_ptr<IUserInterface> previousUi_;
  std::unique_ptr<TGlobalSetting> settings_;
};
