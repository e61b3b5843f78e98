#include "platform/debug/debug.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace platform::debug {

namespace {

constexpr const char* kVariable = "HALVORIN_DEBUG_OUTPUT";

struct Sink {
  std::mutex mutex;
  std::string path;  // the file currently open, or empty
  std::FILE* file = nullptr;
  std::atomic<bool> capturing{false};  // read without the lock by IsActive, on every trace
  std::string captured;
};

// Never destroyed: the library traces from its unload hook, after static destructors may
// have run.
Sink& TheSink() {
  alignas(Sink) static unsigned char storage[sizeof(Sink)];
  static Sink* sink = new (storage) Sink;
  return *sink;
}

// The file of the variable's value, reopened when the value changed.
std::FILE* FileFor(Sink& s, const char* value) {
  if (s.file && s.path == value) return s.file;
  if (s.file) std::fclose(s.file);
  s.file = std::fopen(value, "a");
  s.path = s.file ? value : "";
  return s.file;
}

}  // namespace

bool IsActive() {
  const char* value = std::getenv(kVariable);
  if (value && *value) return true;
  return TheSink().capturing.load(std::memory_order_relaxed);
}

void OutputDebugString(const char* text) {
  if (!text) return;
  Sink& s = TheSink();
  const char* value = std::getenv(kVariable);
  std::lock_guard lock(s.mutex);
  if (s.capturing) s.captured += text;
  if (!value || !*value) return;
  std::FILE* out = std::strcmp(value, "stderr") == 0 ? stderr : FileFor(s, value);
  if (!out) return;
  std::fputs(text, out);
  std::fflush(out);
}

Capture::Capture() {
  Sink& s = TheSink();
  std::lock_guard lock(s.mutex);
  s.capturing = true;
  s.captured.clear();
}

Capture::~Capture() {
  Sink& s = TheSink();
  std::lock_guard lock(s.mutex);
  s.capturing = false;
  s.captured.clear();
  s.captured.shrink_to_fit();
}

std::string Capture::Text() const {
  Sink& s = TheSink();
  std::lock_guard lock(s.mutex);
  return s.captured;
}

void Capture::Clear() {
  Sink& s = TheSink();
  std::lock_guard lock(s.mutex);
  s.captured.clear();
}

}  // namespace platform::debug
