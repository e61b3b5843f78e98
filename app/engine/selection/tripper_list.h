// The three-state selection sets of a check-mark tree or list: checked, unchecked and partly
// checked paths. Paths are compared exactly; folder paths end with a backslash.
#pragma once

#include <set>
#include <string>
#include <string_view>

class TTripperList {
 public:
  // State 0 unchecked, 1 checked, anything else partly checked. A path is in one set at most;
  // an empty path or a lone backslash is ignored.
  void SetState(std::string_view path, int state);
  // 0 unchecked, 1 checked, 2 partly checked, -1 never set.
  int GetState(std::string_view path) const;
  // The number of checked paths.
  int Count() const { return static_cast<int>(checked_.size()); }
  void Clear();

  const std::set<std::string, std::less<>>& Checked() const { return checked_; }
  const std::set<std::string, std::less<>>& Unchecked() const { return unchecked_; }
  const std::set<std::string, std::less<>>& PartlyChecked() const { return partly_; }

 private:
  std::set<std::string, std::less<>> checked_;
  std::set<std::string, std::less<>> unchecked_;
  std::set<std::string, std::less<>> partly_;
};
