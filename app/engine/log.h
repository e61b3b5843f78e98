// The log calls. Every entry goes to one sink: the console window when it exists, else a
// headless sink (standard output for the command-line run, memory for tests).
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct TLogEntry {
  std::string timeText;   // short date + long time of the moment it was added
  std::string levelText;  // eight characters
  std::string message;
  int level = 0;
  std::string EventText() const { return levelText + " > " + message; }
  // One line of a saved log: time text + ": " + event text.
  std::string Line() const { return timeText + ": " + EventText(); }
};

class ILogSink {
 public:
  virtual ~ILogSink() = default;
  // Called with the log lock held, so entries arrive in the order of the calls.
  virtual void AddEntry(const TLogEntry& entry) = 0;
};

// Prints each entry's line to standard output.
class TStdoutLogSink : public ILogSink {
 public:
  void AddEntry(const TLogEntry& entry) override;
};

// Keeps every entry; for tests and for replaying into a window created later.
class TMemoryLogSink : public ILogSink {
 public:
  void AddEntry(const TLogEntry& entry) override;
  std::vector<TLogEntry> Entries() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<TLogEntry> entries_;
};

// Replaces the sink; null restores the standard-output sink. Returns the previous one.
std::shared_ptr<ILogSink> SetLogSink(std::shared_ptr<ILogSink> sink);

void LogMessage(std::string_view levelText, std::string_view message, int level);
void LogStatus(std::string_view message);  // "STATUS  ", 0
void LogError(std::string_view message);   // "ERROR   ", 1
void LogDevice(std::string_view message);  // "DEVICE  ", 2
void LogDebug(std::string_view message);   // "DEBUG   ", 3

// The saved text file: each entry's line followed by CR LF; empty for no entries.
std::string FormatLogFile(const std::vector<TLogEntry>& entries);
