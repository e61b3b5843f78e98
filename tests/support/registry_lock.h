// A registry database held locked by another process: the sqlite3 program switches it to a
// rollback journal and holds BEGIN EXCLUSIVE, so that nobody else can read or write it, until
// it is released. Nothing of this process may have the database open when it starts.
#pragma once

#include <cstdio>
#include <string>

class TRegistryHeldLocked {
 public:
  // `database` is a POSIX path; `scratch` a folder of the test's own.
  TRegistryHeldLocked(const std::string& database, const std::string& scratch);
  ~TRegistryHeldLocked();
  TRegistryHeldLocked(const TRegistryHeldLocked&) = delete;
  TRegistryHeldLocked& operator=(const TRegistryHeldLocked&) = delete;

  // True once the lock is held.
  bool Locked() const { return locked_; }
  // Commits and waits until the sqlite3 program has ended; true when it ended well.
  bool Release();

 private:
  std::FILE* output_ = nullptr;  // the sqlite3 program's standard output
  int commands_ = -1;            // its standard input, a FIFO
  bool locked_ = false;
};
