#include "lib/core/trace_scope.h"

#include <exception>

#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"

CHalvorin_TraceScope::CHalvorin_TraceScope(const char* p__PCHAR__Method)
    : m__PCHAR__Method(p__PCHAR__Method), m__LONG__UncaughtOnEntry(std::uncaught_exceptions()) {
  DebugTrace("\n%s(): ENTERed\n", m__PCHAR__Method);
}

CHalvorin_TraceScope::~CHalvorin_TraceScope() {
  // More exceptions in flight than on entry: this scope is being left by one of them.
  if (std::uncaught_exceptions() <= m__LONG__UncaughtOnEntry) {
    DebugTrace("\n%s(): EXITing with success\n", m__PCHAR__Method);
    return;
  }
  const HalvorinI_ThrownException* thrown = HalvorinI_InFlightException();
  if (!thrown) {
    DebugTrace("\n%s(): EXITing with failure, WARNING! Not a library exception!!!\n",
               m__PCHAR__Method);
  } else if (thrown->m__BOOLEAN__IsNull) {
    HalvorinI_TraceExitFailure(m__PCHAR__Method, nullptr);
  } else {
    DebugTrace("\n%s(): EXITing with failure, exception number 0x%08X, exception text '%s'!!!\n",
               m__PCHAR__Method, static_cast<unsigned>(thrown->m__LONG__Status),
               thrown->m__CHAR__Text);
  }
}
