#include "platform/registry/database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/fs/fs.h"
#include "platform/registry/registry.h"
#include "platform/shell/user_folders.h"
#include "platform/text/text.h"

namespace platform::registry {
namespace {

constexpr int kBusyTimeoutMs = 5000;
constexpr int kSchemaVersion = 1;

// Keys and values keep the spelling they were created with in `name` and are looked up by
// `folded`; ids are AUTOINCREMENT so they give the creation order and are never reused (a Key
// of a deleted key can never find another key under its id).
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER,
  name TEXT NOT NULL,
  folded TEXT NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS keys_by_name ON keys(parent, folded);
CREATE TABLE IF NOT EXISTS vals(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  key INTEGER NOT NULL,
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS vals_by_name ON vals(key, folded);
INSERT OR IGNORE INTO keys(id, parent, name, folded) VALUES
  (1, NULL, 'HKEY_CURRENT_USER', ''),
  (2, NULL, 'HKEY_LOCAL_MACHINE', ''),
  (3, NULL, 'HKEY_CLASSES_ROOT', '');
PRAGMA user_version = 1;
)sql";

std::optional<int> UserVersion(sqlite3* db) {
  Statement s(db, "PRAGMA user_version");
  if (s.Step() != SQLITE_ROW) return std::nullopt;
  return static_cast<int>(s.Int(0));
}

bool IsLocked(int rc) {
  return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
}

// Empty when the schema is there (or was created), else why not.
std::string PrepareSchema(sqlite3* db) {
  const std::string foreign = "holds another program's tables or a newer layout";
  auto version = UserVersion(db);
  if (version == kSchemaVersion) return {};
  if (!version) return ReadFailure(db);
  if (version != 0) return foreign;  // not ours, or a newer layout: leave it alone
  WriteTransaction tx(db);
  if (!tx) return ReadFailure(db);
  // Another process may have created it while we waited for the lock.
  version = UserVersion(db);
  if (version == kSchemaVersion) return {};
  if (!version) return ReadFailure(db);
  if (version != 0) return foreign;
  if (sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK || !tx.Commit())
    return "could not be written: " + std::string(sqlite3_errmsg(db));
  return {};
}

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};

}  // namespace

std::string DatabasePath() {
  if (const char* home = std::getenv("QUORVA_HOME"); home && *home) {
    std::string p = home;
    if (p.back() != '/') p += '/';
    return p + "registry.sqlite";
  }
  const std::string config = shell::ConfigHome();
  if (config.empty()) return {};
  return config + "/QuorvaBackup/registry.sqlite";
}

std::shared_ptr<Database> Database::Shared(std::string* failure) {
  static std::mutex mutex;
  static std::shared_ptr<Database> shared;
  std::lock_guard lock(mutex);

  const std::string path = DatabasePath();
  auto fail = [&](std::string_view why) -> std::shared_ptr<Database> {
    if (failure) *failure = "the registry " + path + " " + std::string(why);
    return nullptr;
  };
  if (path.empty()) return fail("has no folder (neither QUORVA_HOME nor a home folder is set)");
  if (shared && shared->pid_ == getpid() && shared->path_ == path) return shared;
  shared.reset();

  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    try {
      if (!fs::CreateDirectories(fs::FromPosix(path.substr(0, slash))))
        return fail("cannot be created: its folder cannot be made");
    } catch (const fs::FsError& e) {
      return fail(std::string("cannot be created: ") + e.what());
    }
  }

  sqlite3* raw = nullptr;
  const int rc =
      sqlite3_open_v2(path.c_str(), &raw,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  std::unique_ptr<sqlite3, SqliteCloser> db(raw);
  if (rc != SQLITE_OK)
    return fail("cannot be opened: " + std::string(db ? sqlite3_errmsg(db.get()) : "no memory"));
  // The registry holds the user's settings and mail passwords: readable by the user only. The
  // open leaves a new database empty; it is made the user's own before its first page is
  // written, and SQLite gives its -wal and -shm files the database file's permissions. A mode
  // change, not an open of our own: closing any descriptor of the file would drop the locks
  // every SQLite connection of the process holds on it.
  if (struct stat st; stat(path.c_str(), &st) == 0 && st.st_size == 0)
    chmod(path.c_str(), S_IRUSR | S_IWUSR);
  sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
  // WAL lets readers go on while another process writes. The mode is kept in the file, so a
  // connection that could not switch it still follows it once set; one that found the file
  // locked for the whole time-out gives up at once rather than wait as long again for the schema.
  if (IsLocked(sqlite3_exec(db.get(), "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr)))
    return fail(ReadFailure(db.get()));
  if (const std::string why = PrepareSchema(db.get()); !why.empty()) return fail(why);

  shared = std::make_shared<Database>(Passkey{}, db.get(), path);
  db.release();
  return shared;
}

Database::Database(Passkey, sqlite3* db, std::string path)
    : db_(db), path_(std::move(path)), pid_(getpid()) {}

Database::~Database() {
  // A forked copy must not close: that could checkpoint or unlink files the parent still uses.
  if (pid_ == getpid()) sqlite3_close(db_);
}

Database::Lock::Lock(Database& db) : lock_(db.mutex_), usable_(db.pid_ == getpid()) {}

Statement::Statement(sqlite3* db, const char* sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) == SQLITE_OK) stmt_.reset(raw);
}

Statement& Statement::Bind(int index, std::int64_t value) {
  if (!stmt_ || sqlite3_bind_int64(stmt_.get(), index, value) != SQLITE_OK) bindFailed_ = true;
  return *this;
}

Statement& Statement::BindText(int index, std::string_view text) {
  // A null pointer would bind SQL NULL; an empty text must stay an empty text.
  const char* p = text.data() ? text.data() : "";
  if (!stmt_ || sqlite3_bind_text64(stmt_.get(), index, p, text.size(), SQLITE_TRANSIENT,
                                    SQLITE_UTF8) != SQLITE_OK)
    bindFailed_ = true;
  return *this;
}

Statement& Statement::BindBlob(int index, const void* data, size_t n) {
  static const std::uint8_t kEmpty = 0;
  if (!stmt_ ||
      sqlite3_bind_blob64(stmt_.get(), index, n ? data : &kEmpty, n, SQLITE_TRANSIENT) != SQLITE_OK)
    bindFailed_ = true;
  return *this;
}

int Statement::Step() {
  if (!stmt_ || bindFailed_) return SQLITE_ERROR;
  return sqlite3_step(stmt_.get());
}

std::int64_t Statement::Int(int column) const {
  return sqlite3_column_int64(stmt_.get(), column);
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(stmt_.get(), column) == SQLITE_NULL;
}

std::string Statement::Text(int column) const {
  const auto* p = sqlite3_column_text(stmt_.get(), column);
  const int n = sqlite3_column_bytes(stmt_.get(), column);
  if (!p || n <= 0) return {};
  return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n));
}

std::vector<std::uint8_t> Statement::Blob(int column) const {
  const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_.get(), column));
  const int n = sqlite3_column_bytes(stmt_.get(), column);
  if (!p || n <= 0) return {};
  return std::vector<std::uint8_t>(p, p + n);
}

WriteTransaction::WriteTransaction(sqlite3* db)
    : db_(db),
      active_(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK) {}

WriteTransaction::~WriteTransaction() {
  if (active_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool WriteTransaction::Commit() {
  if (!active_) return false;
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
  active_ = false;
  return true;
}

std::string ReadFailure(sqlite3* db) {
  if (IsLocked(sqlite3_errcode(db)))
    return "is locked by another process (" + std::string(sqlite3_errmsg(db)) + ")";
  return "could not be read: " + std::string(sqlite3_errmsg(db));
}

std::optional<std::int64_t> FindChild(sqlite3* db, std::int64_t parent, std::string_view name,
                                      bool* failed) {
  Statement s(db, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
  s.Bind(1, parent).BindText(2, text::FoldCase(name));
  const int rc = s.Step();
  if (rc == SQLITE_ROW) return s.Int(0);
  if (rc != SQLITE_DONE && failed) *failed = true;
  return std::nullopt;
}

bool KeyExists(sqlite3* db, std::int64_t id) {
  Statement s(db, "SELECT 1 FROM keys WHERE id = ?1");
  s.Bind(1, id);
  return s.Step() == SQLITE_ROW;
}

}  // namespace platform::registry
