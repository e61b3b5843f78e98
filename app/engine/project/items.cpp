#include "app/engine/project/items.h"

#include "app/engine/path_routines.h"
#include "platform/text/text.h"

std::string TItems::Key(std::string_view name) const {
  return compare_ == TItemCompare::IgnoreCase ? platform::text::FoldCase(name) : std::string(name);
}

TItem* TItems::Append(std::string name, std::int32_t kind, bool included) {
  auto item = std::make_unique<TItem>();
  item->Name = std::move(name);
  item->Kind = kind;
  item->Included = included;
  TItem* raw = item.get();
  items_.push_back(std::move(item));
  index_.try_emplace(Key(raw->Name), raw);
  return raw;
}

TItem* TItems::Add(std::string_view name, std::int32_t kind) {
  if (TItem* existing = Find(name)) return existing;
  return Append(std::string(name), kind, true);
}

TItem* TItems::Find(std::string_view name) const {
  const auto it = index_.find(Key(name));
  return it == index_.end() ? nullptr : it->second;
}

TItem* TItems::FindPrefixOf(std::string_view path) const {
  for (const auto& item : items_) {
    const bool prefix = compare_ == TItemCompare::IgnoreCase ? IsPathPrefix(item->Name, path)
                                                             : IsPathPrefixExact(item->Name, path);
    if (prefix) return item.get();
  }
  return nullptr;
}

TItem* TItems::Get(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return items_[static_cast<size_t>(index)].get();
}

void TItems::Clear() {
  index_.clear();
  items_.clear();
}

void TItems::AssignTo(TItems& target) const {
  if (&target == this) return;
  target.Clear();
  for (const auto& item : items_) target.Append(item->Name, item->Kind, item->Included);
}

void TItems::SaveToStream(TStream& stream) const {
  std::int32_t included = 0;
  for (const auto& item : items_)
    if (item->Included) ++included;
  WriteStreamInt(stream, included);
  for (const auto& item : items_) {
    if (!item->Included) continue;
    WriteStreamString(stream, item->Name);
    WriteStreamInt(stream, item->Kind);
  }
}

bool TItems::LoadFromStream(TStream& stream) {
  // Items are read one at a time and nothing is reserved from the count: a damaged count
  // can cost no more than the bytes that are there, and a cut list keeps its whole items.
  try {
    const std::int32_t count = ReadStreamInt(stream);
    if (count < 0) return false;
    for (std::int32_t i = 0; i < count; ++i) {
      std::string name = ReadStreamString(stream);
      const std::int32_t kind = ReadStreamInt(stream);
      Append(std::move(name), kind, true);
    }
    return true;
  } catch (const EStreamReadError&) {
    return false;
  }
}
