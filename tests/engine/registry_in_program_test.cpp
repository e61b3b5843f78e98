// The registry in a process laid out as the program is (the engine and libhalvorin.so, both on
// the platform layers' one shared library): the library opens the database as it loads, the
// program's code writes to it, and the sqlite3 program reads and writes the same database
// between and during those writes. Nothing either side wrote may go missing, and no file of
// the database may be deleted while this process has it open.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "halvorin.h"
#include "platform/registry/registry.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace reg = platform::registry;

namespace {

constexpr const char* kSharedKey = "\\Software\\QuorvaTest\\Shared";
constexpr int kInterleaved = 30;
constexpr int kConcurrent = 200;
constexpr int kOtherRuns = 20;

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// One run of the sqlite3 program on the database: its output, trailing line break removed.
std::string Sqlite(const std::string& database, const std::string& sql) {
  std::string out;
  EXPECT_EQ(
      RunCommand("sqlite3 -bail -cmd '.timeout 10000' " + Quote(database) + " " + Quote(sql), &out),
      0)
      << sql << "\n"
      << out;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// The sqlite3 program's write of a text value into the shared key.
std::string OtherInsert(const std::string& name) {
  return "INSERT INTO vals(key, name, folded, type, data) SELECT id, '" + name + "', '" + name +
         "', 1, CAST('data of " + name + "' AS BLOB) FROM keys WHERE folded = 'shared';";
}

// The open descriptors of this process whose file lies below `folder`, as the kernel names
// them (a deleted file ends in " (deleted)").
std::vector<std::string> OpenFilesBelow(const std::string& folder) {
  std::vector<std::string> files;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return files;
  while (dirent* e = readdir(d)) {
    std::string target(4096, '\0');
    const std::string link = std::string("/proc/self/fd/") + e->d_name;
    const ssize_t n = readlink(link.c_str(), target.data(), target.size() - 1);
    if (n <= 0) continue;
    target.resize(static_cast<size_t>(n));
    if (target.rfind(folder + "/", 0) == 0) files.push_back(target);
  }
  closedir(d);
  return files;
}

void ExpectNoneDeleted(const std::string& folder, const std::string& when) {
  for (const auto& f : OpenFilesBelow(folder))
    EXPECT_EQ(f.find("(deleted)"), std::string::npos) << when << ": " << f;
}

bool LibraryLoaded() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find("/libhalvorin.so") != std::string::npos) return true;
  return false;
}

}  // namespace

TEST(RegistryInProgram, ValuesOfBothProcessesStayAndNoFileIsDeleted) {
  if (IsTestChild()) GTEST_SKIP() << "the child runs the cases";
  TempDir dir;
  const std::string home = dir.P("home");
  std::string out;
  // The child starts with the database's folder set, so that the library's start-up, as the
  // loader runs it, opens the database before the program's code does.
  EXPECT_EQ(RunThisProgram("RegistryInProgramChild.*",
                           {"QUORVA_HOME=" + home, "XDG_CONFIG_HOME=" + dir.P("config")}, &out),
            0)
      << out;
  EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;

  // Every value of both sides, as the sqlite3 program reads them afterwards.
  const std::string database = home + "/registry.sqlite";
  EXPECT_EQ(Sqlite(database, "PRAGMA integrity_check;"), "ok");
  std::set<std::string> names;
  std::string listed = Sqlite(database,
                              "SELECT vals.name FROM vals JOIN keys ON vals.key = keys.id WHERE "
                              "keys.folded = 'shared';");
  for (size_t start = 0; start < listed.size();) {
    const size_t end = std::min(listed.find('\n', start), listed.size());
    names.insert(listed.substr(start, end - start));
    start = end + 1;
  }
  std::set<std::string> expected;
  for (int i = 0; i < kInterleaved; ++i) {
    expected.insert("program-" + std::to_string(i));
    expected.insert("other-" + std::to_string(i));
  }
  for (int i = 0; i < kConcurrent; ++i) expected.insert("program-busy-" + std::to_string(i));
  for (int i = 0; i < kOtherRuns; ++i) expected.insert("other-busy-" + std::to_string(i));
  EXPECT_EQ(names, expected);
}

TEST(RegistryInProgramChild, WritesBetweenAndDuringAnotherProcess) {
  if (!IsTestChild()) GTEST_SKIP() << "run by RegistryInProgram.*";
  const std::string database = reg::DatabasePath();
  const std::string folder = database.substr(0, database.rfind('/'));
  // A call into the library, as the program's disc delivery makes them: the program loads it.
  EXPECT_NE(Halvorin_GetVersion(), 0u);
  ASSERT_TRUE(LibraryLoaded());
  // The library's start-up has the database open already.
  ASSERT_FALSE(OpenFilesBelow(folder).empty());

  auto key = reg::Key::Open(reg::Hive::CurrentUser, kSharedKey, true);
  ASSERT_TRUE(key);
  // In turns: a value of this process, then the other process reads everything and adds its
  // own value and ends (the last connection to close cleans up the database's files).
  for (int i = 0; i < kInterleaved; ++i) {
    const std::string mine = "program-" + std::to_string(i);
    const std::string other = "other-" + std::to_string(i);
    ASSERT_TRUE(key->WriteString(mine, "data of " + mine)) << mine;
    EXPECT_EQ(Sqlite(database,
                     "SELECT count(*) FROM vals JOIN keys ON vals.key = keys.id WHERE keys.folded "
                     "= 'shared'; " +
                         OtherInsert(other)),
              std::to_string(2 * i + 1));
    EXPECT_EQ(key->ReadString(other), "data of " + other);
    ExpectNoneDeleted(folder, "after " + other);
  }

  // At once: the other process writes and reads in a loop while this one writes.
  std::string loop = "for i in $(seq 0 " + std::to_string(kOtherRuns - 1) + "); do sqlite3 -bail " +
                     "-cmd '.timeout 10000' " + Quote(database) + " \"SELECT count(*) FROM keys; " +
                     "INSERT INTO vals(key, name, folded, type, data) SELECT id, 'other-busy-$i', "
                     "'other-busy-$i', 1, CAST('data of other-busy-$i' AS BLOB) FROM keys WHERE "
                     "folded = 'shared';\" >/dev/null || exit 1; done";
  std::FILE* other = popen(loop.c_str(), "r");
  ASSERT_NE(other, nullptr);
  for (int i = 0; i < kConcurrent; ++i) {
    const std::string mine = "program-busy-" + std::to_string(i);
    EXPECT_TRUE(key->WriteString(mine, "data of " + mine)) << mine;
    if (i % 20 == 0) ExpectNoneDeleted(folder, "while writing " + mine);
  }
  EXPECT_EQ(pclose(other), 0);
  ExpectNoneDeleted(folder, "after the other process");

  // This process sees every value of both.
  for (int i = 0; i < kOtherRuns; ++i) {
    const std::string name = "other-busy-" + std::to_string(i);
    EXPECT_EQ(key->ReadString(name), "data of " + name);
  }
  EXPECT_EQ(key->ValueNames().size(),
            static_cast<size_t>(2 * kInterleaved + kConcurrent + kOtherRuns));
  for (int i = 0; i < kConcurrent; ++i) {
    const std::string name = "program-busy-" + std::to_string(i);
    EXPECT_EQ(key->ReadString(name), "data of " + name);
  }
}
