#include "platform/registry/key_path.h"

#include "platform/text/text.h"

namespace platform::registry {
namespace {

bool IsPrefixCI(const std::vector<std::string>& prefix, const std::vector<std::string>& path) {
  if (prefix.size() > path.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (!text::SameTextCI(prefix[i], path[i])) return false;
  return true;
}

const std::vector<std::string>& RunKeyComponents() {
  static const std::vector<std::string> run = SplitKeyPath(kRunKeyPath);
  return run;
}

}  // namespace

std::vector<std::string> SplitKeyPath(std::string_view path) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) out.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::string JoinKeyPath(const std::vector<std::string>& components) {
  std::string out;
  for (const auto& c : components) out += "\\" + c;
  return out;
}

bool IsRunKey(Hive hive, const std::vector<std::string>& components) {
  return hive == Hive::CurrentUser && components.size() == RunKeyComponents().size() &&
         IsPrefixCI(components, RunKeyComponents());
}

bool HoldsRunKey(Hive hive, const std::vector<std::string>& components) {
  return hive == Hive::CurrentUser && !components.empty() &&
         IsPrefixCI(components, RunKeyComponents());
}

}  // namespace platform::registry
