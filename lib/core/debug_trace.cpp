#include "lib/core/debug_trace.h"

#include <cstdarg>
#include <cstdio>

#include "lib/core/halvorin_exception.h"
#include "platform/debug/debug.h"

void DebugTrace(const char* p__PCHAR__Format, ...) {
  // Nobody reads the output by default: spare the formatting.
  if (!p__PCHAR__Format || !platform::debug::IsActive()) return;
  char text[4096] = {};
  va_list arguments;
  va_start(arguments, p__PCHAR__Format);
  std::vsnprintf(text, sizeof text, p__PCHAR__Format, arguments);
  va_end(arguments);
  platform::debug::OutputDebugString(text);
}

void HalvorinI_TraceExitFailure(const char* p__PCHAR__Method,
                                const CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
  if (!p__PCHalvorin_Exception__Exception) {
    DebugTrace("\n%s(): EXITing with failure, WARNING! Exception pointer is NULL!\n",
               p__PCHAR__Method);
    return;
  }
  DebugTrace("\n%s(): EXITing with failure, exception number 0x%08X, exception text '%s'!!!\n",
             p__PCHAR__Method,
             static_cast<unsigned>(p__PCHalvorin_Exception__Exception->GetStatus()),
             p__PCHalvorin_Exception__Exception->GetText());
}
