#include <iterator>
#include <utility>

#include "platform/registry/database.h"
#include "platform/registry/key_path.h"
#include "platform/registry/mime_types.h"
#include "platform/registry/registry.h"
#include "platform/registry/run_key_mirror.h"
#include "platform/text/text.h"

namespace platform::registry {
namespace {

constexpr std::string_view kContentType = "Content Type";

std::int64_t RootId(Hive hive) {
  return kRootIds[static_cast<int>(hive)];
}

std::optional<ValueType> KnownType(std::int64_t stored) {
  switch (stored) {
    case static_cast<std::int64_t>(ValueType::String):
      return ValueType::String;
    case static_cast<std::int64_t>(ValueType::Binary):
      return ValueType::Binary;
    case static_cast<std::int64_t>(ValueType::DWord):
      return ValueType::DWord;
    default:
      return std::nullopt;
  }
}

// A text value may have been stored with its terminating NUL (or several).
std::string TextOf(const std::vector<std::uint8_t>& data) {
  size_t n = data.size();
  while (n > 0 && data[n - 1] == 0) --n;
  return std::string(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
}

struct StoredValue {
  std::string name;  // as first written
  std::int64_t type = 0;
  std::vector<std::uint8_t> data;
};

// `failed`, when given, is set when the value could not be read (rather than being missing).
std::optional<StoredValue> FindValue(sqlite3* db, std::int64_t key, std::string_view name,
                                     bool* failed = nullptr) {
  Statement s(db, "SELECT name, type, data FROM vals WHERE key = ?1 AND folded = ?2");
  s.Bind(1, key).BindText(2, text::FoldCase(name));
  const int rc = s.Step();
  if (rc == SQLITE_ROW) return StoredValue{s.Text(0), s.Int(1), s.Blob(2)};
  if (rc != SQLITE_DONE && failed) *failed = true;
  return std::nullopt;
}

// What a Run value starts: its text; nothing for a value of another type.
std::optional<std::string> CommandOf(const std::optional<StoredValue>& v) {
  if (!v || v->type != static_cast<std::int64_t>(ValueType::String)) return std::nullopt;
  return TextOf(v->data);
}

std::optional<std::int64_t> Walk(sqlite3* db, std::int64_t from,
                                 const std::vector<std::string>& components, bool create,
                                 bool* failed = nullptr) {
  std::int64_t id = from;
  for (const auto& c : components) {
    if (auto child = FindChild(db, id, c, failed)) {
      id = *child;
      continue;
    }
    if (!create || (failed && *failed)) return std::nullopt;
    Statement insert(db, "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)");
    insert.Bind(1, id).BindText(2, c).BindText(3, text::FoldCase(c));
    if (!insert.Done()) return std::nullopt;
    id = sqlite3_last_insert_rowid(db);
  }
  return id;
}

std::vector<std::string> Names(sqlite3* db, const char* sql, std::int64_t id) {
  std::vector<std::string> names;
  Statement s(db, sql);
  s.Bind(1, id);
  while (s.Step() == SQLITE_ROW) names.push_back(s.Text(0));
  return names;
}

// Why the last statement on the database failed, as a caller shows it.
std::string FailureText(const Database& db) {
  return "the registry " + db.FilePath() + " " + ReadFailure(db.Handle());
}

std::string UnusableText(const Database& db) {
  return "the registry " + db.FilePath() +
         " cannot be used in a process forked from the one that opened it";
}

// Puts back the entries of Run values whose change did not reach the database.
void RestoreMirror(const std::vector<std::pair<std::string, std::optional<std::string>>>& old) {
  for (const auto& [name, command] : old) MirrorRunValue(name, command);
}

}  // namespace

Key::Key(std::shared_ptr<Database> db, Hive hive, std::int64_t id, std::string path)
    : db_(std::move(db)), hive_(hive), id_(id), path_(std::move(path)) {}

std::optional<Key> Key::Open(Hive hive, std::string_view path, bool create, std::string* failure) {
  if (failure) failure->clear();
  if (static_cast<size_t>(hive) >= std::size(kRootIds)) return std::nullopt;
  const std::vector<std::string> components = SplitKeyPath(path);
  std::string normal = JoinKeyPath(components);

  std::string why;
  if (auto db = Database::Shared(&why)) {
    Database::Lock lock(*db);
    sqlite3* h = db->Handle();
    bool failed = false;
    if (!lock) {
      why = UnusableText(*db);
    } else if (auto id = Walk(h, RootId(hive), components, false, &failed)) {
      return Key(db, hive, *id, std::move(normal));
    } else if (failed) {
      why = FailureText(*db);
    } else if (create) {
      WriteTransaction tx(h);
      auto created = tx ? Walk(h, RootId(hive), components, true) : std::nullopt;
      if (created && tx.Commit()) return Key(db, hive, *created, std::move(normal));
      why = FailureText(*db);
    }
  }
  if (failure) *failure = why;

  // An extension key that nobody wrote: the system's MIME database knows the type.
  if (!create && hive == Hive::ClassesRoot && components.size() == 1) {
    if (auto type = ContentTypeOfExtension(components[0])) {
      Key key(nullptr, hive, 0, std::move(normal));
      key.mimeType_ = std::move(*type);
      return key;
    }
  }
  return std::nullopt;
}

std::optional<std::pair<ValueType, std::vector<std::uint8_t>>> Key::ReadRaw(
    std::string_view name, std::string* failure) const {
  if (!db_) {
    if (!name.empty() && !text::SameTextCI(name, kContentType)) return std::nullopt;
    return std::pair(ValueType::String,
                     std::vector<std::uint8_t>(mimeType_.begin(), mimeType_.end()));
  }
  Database::Lock lock(*db_);
  if (!lock) {
    if (failure) *failure = UnusableText(*db_);
    return std::nullopt;
  }
  bool failed = false;
  auto v = FindValue(db_->Handle(), id_, name, &failed);
  if (failed && failure) *failure = FailureText(*db_);
  if (!v) return std::nullopt;
  const auto type = KnownType(v->type);
  if (!type) return std::nullopt;
  return std::pair(*type, std::move(v->data));
}

std::optional<ValueType> Key::TypeOf(std::string_view name) const {
  auto v = ReadRaw(name);
  if (!v) return std::nullopt;
  return v->first;
}

std::optional<std::string> Key::ReadString(std::string_view name) const {
  auto v = ReadRaw(name);
  if (!v || v->first != ValueType::String) return std::nullopt;
  return TextOf(v->second);
}

std::optional<std::uint32_t> Key::ReadDWord(std::string_view name) const {
  auto v = ReadRaw(name);
  if (!v || v->first != ValueType::DWord || v->second.size() != 4) return std::nullopt;
  const auto& b = v->second;
  return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
         std::uint32_t{b[3]} << 24;
}

std::optional<std::vector<std::uint8_t>> Key::ReadBinary(std::string_view name,
                                                         std::string* failure) const {
  if (failure) failure->clear();
  auto v = ReadRaw(name, failure);
  if (!v || v->first != ValueType::Binary) return std::nullopt;
  return std::move(v->second);
}

bool Key::WriteString(std::string_view name, std::string_view value) {
  return WriteValue(name, ValueType::String, value.data(), value.size());
}

bool Key::WriteDWord(std::string_view name, std::uint32_t value) {
  const std::uint8_t b[4] = {
      static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
      static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  return WriteValue(name, ValueType::DWord, b, sizeof b);
}

bool Key::WriteBinary(std::string_view name, const void* data, size_t n) {
  if (!data && n > 0) return false;
  return WriteValue(name, ValueType::Binary, data, n);
}

bool Key::WriteValue(std::string_view name, ValueType type, const void* data, size_t n) {
  if (!db_) return false;
  Database::Lock lock(*db_);
  if (!lock) return false;
  sqlite3* h = db_->Handle();
  WriteTransaction tx(h);
  if (!tx || !KeyExists(h, id_)) return false;

  const bool run = IsRunKey(hive_, SplitKeyPath(path_));
  std::optional<StoredValue> old;
  if (run) old = FindValue(h, id_, name);

  // A value keeps its place in the enumeration (and its first spelling) when it is replaced.
  Statement upsert(h,
                   "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                   "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, "
                   "data = excluded.data");
  upsert.Bind(1, id_)
      .BindText(2, name)
      .BindText(3, text::FoldCase(name))
      .Bind(4, static_cast<std::int64_t>(type))
      .BindBlob(5, data, n);
  if (!upsert.Done()) return false;

  // The entry is changed while the write lock is held, so writers of one value in two
  // processes leave the entry of the last one that committed.
  std::string storedName(name);
  if (run) {
    if (old) storedName = old->name;
    std::optional<std::string> command;
    if (type == ValueType::String)
      command = TextOf(std::vector<std::uint8_t>(static_cast<const std::uint8_t*>(data),
                                                 static_cast<const std::uint8_t*>(data) + n));
    if (!MirrorRunValue(storedName, command)) return false;
  }
  if (!tx.Commit()) {
    if (run) RestoreMirror({{storedName, CommandOf(old)}});
    return false;
  }
  return true;
}

bool Key::DeleteValue(std::string_view name) {
  if (!db_) return false;
  Database::Lock lock(*db_);
  if (!lock) return false;
  sqlite3* h = db_->Handle();
  WriteTransaction tx(h);
  if (!tx) return false;
  const auto old = FindValue(h, id_, name);
  if (!old) return false;

  Statement del(h, "DELETE FROM vals WHERE key = ?1 AND folded = ?2");
  del.Bind(1, id_).BindText(2, text::FoldCase(name));
  if (!del.Done()) return false;

  const bool run = IsRunKey(hive_, SplitKeyPath(path_));
  if (run && !MirrorRunValue(old->name, std::nullopt)) return false;
  if (!tx.Commit()) {
    if (run) RestoreMirror({{old->name, CommandOf(old)}});
    return false;
  }
  return true;
}

std::vector<std::string> Key::SubKeyNames() const {
  if (!db_) return {};
  Database::Lock lock(*db_);
  if (!lock) return {};
  return Names(db_->Handle(), "SELECT name FROM keys WHERE parent = ?1 ORDER BY id", id_);
}

std::vector<std::string> Key::ValueNames() const {
  if (!db_) return {"", std::string(kContentType)};
  Database::Lock lock(*db_);
  if (!lock) return {};
  return Names(db_->Handle(), "SELECT name FROM vals WHERE key = ?1 ORDER BY id", id_);
}

bool Key::DeleteSubKey(std::string_view name) {
  const std::vector<std::string> relative = SplitKeyPath(name);
  if (!db_ || relative.empty()) return false;
  Database::Lock lock(*db_);
  if (!lock) return false;
  sqlite3* h = db_->Handle();
  WriteTransaction tx(h);
  if (!tx || !KeyExists(h, id_)) return false;
  const auto target = Walk(h, id_, relative, false);
  if (!target) return false;

  // Deleting the Run key or a key above it ends every start-up entry it holds.
  std::vector<std::string> full = SplitKeyPath(path_);
  full.insert(full.end(), relative.begin(), relative.end());
  std::vector<std::pair<std::string, std::optional<std::string>>> removed;
  if (HoldsRunKey(hive_, full)) {
    if (auto run = Walk(h, RootId(Hive::CurrentUser), SplitKeyPath(kRunKeyPath), false)) {
      Statement s(h, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id");
      s.Bind(1, *run);
      while (s.Step() == SQLITE_ROW) {
        StoredValue v{s.Text(0), s.Int(1), s.Blob(2)};
        if (!MirrorRunValue(v.name, std::nullopt)) {
          RestoreMirror(removed);
          return false;
        }
        removed.emplace_back(v.name, CommandOf(v));
      }
    }
  }

  // UNION, not UNION ALL: in a damaged table whose parents loop the walk still ends. A loop
  // through the key (its parent among its own descendants) is damage: nothing is deleted, as
  // the walk would reach keys outside the subtree.
  static constexpr const char* kSubtree =
      "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION "
      "SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id) ";
  Statement loop(
      h, (std::string(kSubtree) + "SELECT count(*) FROM keys WHERE id = ?1 AND parent IN sub")
             .c_str());
  loop.Bind(1, *target);
  if (loop.Step() != SQLITE_ROW || loop.Int(0) != 0) {
    RestoreMirror(removed);
    return false;
  }
  Statement values(h, (std::string(kSubtree) + "DELETE FROM vals WHERE key IN sub").c_str());
  values.Bind(1, *target);
  Statement keys(h, (std::string(kSubtree) + "DELETE FROM keys WHERE id IN sub").c_str());
  keys.Bind(1, *target);
  if (!values.Done() || !keys.Done() || !tx.Commit()) {
    RestoreMirror(removed);
    return false;
  }
  return true;
}

}  // namespace platform::registry
