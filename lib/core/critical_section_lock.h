// The library's locks. A critical section may be entered again by the thread that holds it
// (a locked method calls another locked method of the same object); the scoped lock leaves it
// on every exit path, exceptions included.
#pragma once

#include <mutex>

#include "lib/core/halvorin_object.h"

using CHalvorin_CriticalSection = std::recursive_mutex;

class CHalvorin_CriticalSectionLock : public CHalvorin_Object {
 public:
  explicit CHalvorin_CriticalSectionLock(
      CHalvorin_CriticalSection* p__PCRITICAL_SECTION__CriticalSection)
      : m__PCRITICAL_SECTION__CriticalSection(p__PCRITICAL_SECTION__CriticalSection) {
    m__PCRITICAL_SECTION__CriticalSection->lock();
  }
  ~CHalvorin_CriticalSectionLock() override { m__PCRITICAL_SECTION__CriticalSection->unlock(); }

 private:
  CHalvorin_CriticalSection* m__PCRITICAL_SECTION__CriticalSection;
};
