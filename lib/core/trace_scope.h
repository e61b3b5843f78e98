// The entry and exit lines of a traced method, for the length of a scope: "ENTERed" when it
// is made; "EXITing with success" when the scope ends normally, or "EXITing with failure,
// exception number 0x%08X, exception text '%s'!!!" when an exception leaves it. One line at
// the top of a method:
//   CHalvorin_TraceScope trace("CHalvorin_FileChain::SeekToBegin");
#pragma once

class CHalvorin_TraceScope {
 public:
  // `p__PCHAR__Method` is "<Class>::<Method>" and outlives the scope (a literal).
  explicit CHalvorin_TraceScope(const char* p__PCHAR__Method);
  ~CHalvorin_TraceScope();
  CHalvorin_TraceScope(const CHalvorin_TraceScope&) = delete;
  CHalvorin_TraceScope& operator=(const CHalvorin_TraceScope&) = delete;

 private:
  const char* m__PCHAR__Method;
  int m__LONG__UncaughtOnEntry;
};
