// How the audio reader's functions and methods trace: an entry line, their parameters, one
// line per failure, an exit line; nothing thrown leaves them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/audio/tidewell.h"
#include "platform/com/com.h"

inline constexpr std::uint32_t kTidewellLevelNotable = 0;
inline constexpr std::uint32_t kTidewellLevelEntryExit = 1;
inline constexpr std::uint32_t kTidewellLevelParameters = 2;
inline constexpr std::uint32_t kTidewellLevelProgress = 3;

void TidewellI_LogEnter(const char* p__PCHAR__FunctionName);
// "EXITing with success" at level 1, or "*** EXITing with failure" and the status at level 0.
void TidewellI_LogExit(const char* p__PCHAR__FunctionName, std::uint32_t p__ULONG__Status);
// The status of the exception being handled (call inside a catch): 14 out of memory, a file
// call's system error, 1359 (internal error) for anything else.
std::uint32_t TidewellI_StatusOfCaughtException() noexcept;
void TidewellI_LogExceptionCaught(const char* p__PCHAR__FunctionName,
                                  std::uint32_t p__ULONG__Status) noexcept;
// "IsBadReadPtr( ... ) failed" or "IsBadWritePtr( ... ) failed" with status 87: a pointer
// that is null where memory is needed.
void TidewellI_LogBadPointer(const char* p__PCHAR__FunctionName, const char* p__PCHAR__Check,
                             const void* p__PVOID__Pointer, std::size_t p__SIZE__Size);

// A function returning a plain status between its entry and exit lines.
template <class Body>
std::uint32_t TidewellI_Run(const char* p__PCHAR__FunctionName, Body&& body) noexcept {
  std::uint32_t status;
  try {
    TidewellI_LogEnter(p__PCHAR__FunctionName);
    status = body();
  } catch (...) {
    status = TidewellI_StatusOfCaughtException();
    TidewellI_LogExceptionCaught(p__PCHAR__FunctionName, status);
  }
  TidewellI_LogExit(p__PCHAR__FunctionName, status);
  return status;
}

// A method returning a result code; its exit line shows the system error inside it.
template <class Body>
platform::com::HRESULT TidewellI_RunResult(const char* p__PCHAR__FunctionName,
                                           Body&& body) noexcept {
  platform::com::HRESULT result;
  try {
    TidewellI_LogEnter(p__PCHAR__FunctionName);
    result = body();
  } catch (...) {
    const std::uint32_t status = TidewellI_StatusOfCaughtException();
    TidewellI_LogExceptionCaught(p__PCHAR__FunctionName, status);
    result = platform::com::HRESULT_FROM_WIN32(status);
  }
  TidewellI_LogExit(p__PCHAR__FunctionName, platform::com::Win32FromHresult(result));
  return result;
}

// Whether a name's extension is ".raw" (any case): raw CD samples without a header.
bool TidewellI_IsRawFileName(const char* p__PCHAR__FileName);

// Restore the log writer to its state before start-up (level 0, facility 0, default file) and
// the trace settings to their defaults (level 0, facility 2, default file).
void TidewellI_ResetLogWriter();
void TidewellI_ResetDebugSettings();
