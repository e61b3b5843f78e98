// Start and end of the program's modules around everything else main does: the burn callback's
// counters and module name first, their trace and the library's at exit.
#pragma once

#include <string_view>

class TProgramModules {
 public:
  explicit TProgramModules(std::string_view programPath);
  ~TProgramModules();
  TProgramModules(const TProgramModules&) = delete;
  TProgramModules& operator=(const TProgramModules&) = delete;
};
