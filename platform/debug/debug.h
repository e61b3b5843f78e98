// The debugger output of the recording library. Nothing goes anywhere by default;
// HALVORIN_DEBUG_OUTPUT=stderr sends it to standard error, any other value names a file that
// it is appended to. Tests capture it.
#pragma once

#include <string>

namespace platform::debug {

// Writes one message as it stands (the caller supplies any line breaks). Safe from any thread.
void OutputDebugString(const char* text);

// True when a message would go somewhere: lets callers skip formatting nobody reads.
bool IsActive();

// Collects every message of the process while it lives (one at a time).
class Capture {
 public:
  Capture();
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  std::string Text() const;
  void Clear();
};

}  // namespace platform::debug
