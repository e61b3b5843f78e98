#include "app/engine/log.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "platform/shell/shell.h"

namespace {

std::mutex& LogLock() {
  static std::mutex m;
  return m;
}

std::shared_ptr<ILogSink>& CurrentSink() {
  static std::shared_ptr<ILogSink> sink = std::make_shared<TStdoutLogSink>();
  return sink;
}

}  // namespace

void TStdoutLogSink::AddEntry(const TLogEntry& entry) {
  const std::string line = entry.Line() + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  // The file lines of a search (one per file, no level text) go out with the next status or
  // error line when nobody watches a terminal: a system call per file costs large runs.
  static const bool terminal = isatty(STDOUT_FILENO) == 1;
  if (terminal || entry.level != 0 || entry.levelText != "        ") std::fflush(stdout);
}

void TMemoryLogSink::AddEntry(const TLogEntry& entry) {
  std::lock_guard lock(mutex_);
  entries_.push_back(entry);
}

std::vector<TLogEntry> TMemoryLogSink::Entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

void TMemoryLogSink::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

std::shared_ptr<ILogSink> SetLogSink(std::shared_ptr<ILogSink> sink) {
  std::lock_guard lock(LogLock());
  if (!sink) sink = std::make_shared<TStdoutLogSink>();
  std::swap(sink, CurrentSink());
  return sink;
}

void LogMessage(std::string_view levelText, std::string_view message, int level) {
  TLogEntry entry;
  entry.levelText = std::string(levelText);
  entry.message = std::string(message);
  entry.level = level;
  std::lock_guard lock(LogLock());
  // A run logs a line per file: the time text is made once a second.
  static std::time_t lastTime = -1;
  static std::string lastText;
  const std::time_t now = std::time(nullptr);
  if (now != lastTime) {
    lastText = platform::shell::FormatShortDateLongTime(now);
    lastTime = now;
  }
  entry.timeText = lastText;
  CurrentSink()->AddEntry(entry);
}

void LogStatus(std::string_view message) {
  LogMessage("STATUS  ", message, 0);
}
void LogError(std::string_view message) {
  LogMessage("ERROR   ", message, 1);
}
void LogDevice(std::string_view message) {
  LogMessage("DEVICE  ", message, 2);
}
void LogDebug(std::string_view message) {
  LogMessage("DEBUG   ", message, 3);
}

std::string FormatLogFile(const std::vector<TLogEntry>& entries) {
  std::string out;
  for (const auto& e : entries) out += e.Line() + "\r\n";
  return out;
}
