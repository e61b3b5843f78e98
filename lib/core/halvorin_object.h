// The root of the library's classes: every object the library hands out or throws is deleted
// through this virtual destructor.
#pragma once

class CHalvorin_Object {
 public:
  CHalvorin_Object() = default;
  CHalvorin_Object(const CHalvorin_Object&) = delete;
  CHalvorin_Object& operator=(const CHalvorin_Object&) = delete;
  virtual ~CHalvorin_Object() = default;
};
