// The program's log, thrown away: a fuzz run would otherwise print every entry.
#pragma once

#include <memory>

#include "app/engine/log.h"

namespace fuzzing {

class TDiscardLog : public ILogSink {
 public:
  void AddEntry(const TLogEntry&) override {}
};

inline void DiscardLog() {
  static const bool once = [] {
    SetLogSink(std::make_shared<TDiscardLog>());
    return true;
  }();
  (void)once;
}

}  // namespace fuzzing
