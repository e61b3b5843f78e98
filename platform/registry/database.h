// The registry's SQLite connection, shared by every Key of the process, and thin RAII
// wrappers for its statements and write transactions.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

// Root key ids of the three hives, inserted when the schema is created.
inline constexpr std::int64_t kRootIds[] = {1, 2, 3};

class Database {
  struct Passkey {
    explicit Passkey() = default;
  };

 public:
  // The process's connection to DatabasePath(), opened (and the schema created) at first use;
  // a changed path opens a new one. Null when the database cannot be opened, `failure` (when
  // given) then saying why. A database another process holds locked is waited for no longer
  // than the busy time-out.
  static std::shared_ptr<Database> Shared(std::string* failure = nullptr);

  Database(Passkey, sqlite3* db, std::string path);  // for Shared() only
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Serialises the use of the connection; holds no lock (and tells so) in a process forked
  // from the one that opened it, where SQLite must not touch the connection.
  class Lock {
   public:
    explicit Lock(Database& db);
    explicit operator bool() const { return usable_; }

   private:
    std::unique_lock<std::mutex> lock_;
    bool usable_;
  };

  sqlite3* Handle() const { return db_; }
  const std::string& FilePath() const { return path_; }

 private:
  sqlite3* db_;
  std::string path_;
  pid_t pid_;
  std::mutex mutex_;
};

// One prepared statement. A statement that failed to prepare fails every Step.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql);
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::int64_t value);
  Statement& BindText(int index, std::string_view text);
  Statement& BindBlob(int index, const void* data, size_t n);
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step();
  bool Done() { return Step() == SQLITE_DONE; }

  std::int64_t Int(int column) const;
  bool IsNull(int column) const;
  std::string Text(int column) const;
  std::vector<std::uint8_t> Blob(int column) const;

 private:
  struct Finalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
  };
  std::unique_ptr<sqlite3_stmt, Finalizer> stmt_;
  bool bindFailed_ = false;
};

// BEGIN IMMEDIATE: the write lock is taken up front, so a writer waits (busy timeout) instead
// of failing half-way. Rolled back unless committed.
class WriteTransaction {
 public:
  explicit WriteTransaction(sqlite3* db);
  ~WriteTransaction();
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;

  explicit operator bool() const { return active_; }
  bool Commit();

 private:
  sqlite3* db_;
  bool active_;
};

// Why a statement on the connection failed, for a caller's failure text.
std::string ReadFailure(sqlite3* db);

// The id of a key's child named `name` (case ignored). `failed`, when given, is set when the
// database could not be read (rather than the child being missing).
std::optional<std::int64_t> FindChild(sqlite3* db, std::int64_t parent, std::string_view name,
                                      bool* failed = nullptr);
bool KeyExists(sqlite3* db, std::int64_t id);

}  // namespace platform::registry
