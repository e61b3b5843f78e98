// The audio reader's levelled log writer: each line goes to the debugger output, with
// facility 1 and above also appended to the log file, with facility 2 and above also printed
// on the standard output.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "lib/audio/tidewell.h"
#include "lib/audio/tidewell_trace.h"
#include "platform/debug/debug.h"
#include "platform/fs/fs.h"
#include "platform/shell/shell.h"

namespace {

constexpr std::size_t kLineSize = 1024;
constexpr const char* kDefaultLogName = "Tidewell.log";

// The log writer's own copies of the settings.
struct LogWriter {
  std::atomic<std::uint32_t> level{0};
  std::atomic<std::int32_t> facility{0};
  std::mutex mutex;      // the file name, and one line at a time into the file
  std::string fileName;  // empty: Tidewell.log in the program folder
};

// Never destroyed: the library shuts the reader down from its unload hook, after static
// destructors may have run.
LogWriter& Writer() {
  static LogWriter* writer = new LogWriter;
  return *writer;
}

void AppendToFile(LogWriter& w, const char* p__PCHAR__Line) {
  std::lock_guard lock(w.mutex);
  const std::string name =
      w.fileName.empty() ? platform::shell::ProgramFolder() + kDefaultLogName : w.fileName;
  const auto posix = platform::fs::ToPosix(name);
  if (!posix) return;
  std::FILE* file = std::fopen(posix->c_str(), "a+");
  if (!file) return;  // a log file that cannot be opened is skipped
  std::fputs(p__PCHAR__Line, file);
  std::fflush(file);
  std::fclose(file);
}

}  // namespace

void Tidewell_LogMessage(std::uint32_t p__ULONG__Level, const char* p__PCHAR__FunctionName,
                         const char* p__PCHAR__Format, ...) {
  LogWriter& w = Writer();
  if (p__ULONG__Level > w.level.load()) return;
  char text[kLineSize] = {};
  int wanted = 0;
  if (p__PCHAR__Format) {
    va_list arguments;
    va_start(arguments, p__PCHAR__Format);
    wanted = std::vsnprintf(text, sizeof text, p__PCHAR__Format, arguments);
    va_end(arguments);
    if (wanted < 0) text[0] = '\0';
  }
  char line[kLineSize];
  const int total = std::snprintf(line, sizeof line, "%s%s",
                                  p__PCHAR__FunctionName ? p__PCHAR__FunctionName : "", text);
  // A line cut to the buffer still ends as a line.
  if (static_cast<std::size_t>(wanted) >= sizeof text || total < 0 ||
      static_cast<std::size_t>(total) >= sizeof line) {
    const std::size_t end = std::strlen(line);
    if (end > 0) {
      // The newline takes the place of whole characters: no UTF-8 sequence is left half.
      std::size_t at = end - 1;
      while (at > 0 && (static_cast<unsigned char>(line[at]) & 0xC0) == 0x80) --at;
      line[at] = '\n';
      line[at + 1] = '\0';
    }
  }
  try {
    platform::debug::OutputDebugString(line);
    const std::int32_t facility = w.facility.load();
    if (facility >= 1) AppendToFile(w, line);
    if (facility >= 2) {
      std::fputs(line, stdout);
      std::fflush(stdout);
    }
  } catch (...) {
    // The log never fails its caller.
  }
}

std::uint32_t Tidewell_LogLevelSet(std::uint32_t p__ULONG__Level) {
  Writer().level.store(p__ULONG__Level);
  return kTidewellStatusSuccess;
}

std::uint32_t Tidewell_LogFacilitySet(std::int32_t p__LONG__Facility) {
  Writer().facility.store(p__LONG__Facility);
  return kTidewellStatusSuccess;
}

std::uint32_t Tidewell_LogFileNameSet(const char* p__PCHAR__FileName) {
  if (!p__PCHAR__FileName || !*p__PCHAR__FileName) return kTidewellStatusSuccess;
  try {
    LogWriter& w = Writer();
    std::lock_guard lock(w.mutex);
    w.fileName = p__PCHAR__FileName;
  } catch (const std::bad_alloc&) {
    return kTidewellStatusOutOfMemory;
  }
  return kTidewellStatusSuccess;
}

void TidewellI_ResetLogWriter() {
  LogWriter& w = Writer();
  w.level.store(0);
  w.facility.store(0);
  std::lock_guard lock(w.mutex);
  w.fileName.clear();
}

void TidewellI_LogEnter(const char* p__PCHAR__FunctionName) {
  Tidewell_LogMessage(kTidewellLevelEntryExit, p__PCHAR__FunctionName, "(): >>> ENTERed\n");
}

void TidewellI_LogExit(const char* p__PCHAR__FunctionName, std::uint32_t p__ULONG__Status) {
  if (p__ULONG__Status == kTidewellStatusSuccess)
    Tidewell_LogMessage(kTidewellLevelEntryExit, p__PCHAR__FunctionName,
                        "(): <<< EXITing with success\n");
  else
    Tidewell_LogMessage(kTidewellLevelNotable, p__PCHAR__FunctionName,
                        "(): <<< *** EXITing with failure, status %d ( 0x%x )\n",
                        static_cast<int>(p__ULONG__Status), p__ULONG__Status);
}

std::uint32_t TidewellI_StatusOfCaughtException() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return kTidewellStatusOutOfMemory;
  } catch (const platform::fs::FsError& e) {
    return e.error() > 0 ? static_cast<std::uint32_t>(e.error()) : 1359;
  } catch (...) {
    return 1359;
  }
}

void TidewellI_LogExceptionCaught(const char* p__PCHAR__FunctionName,
                                  std::uint32_t p__ULONG__Status) noexcept {
  Tidewell_LogMessage(kTidewellLevelNotable, p__PCHAR__FunctionName,
                      "(): Exception caught, status %d ( 0x%x )\n",
                      static_cast<int>(p__ULONG__Status), p__ULONG__Status);
}

void TidewellI_LogBadPointer(const char* p__PCHAR__FunctionName, const char* p__PCHAR__Check,
                             const void* p__PVOID__Pointer, std::size_t p__SIZE__Size) {
  Tidewell_LogMessage(kTidewellLevelNotable, p__PCHAR__FunctionName,
                      "(): %s( 0x%p, %d ) failed, status %d ( 0x%x )\n", p__PCHAR__Check,
                      p__PVOID__Pointer, static_cast<int>(p__SIZE__Size),
                      kTidewellStatusBadArgument, kTidewellStatusBadArgument);
}
