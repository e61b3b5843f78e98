#include "app/engine/selection/tripper_list.h"

namespace {

void Erase(std::set<std::string, std::less<>>& set, std::string_view path) {
  const auto it = set.find(path);
  if (it != set.end()) set.erase(it);
}

}  // namespace

void TTripperList::SetState(std::string_view path, int state) {
  if (path.empty() || path == "\\") return;
  switch (state) {
    case 0:
      Erase(checked_, path);
      Erase(partly_, path);
      unchecked_.emplace(path);
      break;
    case 1:
      Erase(unchecked_, path);
      Erase(partly_, path);
      checked_.emplace(path);
      break;
    default:
      Erase(unchecked_, path);
      Erase(checked_, path);
      partly_.emplace(path);
      break;
  }
}

int TTripperList::GetState(std::string_view path) const {
  if (unchecked_.contains(path)) return 0;
  if (checked_.contains(path)) return 1;
  if (partly_.contains(path)) return 2;
  return -1;
}

void TTripperList::Clear() {
  checked_.clear();
  unchecked_.clear();
  partly_.clear();
}
