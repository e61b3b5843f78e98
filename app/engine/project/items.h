// Item lists of a project: files, folders, exclusion patterns and excluded folders.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/engine/project/stream.h"

struct TItem {
  std::string Name;  // fixed once the item is in a list: the list indexes it
  std::int32_t Kind = 0;
  bool Included = true;  // only included items are written
};

// How a list compares names. Lists of paths (files, folders) compare exactly, as the file
// system tells "A.txt" and "a.txt" apart; lists of user patterns ignore case.
enum class TItemCompare { Exact, IgnoreCase };

class TItems {
 public:
  explicit TItems(TItemCompare compare = TItemCompare::Exact) : compare_(compare) {}
  TItems(const TItems&) = delete;
  TItems& operator=(const TItems&) = delete;

  TItemCompare Compare() const { return compare_; }

  // The existing item of that name (it keeps its kind), else a new included item appended.
  TItem* Add(std::string_view name, std::int32_t kind);
  TItem* Find(std::string_view name) const;
  // First item whose name is a prefix of the path.
  TItem* FindPrefixOf(std::string_view path) const;
  TItem* Get(int index) const;
  int Count() const { return static_cast<int>(items_.size()); }
  void Clear();
  // Clears the target, then appends a copy of every item (name, kind, included) in order.
  void AssignTo(TItems& target) const;

  // The count of included items, then name and kind of each. Throws EStreamWriteError.
  void SaveToStream(TStream& stream) const;
  // Appends without a duplicate check; false when a read fails (items read so far stay).
  bool LoadFromStream(TStream& stream);

 private:
  std::string Key(std::string_view name) const;
  TItem* Append(std::string name, std::int32_t kind, bool included);

  TItemCompare compare_;
  std::vector<std::unique_ptr<TItem>> items_;
  std::unordered_map<std::string, TItem*> index_;  // key -> first item with that key
};
