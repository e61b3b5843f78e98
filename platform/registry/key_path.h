// Key paths: backslash-separated, a leading backslash optional, empty components ignored.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

namespace platform::registry {

std::vector<std::string> SplitKeyPath(std::string_view path);
// "\a\b"; the hive's root is "".
std::string JoinKeyPath(const std::vector<std::string>& components);

// The user's Run key itself.
bool IsRunKey(Hive hive, const std::vector<std::string>& components);
// The Run key or one of its parents (not the hive's root).
bool HoldsRunKey(Hive hive, const std::vector<std::string>& components);

}  // namespace platform::registry
