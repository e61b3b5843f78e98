// The registry layer: hives, keys and typed values kept in one SQLite database per user
// ($QUORVA_HOME/registry.sqlite, else $XDG_CONFIG_HOME/QuorvaBackup/registry.sqlite).
// Key names compare without regard to case; subkeys and values enumerate in creation order;
// every write is one transaction; two processes may use the database at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::registry {

enum class Hive { CurrentUser, LocalMachine, ClassesRoot };

// Numbers as the platform's value types.
enum class ValueType : std::uint32_t { String = 1, Binary = 3, DWord = 4 };

class Database;

// An open key (RAII). Paths use backslashes, a leading backslash is optional:
// "\Software\Classes\CLSID\{...}".
class Key {
 public:
  // Opens a key; with create, missing keys on the path are created. std::nullopt when the key
  // is missing (without create) or the database cannot be opened or read; `failure`, when
  // given, then says why for the latter and is left empty for a missing key.
  // An HKCR extension key (".txt") that is not in the database is answered, read-only, from the
  // system MIME database: its default value and "Content Type" hold the MIME type.
  static std::optional<Key> Open(Hive hive, std::string_view path, bool create,
                                 std::string* failure = nullptr);

  std::optional<ValueType> TypeOf(std::string_view name) const;
  std::optional<std::string> ReadString(std::string_view name) const;
  std::optional<std::uint32_t> ReadDWord(std::string_view name) const;
  // `failure` as for Open: set when the value could not be read, empty when it is missing.
  std::optional<std::vector<std::uint8_t>> ReadBinary(std::string_view name,
                                                      std::string* failure = nullptr) const;

  // Each write replaces a value of that name (of any type); false when it failed. Under the Run
  // key a write (or delete) also fails, and changes nothing, when its autostart entry cannot
  // be written (or removed).
  bool WriteString(std::string_view name, std::string_view value);
  bool WriteDWord(std::string_view name, std::uint32_t value);
  bool WriteBinary(std::string_view name, const void* data, size_t n);
  bool DeleteValue(std::string_view name);

  std::vector<std::string> SubKeyNames() const;  // creation order
  std::vector<std::string> ValueNames() const;   // creation order
  // Deletes a subkey with everything below it; false when it is missing or failed.
  bool DeleteSubKey(std::string_view name);

  const std::string& Path() const { return path_; }
  Hive GetHive() const { return hive_; }

 private:
  Key(std::shared_ptr<Database> db, Hive hive, std::int64_t id, std::string path);
  bool WriteValue(std::string_view name, ValueType type, const void* data, size_t n);
  // Type and bytes of a value as stored.
  std::optional<std::pair<ValueType, std::vector<std::uint8_t>>> ReadRaw(
      std::string_view name, std::string* failure = nullptr) const;

  std::shared_ptr<Database> db_;  // null for an extension key answered from the MIME database
  Hive hive_;
  std::int64_t id_;
  std::string path_;
  std::string mimeType_;  // that extension key's content type
};

// The user's Run key: each of its text values is mirrored to an XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/*.desktop) whose Exec is the value's data, its program word
// ("Z:\...") by its POSIX path.
inline constexpr std::string_view kRunKeyPath =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// A "short path": the path itself, in double quotes when it holds a blank.
std::string ShortPath(std::string_view path);

// Where the database of this user lives (POSIX path).
std::string DatabasePath();

}  // namespace platform::registry
