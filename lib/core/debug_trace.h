// The library's trace: printf-style messages to the debugger output (platform/debug).
//
// Convention: every method traces "\n<Class>::<Method>(): ENTERed\n" on entry and
// "EXITing with success" or "EXITing with failure, exception number 0x%08X, exception text
// '%s'!!!" on exit; a failure is traced once in its own words before it is thrown.
#pragma once

#include <type_traits>
#include <utility>

#include "lib/core/halvorin_exception.h"  // caught by pointer below: clang wants the whole type

// Formats into a 4096-byte buffer (longer messages are cut) and sends the result.
void DebugTrace(const char* p__PCHAR__Format, ...) __attribute__((format(printf, 1, 2)));

// "\n<method>(): EXITing with failure, ..." for a caught exception pointer (which may be null).
void HalvorinI_TraceExitFailure(const char* p__PCHAR__Method,
                                const CHalvorin_Exception* p__PCHalvorin_Exception__Exception);

// Runs `body` between the ENTERed and EXITing traces of `method`; a CHalvorin_Exception
// pointer passes on unchanged after its failure line.
template <class Body>
decltype(auto) HalvorinI_Traced(const char* p__PCHAR__Method, Body&& body) {
  DebugTrace("\n%s(): ENTERed\n", p__PCHAR__Method);
  try {
    if constexpr (std::is_void_v<decltype(body())>) {
      std::forward<Body>(body)();
      DebugTrace("\n%s(): EXITing with success\n", p__PCHAR__Method);
    } else {
      decltype(auto) result = std::forward<Body>(body)();
      DebugTrace("\n%s(): EXITing with success\n", p__PCHAR__Method);
      return result;
    }
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    HalvorinI_TraceExitFailure(p__PCHAR__Method, p__PCHalvorin_Exception__Exception);
    throw;
  }
}
