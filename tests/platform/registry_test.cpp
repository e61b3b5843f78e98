#include "platform/registry/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

#include "tests/support/registry_lock.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace reg = platform::registry;
using reg::Hive;
using reg::Key;
using reg::ValueType;

namespace {

constexpr const char* kTestKey = "\\Software\\QuorvaTest";

// One shell word.
std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::vector<std::string> ListFolder(const std::string& posix) {
  std::vector<std::string> names;
  if (DIR* d = opendir(posix.c_str())) {
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
        names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Output of the sqlite3 program on the test's database.
std::string Sql(const std::string& sql) {
  std::string out;
  EXPECT_EQ(RunCommand("sqlite3 " + Quote(reg::DatabasePath()) + " " + Quote(sql), &out), 0) << out;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// Starts this test program again, running only RegistryChild.DISABLED_Main in the given mode.
// `barrierFd`, when given, becomes the child's descriptor 10.
pid_t SpawnChild(const std::map<std::string, std::string>& vars, int barrierFd = -1) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  for (const auto& [k, v] : vars) env.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (auto& s : env) envp.push_back(s.data());
  envp.push_back(nullptr);

  std::string exe(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", exe.data(), exe.size() - 1);
  if (n <= 0) return -1;
  exe.resize(static_cast<size_t>(n));
  std::string filter = "--gtest_filter=RegistryChild.DISABLED_Main";
  std::string disabled = "--gtest_also_run_disabled_tests";
  char* argv[] = {exe.data(), filter.data(), disabled.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (barrierFd >= 0) posix_spawn_file_actions_adddup2(&actions, barrierFd, 10);
  pid_t pid = -1;
  if (posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int WaitChild(pid_t pid) {
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunChild(const std::map<std::string, std::string>& vars) {
  return WaitChild(SpawnChild(vars));
}

// Every test gets its own database and configuration folder.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", dir_.P("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir_.P("config").c_str(), 1);
  }
  std::string Autostart() const { return dir_.P("config/autostart"); }
  std::vector<std::string> Entries() const { return ListFolder(Autostart()); }

  TempDir dir_;
};

// The values the restart test writes in one process and reads in the next.
void WriteTypedValues(Key& k) {
  const std::uint8_t bytes[] = {0, 1, 0xFF, 0, 0x80};
  ASSERT_TRUE(k.WriteString("Text", "Grüße \"quoted\" C:\\path"));
  ASSERT_TRUE(k.WriteString("", "the default value"));
  ASSERT_TRUE(k.WriteDWord("Number", 0xDEADBEEF));
  ASSERT_TRUE(k.WriteBinary("userdata", bytes, sizeof bytes));
}

void ExpectTypedValues(const Key& k) {
  EXPECT_EQ(k.ReadString("text"), "Grüße \"quoted\" C:\\path");
  EXPECT_EQ(k.ReadString(""), "the default value");
  EXPECT_EQ(k.ReadDWord("NUMBER"), 0xDEADBEEFu);
  EXPECT_EQ(k.ReadBinary("UserData"), (std::vector<std::uint8_t>{0, 1, 0xFF, 0, 0x80}));
  EXPECT_EQ(k.ValueNames(), (std::vector<std::string>{"Text", "", "Number", "userdata"}));
}

}  // namespace

// The other half of the multi-process tests; runs only when a test starts it.
TEST(RegistryChild, DISABLED_Main) {
  const char* mode = std::getenv("QV_REG_CHILD");
  ASSERT_NE(mode, nullptr);
  const std::string m = mode;
  if (m == "write") {
    auto k = Key::Open(Hive::CurrentUser, kTestKey, true);
    ASSERT_TRUE(k);
    WriteTypedValues(*k);
  } else if (m == "verify") {
    auto k = Key::Open(Hive::CurrentUser, kTestKey, false);
    ASSERT_TRUE(k);
    ExpectTypedValues(*k);
  } else if (m == "delete") {
    auto k = Key::Open(Hive::CurrentUser, "\\Software", false);
    ASSERT_TRUE(k);
    ASSERT_TRUE(k->DeleteSubKey("QuorvaTest"));
  } else if (m == "writer") {
    // Wait until the parent has started both writers.
    char c;
    while (read(10, &c, 1) > 0) {
    }
    close(10);
    const std::string prefix = std::getenv("QV_REG_PREFIX");
    auto k = Key::Open(Hive::CurrentUser, "\\Software\\QuorvaTest\\Shared", true);
    ASSERT_TRUE(k);
    for (int i = 0; i < 200; ++i) {
      const std::string name = prefix + "-" + std::to_string(i);
      if (i % 2)
        ASSERT_TRUE(k->WriteDWord(name, static_cast<std::uint32_t>(i))) << name;
      else
        ASSERT_TRUE(k->WriteString(name, "data of " + name)) << name;
    }
  } else {
    FAIL() << "unknown mode " << m;
  }
}

TEST_F(RegistryTest, TypedValuesRoundTrip) {
  auto k = Key::Open(Hive::CurrentUser, kTestKey, true);
  ASSERT_TRUE(k);
  WriteTypedValues(*k);
  ExpectTypedValues(*k);

  EXPECT_EQ(k->TypeOf("text"), ValueType::String);
  EXPECT_EQ(k->TypeOf("Number"), ValueType::DWord);
  EXPECT_EQ(k->TypeOf("userdata"), ValueType::Binary);
  EXPECT_EQ(k->TypeOf("missing"), std::nullopt);
  // A reader of another type gets nothing.
  EXPECT_EQ(k->ReadDWord("Text"), std::nullopt);
  EXPECT_EQ(k->ReadString("Number"), std::nullopt);
  EXPECT_EQ(k->ReadBinary("Number"), std::nullopt);

  const std::string inner("a\0b", 3);
  std::vector<std::uint8_t> big(1 << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(k->WriteString("empty", ""));
  ASSERT_TRUE(k->WriteString("inner nul", inner));
  ASSERT_TRUE(k->WriteBinary("no bytes", nullptr, 0));
  ASSERT_TRUE(k->WriteBinary("big", big.data(), big.size()));
  ASSERT_TRUE(k->WriteDWord("zero", 0));
  EXPECT_EQ(k->ReadString("empty"), "");
  EXPECT_EQ(k->ReadString("inner nul"), inner);
  EXPECT_EQ(k->ReadBinary("no bytes"), std::vector<std::uint8_t>());
  EXPECT_EQ(k->ReadBinary("big"), big);
  EXPECT_EQ(k->ReadDWord("zero"), 0u);
  EXPECT_FALSE(k->WriteBinary("null data", nullptr, 4));
  EXPECT_EQ(k->TypeOf("null data"), std::nullopt);

  // A write replaces the value whatever its type; it keeps its place and first spelling.
  ASSERT_TRUE(k->WriteDWord("TEXT", 7));
  EXPECT_EQ(k->ReadString("Text"), std::nullopt);
  EXPECT_EQ(k->ReadDWord("text"), 7u);
  EXPECT_EQ(k->ValueNames().at(0), "Text");
  EXPECT_EQ(Sql("SELECT data FROM vals WHERE name = 'Number'"), "\xEF\xBE\xAD\xDE");
}

TEST_F(RegistryTest, KeysAreCaseInsensitiveAndPathsNormalised) {
  auto created = Key::Open(Hive::CurrentUser, "Software\\QuorvaTest\\Ärger\\Sub", true);
  ASSERT_TRUE(created);
  EXPECT_EQ(created->Path(), "\\Software\\QuorvaTest\\Ärger\\Sub");
  ASSERT_TRUE(created->WriteString("Name", "value"));

  for (const char* path :
       {"\\software\\QUORVATEST\\ärger\\sub", "\\\\Software\\\\QuorvaTest\\ÄRGER\\Sub\\",
        "SOFTWARE\\quorvatest\\Ärger\\SUB"}) {
    auto k = Key::Open(Hive::CurrentUser, path, false);
    ASSERT_TRUE(k) << path;
    EXPECT_EQ(k->ReadString("NAME"), "value") << path;
  }
  // Opening with create under another spelling finds the same key, making no twin.
  ASSERT_TRUE(Key::Open(Hive::CurrentUser, "\\SOFTWARE\\QUORVATEST\\ÄRGER", true));
  auto parent = Key::Open(Hive::CurrentUser, kTestKey, false);
  ASSERT_TRUE(parent);
  EXPECT_EQ(parent->SubKeyNames(), std::vector<std::string>{"Ärger"});

  EXPECT_FALSE(Key::Open(Hive::CurrentUser, "\\Software\\QuorvaTest\\Missing", false));
  EXPECT_FALSE(Key::Open(Hive::CurrentUser, "\\Software\\QuorvaTest\\Ärger\\Sub\\Deeper", false));

  // The hives are apart; the hive's root opens with an empty path.
  EXPECT_FALSE(Key::Open(Hive::LocalMachine, kTestKey, false));
  auto machine = Key::Open(Hive::LocalMachine, kTestKey, true);
  ASSERT_TRUE(machine);
  EXPECT_EQ(machine->ReadString("Name"), std::nullopt);
  auto root = Key::Open(Hive::LocalMachine, "\\", false);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->Path(), "");
  EXPECT_EQ(root->SubKeyNames(), std::vector<std::string>{"Software"});
}

TEST_F(RegistryTest, EnumerationFollowsCreationOrder) {
  auto k = Key::Open(Hive::CurrentUser, kTestKey, true);
  ASSERT_TRUE(k);
  for (const char* name : {"zeta", "Alpha", "mid", "beta"})
    ASSERT_TRUE(Key::Open(Hive::CurrentUser, std::string(kTestKey) + "\\" + name, true));
  EXPECT_EQ(k->SubKeyNames(), (std::vector<std::string>{"zeta", "Alpha", "mid", "beta"}));

  for (const char* name : {"z", "a", "m", "b"}) ASSERT_TRUE(k->WriteDWord(name, 1));
  ASSERT_TRUE(k->WriteString("Z", "rewritten"));  // keeps its place
  ASSERT_TRUE(k->DeleteValue("a"));
  ASSERT_TRUE(k->WriteDWord("A", 2));  // created anew: last
  EXPECT_EQ(k->ValueNames(), (std::vector<std::string>{"z", "m", "b", "A"}));

  ASSERT_TRUE(k->DeleteSubKey("Alpha"));
  ASSERT_TRUE(Key::Open(Hive::CurrentUser, std::string(kTestKey) + "\\alpha", true));
  EXPECT_EQ(k->SubKeyNames(), (std::vector<std::string>{"zeta", "mid", "beta", "alpha"}));
}

TEST_F(RegistryTest, DeleteValueAndSubKeyRecursively) {
  auto k = Key::Open(Hive::CurrentUser, kTestKey, true);
  ASSERT_TRUE(k);
  ASSERT_TRUE(k->WriteString("keep", "1"));
  ASSERT_TRUE(k->WriteString("drop", "2"));
  EXPECT_TRUE(k->DeleteValue("DROP"));
  EXPECT_FALSE(k->DeleteValue("drop"));
  EXPECT_EQ(k->ValueNames(), std::vector<std::string>{"keep"});

  for (const char* path : {"Tree\\A\\A1\\A11", "Tree\\A\\A2", "Tree\\B", "Other"}) {
    auto sub = Key::Open(Hive::CurrentUser, std::string(kTestKey) + "\\" + path, true);
    ASSERT_TRUE(sub);
    ASSERT_TRUE(sub->WriteDWord("v", 1));
  }
  auto held = Key::Open(Hive::CurrentUser, std::string(kTestKey) + "\\Tree\\A\\A1", false);
  ASSERT_TRUE(held);

  EXPECT_FALSE(k->DeleteSubKey("Missing"));
  EXPECT_FALSE(k->DeleteSubKey(""));
  EXPECT_TRUE(k->DeleteSubKey("tree"));
  EXPECT_EQ(k->SubKeyNames(), std::vector<std::string>{"Other"});
  EXPECT_FALSE(Key::Open(Hive::CurrentUser, std::string(kTestKey) + "\\Tree\\A\\A1\\A11", false));
  // Nothing of the tree is left behind in the database.
  EXPECT_EQ(Sql("SELECT count(*) FROM keys WHERE parent IS NOT NULL AND parent NOT IN "
                "(SELECT id FROM keys)"),
            "0");
  EXPECT_EQ(Sql("SELECT count(*) FROM vals WHERE key NOT IN (SELECT id FROM keys)"), "0");
  EXPECT_EQ(Sql("SELECT count(*) FROM vals"), "2");

  // A Key of a deleted key reads nothing and writes nothing, even once the path is made anew.
  ASSERT_TRUE(Key::Open(Hive::CurrentUser, std::string(kTestKey) + "\\Tree\\A\\A1", true));
  EXPECT_EQ(held->ReadDWord("v"), std::nullopt);
  EXPECT_FALSE(held->WriteDWord("v", 2));
  EXPECT_FALSE(held->DeleteValue("v"));
  EXPECT_TRUE(held->SubKeyNames().empty());
  EXPECT_FALSE(Key::Open(Hive::CurrentUser, std::string(kTestKey) + "\\Tree\\A\\A1\\A11", false));

  // A path below the key deletes only its last key.
  ASSERT_TRUE(Key::Open(Hive::CurrentUser, std::string(kTestKey) + "\\Other\\Inner", true));
  EXPECT_TRUE(k->DeleteSubKey("Other\\Inner"));
  EXPECT_TRUE(Key::Open(Hive::CurrentUser, std::string(kTestKey) + "\\Other", false));
}

TEST_F(RegistryTest, DatabaseLocationFollowsEnvironment) {
  struct Case {
    const char* quorvaHome;  // nullptr: unset; a leading '/' is a folder in the test's folder
    const char* xdgConfig;
    const char* expected;
  };
  const Case cases[] = {
      {"/qh", "/xdg", "qh/registry.sqlite"},
      {"/qh/", "/xdg", "qh/registry.sqlite"},
      {nullptr, "/xdg", "xdg/QuorvaBackup/registry.sqlite"},
      {"", "/xdg", "xdg/QuorvaBackup/registry.sqlite"},
      {nullptr, nullptr, "home/.config/QuorvaBackup/registry.sqlite"},
      {nullptr, "relative/ignored", "home/.config/QuorvaBackup/registry.sqlite"},
  };
  setenv("HOME", dir_.P("home").c_str(), 1);
  auto set = [&](const char* var, const char* value) {
    if (!value)
      unsetenv(var);
    else if (value[0] == '/')
      setenv(var, dir_.P(value + 1).c_str(), 1);
    else
      setenv(var, value, 1);
  };
  for (const auto& c : cases) {
    set("QUORVA_HOME", c.quorvaHome);
    set("XDG_CONFIG_HOME", c.xdgConfig);
    EXPECT_EQ(reg::DatabasePath(), dir_.P(c.expected)) << c.expected;
    // The folder is made at first use; the file is the user's alone and a real database.
    auto k = Key::Open(Hive::CurrentUser, kTestKey, true);
    ASSERT_TRUE(k) << c.expected;
    ASSERT_TRUE(k->WriteString("where", c.expected));
    struct stat st;
    ASSERT_EQ(stat(dir_.P(c.expected).c_str(), &st), 0) << c.expected;
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Sql("SELECT count(*) FROM vals WHERE name = 'where'"), "1");
  }
}

// A damaged table whose parents loop: the root's parent set to a key inside its own subtree.
// Deleting a subkey on that loop ends with an error and deletes nothing; one off the loop still
// goes, with its own subtree only.
TEST_F(RegistryTest, DeletingAroundALoopOfParentsEnds) {
  for (const char* path : {"Loop\\A\\B", "Loop\\Side\\Leaf"}) {
    auto sub = Key::Open(Hive::CurrentUser, std::string(kTestKey) + "\\" + path, true);
    ASSERT_TRUE(sub);
    ASSERT_TRUE(sub->WriteDWord("v", 1));
  }
  Sql("UPDATE keys SET parent = (SELECT id FROM keys WHERE name = 'B') WHERE id = 1");
  const std::string keys = Sql("SELECT count(*) FROM keys");
  auto loop = Key::Open(Hive::CurrentUser, std::string(kTestKey) + "\\Loop", false);
  ASSERT_TRUE(loop);
  EXPECT_FALSE(loop->DeleteSubKey("A"));
  EXPECT_EQ(Sql("SELECT count(*) FROM keys"), keys);
  EXPECT_TRUE(loop->DeleteSubKey("Side"));
  EXPECT_EQ(std::stoi(Sql("SELECT count(*) FROM keys")), std::stoi(keys) - 2);
  EXPECT_EQ(loop->SubKeyNames(), std::vector<std::string>{"A"});
}

TEST_F(RegistryTest, StoredValuesAreCheckedOnRead) {
  auto k = Key::Open(Hive::CurrentUser, kTestKey, true);
  ASSERT_TRUE(k);
  struct Case {
    const char* name;
    const char* typeAndData;  // SQL for the stored type and data
    std::optional<ValueType> type;
    std::optional<std::uint32_t> dword;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {"short dword", "4, X'010203'", ValueType::DWord, std::nullopt, std::nullopt},
      {"long dword", "4, X'0102030405'", ValueType::DWord, std::nullopt, std::nullopt},
      {"empty dword", "4, X''", ValueType::DWord, std::nullopt, std::nullopt},
      {"good dword", "4, X'01020304'", ValueType::DWord, 0x04030201u, std::nullopt},
      {"nul ended", "1, X'61626300'", ValueType::String, std::nullopt, "abc"},
      {"nuls ended", "1, X'6100000000'", ValueType::String, std::nullopt, "a"},
      {"only nul", "1, X'00'", ValueType::String, std::nullopt, ""},
      {"unknown type", "2, X'616263'", std::nullopt, std::nullopt, std::nullopt},
      {"negative type", "-4, X'01020304'", std::nullopt, std::nullopt, std::nullopt},
      {"text data", "1, 'plain'", ValueType::String, std::nullopt, "plain"},
  };
  for (const auto& c : cases) ASSERT_TRUE(k->WriteBinary(c.name, "x", 1));
  for (const auto& c : cases) {
    Sql(std::string("UPDATE vals SET (type, data) = (SELECT ") + c.typeAndData +
        ") WHERE name = '" + c.name + "'");
    EXPECT_EQ(k->TypeOf(c.name), c.type) << c.name;
    EXPECT_EQ(k->ReadDWord(c.name), c.dword) << c.name;
    EXPECT_EQ(k->ReadString(c.name), c.text) << c.name;
    EXPECT_EQ(k->ReadBinary(c.name), std::nullopt) << c.name;
  }
}

TEST_F(RegistryTest, UnusableDatabaseFailsCleanly) {
  // The database folder is a file.
  WriteFile(dir_.P("home"), "not a folder");
  EXPECT_FALSE(Key::Open(Hive::CurrentUser, kTestKey, true));
  EXPECT_FALSE(Key::Open(Hive::CurrentUser, kTestKey, false));

  // The database file holds something else.
  setenv("QUORVA_HOME", dir_.P("other").c_str(), 1);
  WriteFile(dir_.P("other/registry.sqlite"), std::string(8192, 'x'));
  EXPECT_FALSE(Key::Open(Hive::CurrentUser, kTestKey, true));
  EXPECT_FALSE(Key::Open(Hive::LocalMachine, "", false));
  EXPECT_EQ(ReadFile(dir_.P("other/registry.sqlite")), std::string(8192, 'x'));

  // A usable database again: a Key opened before keeps working.
  setenv("QUORVA_HOME", dir_.P("good").c_str(), 1);
  auto k = Key::Open(Hive::CurrentUser, kTestKey, true);
  ASSERT_TRUE(k);
  setenv("QUORVA_HOME", dir_.P("other").c_str(), 1);
  EXPECT_TRUE(k->WriteDWord("still", 1));
  EXPECT_EQ(k->ReadDWord("still"), 1u);
}

// A caller can tell a key or value that is missing from a database it could not read.
TEST_F(RegistryTest, FailuresSayWhyAndMissingKeysSayNothing) {
  std::string failure = "stale";
  ASSERT_TRUE(Key::Open(Hive::CurrentUser, kTestKey, true, &failure));
  EXPECT_EQ(failure, "");
  EXPECT_FALSE(Key::Open(Hive::CurrentUser, "\\Software\\Missing", false, &failure));
  EXPECT_EQ(failure, "");
  EXPECT_FALSE(Key::Open(Hive::CurrentUser, kTestKey, false)->ReadBinary("missing", &failure));
  EXPECT_EQ(failure, "");

  WriteFile(dir_.P("file"), "x");
  setenv("QUORVA_HOME", dir_.P("file/home").c_str(), 1);
  EXPECT_FALSE(Key::Open(Hive::CurrentUser, kTestKey, false, &failure));
  EXPECT_EQ(failure.rfind(
                "the registry " + dir_.P("file/home/registry.sqlite") + " cannot be created", 0),
            0u)
      << failure;

  const std::string database = dir_.P("home/registry.sqlite");
  {
    TRegistryHeldLocked lock(database, dir_.Posix());
    ASSERT_TRUE(lock.Locked());
    setenv("QUORVA_HOME", dir_.P("home").c_str(), 1);
    EXPECT_FALSE(Key::Open(Hive::CurrentUser, kTestKey, false, &failure));
    EXPECT_EQ(failure,
              "the registry " + database + " is locked by another process (database is locked)");
    EXPECT_FALSE(Key::Open(Hive::CurrentUser, kTestKey, true, &failure));
    EXPECT_NE(failure.find(" is locked by another process"), std::string::npos) << failure;
    EXPECT_TRUE(lock.Release());
  }
  EXPECT_TRUE(Key::Open(Hive::CurrentUser, kTestKey, false, &failure));
  EXPECT_EQ(failure, "");
}

TEST_F(RegistryTest, ValuesSurviveARestart) {
  ASSERT_EQ(RunChild({{"QV_REG_CHILD", "write"}}), 0);
  ASSERT_EQ(RunChild({{"QV_REG_CHILD", "verify"}}), 0);
  EXPECT_EQ(Sql("PRAGMA journal_mode"), "wal");
}

TEST_F(RegistryTest, KeyDeletedByAnotherProcess) {
  auto k = Key::Open(Hive::CurrentUser, kTestKey, true);
  ASSERT_TRUE(k);
  ASSERT_TRUE(k->WriteString("v", "1"));
  ASSERT_EQ(RunChild({{"QV_REG_CHILD", "delete"}}), 0);
  EXPECT_EQ(k->ReadString("v"), std::nullopt);
  EXPECT_EQ(k->TypeOf("v"), std::nullopt);
  EXPECT_FALSE(k->WriteString("v", "2"));
  EXPECT_FALSE(k->DeleteValue("v"));
  EXPECT_TRUE(k->ValueNames().empty());
  EXPECT_FALSE(Key::Open(Hive::CurrentUser, kTestKey, false));
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  int barrier[2];
  ASSERT_EQ(pipe2(barrier, O_CLOEXEC), 0);
  // Both start on a database that does not exist yet, and write once the other runs too.
  const pid_t a = SpawnChild({{"QV_REG_CHILD", "writer"}, {"QV_REG_PREFIX", "a"}}, barrier[0]);
  const pid_t b = SpawnChild({{"QV_REG_CHILD", "writer"}, {"QV_REG_PREFIX", "b"}}, barrier[0]);
  close(barrier[0]);
  close(barrier[1]);
  ASSERT_EQ(WaitChild(a), 0);
  ASSERT_EQ(WaitChild(b), 0);

  auto k = Key::Open(Hive::CurrentUser, "\\Software\\QuorvaTest\\Shared", false);
  ASSERT_TRUE(k);
  const auto names = k->ValueNames();
  ASSERT_EQ(names.size(), 400u);
  for (const char* prefix : {"a", "b"}) {
    std::vector<std::string> own;
    for (const auto& n : names)
      if (n[0] == prefix[0]) own.push_back(n);
    ASSERT_EQ(own.size(), 200u);
    for (int i = 0; i < 200; ++i) {
      const std::string name = std::string(prefix) + "-" + std::to_string(i);
      EXPECT_EQ(own[static_cast<size_t>(i)], name);  // each writer's order kept
      if (i % 2)
        EXPECT_EQ(k->ReadDWord(name), static_cast<std::uint32_t>(i)) << name;
      else
        EXPECT_EQ(k->ReadString(name), "data of " + name) << name;
    }
  }
  auto parent = Key::Open(Hive::CurrentUser, kTestKey, false);
  ASSERT_TRUE(parent);
  EXPECT_EQ(parent->SubKeyNames(), std::vector<std::string>{"Shared"});
  EXPECT_EQ(Sql("PRAGMA integrity_check"), "ok");
}

TEST_F(RegistryTest, ThreadsShareTheConnection) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      auto k = Key::Open(Hive::CurrentUser, "\\Software\\QuorvaTest\\Threads", true);
      for (int i = 0; i < 50; ++i)
        if (!k || !k->WriteDWord("t" + std::to_string(t) + "-" + std::to_string(i),
                                 static_cast<std::uint32_t>(i)))
          ++failures[static_cast<size_t>(t)];
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  auto k = Key::Open(Hive::CurrentUser, "\\Software\\QuorvaTest\\Threads", false);
  ASSERT_TRUE(k);
  EXPECT_EQ(k->ValueNames().size(), 200u);
  EXPECT_EQ(k->ReadDWord("t3-49"), 49u);
}

TEST(RegistryShortPath, QuotesPathsWithBlanks) {
  const std::pair<const char*, const char*> cases[] = {
      {"Z:\\usr\\bin\\QuorvaBackup", "Z:\\usr\\bin\\QuorvaBackup"},
      {"Z:\\home\\ann\\My Backups\\daily.bpj", "\"Z:\\home\\ann\\My Backups\\daily.bpj\""},
      {"Z:\\a\tb", "\"Z:\\a\tb\""},
      {"", ""},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(reg::ShortPath(path), expected) << path;
}

namespace {

// Reads an autostart entry with GLib (as desktop sessions do) and compares its Name and its
// Exec line, split into words, with the expected ones.
constexpr const char* kEntryChecker = R"py(
import sys
import gi
gi.require_version("GLib", "2.0")
from gi.repository import GLib
path, expected = sys.argv[1], sys.argv[2]
want = open(expected, "rb").read().decode("utf-8").split("\0")
kf = GLib.KeyFile()
kf.load_from_file(path, GLib.KeyFileFlags.NONE)
g = "Desktop Entry"
assert kf.get_string(g, "Type") == "Application"
assert kf.get_boolean(g, "X-GNOME-Autostart-enabled")
name = kf.get_string(g, "Name")
ok, argv = GLib.shell_parse_argv(kf.get_string(g, "Exec"))
argv = [a.replace("%%", "%") for a in argv]
if name != want[0] or argv != want[1:]:
    print("got", repr(name), argv, "want", repr(want[0]), want[1:])
    sys.exit(1)
)py";

}  // namespace

class RegistryRunKeyTest : public RegistryTest {
 protected:
  std::optional<Key> RunKey() { return Key::Open(Hive::CurrentUser, reg::kRunKeyPath, true); }

  // The one entry in the autostart folder passes desktop-file-validate and reads back as
  // `name` starting `argv`.
  void ExpectEntry(const std::string& name, const std::vector<std::string>& argv,
                   const std::string& label) {
    const auto entries = Entries();
    ASSERT_EQ(entries.size(), 1u) << label;
    const std::string file = entries[0];
    EXPECT_EQ(file.rfind("quorva-", 0), 0u) << file;
    EXPECT_LT(file.size(), 128u) << file;
    std::string out;
    EXPECT_EQ(RunCommand("desktop-file-validate " + Quote(Autostart() + "/" + file), &out), 0)
        << label << "\n"
        << out << ReadFile(Autostart() + "/" + file);
    EXPECT_EQ(out, "") << label;

    std::string expected = name;
    for (const auto& a : argv) expected += std::string(1, '\0') + a;
    WriteFile(dir_.P("expected"), expected);
    WriteFile(dir_.P("check.py"), kEntryChecker);
    EXPECT_EQ(RunCommand(std::string(QUORVA_PYTHON) + " " + dir_.P("check.py") + " " +
                             Quote(Autostart() + "/" + file) + " " + dir_.P("expected"),
                         &out),
              0)
        << label << "\n"
        << out << ReadFile(Autostart() + "/" + file);
  }
};

TEST_F(RegistryRunKeyTest, EntryFollowsTheValue) {
  auto run = RunKey();
  ASSERT_TRUE(run);
  const std::string project = "Z:\\home\\ann\\My Backups\\daily.bpj";
  const std::string program = dir_.W("My Programs/QuorvaBackup");
  ASSERT_TRUE(run->WriteString(project, reg::ShortPath(program) + " " + reg::ShortPath(project)));
  ExpectEntry(project, {dir_.P("My Programs/QuorvaBackup"), project}, "created");
  const std::string file = Entries().at(0);

  // Rewritten under another spelling of the name: the same value, the same entry.
  ASSERT_TRUE(run->WriteString("z:\\HOME\\ann\\my backups\\DAILY.bpj", "/usr/bin/true -x"));
  ExpectEntry(project, {"/usr/bin/true", "-x"}, "updated");
  EXPECT_EQ(Entries().at(0), file);

  // A value that is no command has no entry.
  ASSERT_TRUE(run->WriteDWord(project, 1));
  EXPECT_TRUE(Entries().empty());
  ASSERT_TRUE(run->WriteString(project, "/usr/bin/true"));
  ASSERT_EQ(Entries().size(), 1u);
  ASSERT_TRUE(run->WriteString(project, "  "));
  EXPECT_TRUE(Entries().empty());

  ASSERT_TRUE(run->WriteString(project, "/usr/bin/true"));
  ASSERT_TRUE(run->DeleteValue(project));
  EXPECT_TRUE(Entries().empty());
  EXPECT_FALSE(run->DeleteValue(project));

  // Values elsewhere, and in other hives, are not mirrored.
  auto other = Key::Open(Hive::LocalMachine, reg::kRunKeyPath, true);
  ASSERT_TRUE(other);
  ASSERT_TRUE(other->WriteString("x", "/usr/bin/true"));
  auto parent =
      Key::Open(Hive::CurrentUser, "\\Software\\Microsoft\\Windows\\CurrentVersion", false);
  ASSERT_TRUE(parent);
  ASSERT_TRUE(parent->WriteString("x", "/usr/bin/true"));
  EXPECT_TRUE(Entries().empty());
}

TEST_F(RegistryRunKeyTest, EntriesForAnyNameAndCommand) {
  struct Case {
    std::string name;
    std::string data;
    std::string shownName;
    std::vector<std::string> argv;
  };
  const std::string blank = dir_.W("Q B/prog");
  const std::vector<Case> cases = {
      {"../../escape", "/usr/bin/true", "../../escape", {"/usr/bin/true"}},
      {"a/b\\c",
       "prog 100% $HOME `x` \"q r\" C:\\x;y",
       "a/b\\c",
       {"prog", "100%", "$HOME", "`x`", "q r", "C:\\x;y"}},
      {"Zeile\nzwei\tÄ\\",
       "/bin/echo 'single' (p) a*b?c #h ~t a|b&c<d>e %f",
       "Zeile\nzwei\tÄ\\",
       {"/bin/echo", "'single'", "(p)", "a*b?c", "#h", "~t", "a|b&c<d>e", "%f"}},
      {"", "/bin/true", "", {"/bin/true"}},
      {std::string(300, 'x'), "/bin/true", std::string(300, 'x'), {"/bin/true"}},
      {"bad\xff\x01 byte", "/bin/true", "bad\xEF\xBF\xBD\xEF\xBF\xBD byte", {"/bin/true"}},
      {" lead and trail ", "/bin/true", " lead and trail ", {"/bin/true"}},
      {"quotes", "\"" + blank + "\" \"\" tail", "quotes", {dir_.P("Q B/prog"), "", "tail"}},
      {"newline", "/bin/x \"a\nb\" \"c\\\"", "newline", {"/bin/x", "a\nb", "c\\"}},
  };
  auto run = RunKey();
  ASSERT_TRUE(run);
  for (const auto& c : cases) {
    ASSERT_TRUE(run->WriteString(c.name, c.data)) << c.shownName;
    ExpectEntry(c.shownName, c.argv, c.shownName);
    ASSERT_TRUE(run->DeleteValue(c.name)) << c.shownName;
    EXPECT_TRUE(Entries().empty()) << c.shownName;
  }
  // Nothing lands outside the autostart folder.
  EXPECT_EQ(ListFolder(dir_.P("config")), std::vector<std::string>{"autostart"});

  // Names that read alike still get entries of their own; spellings of one name share one.
  for (const char* name : {"a/b", "a_b", "A/B", "a:b"})
    ASSERT_TRUE(run->WriteString(name, "/bin/true"));
  EXPECT_EQ(Entries().size(), 3u);
}

TEST_F(RegistryRunKeyTest, DeletingTheRunKeyOrAParentRemovesEntries) {
  auto run = RunKey();
  ASSERT_TRUE(run);
  ASSERT_TRUE(run->WriteString("one", "/bin/true 1"));
  ASSERT_TRUE(run->WriteString("two", "/bin/true 2"));
  ASSERT_TRUE(run->WriteDWord("three", 3));
  ASSERT_EQ(Entries().size(), 2u);

  auto software = Key::Open(Hive::CurrentUser, "\\software", false);
  ASSERT_TRUE(software);
  ASSERT_TRUE(Key::Open(Hive::CurrentUser, "\\Software\\Microsoft\\Other", true));
  ASSERT_TRUE(software->DeleteSubKey("Microsoft\\Other"));
  EXPECT_EQ(Entries().size(), 2u);
  ASSERT_TRUE(software->DeleteSubKey("MICROSOFT\\windows"));
  EXPECT_TRUE(Entries().empty());

  // The Run key itself.
  run = RunKey();
  ASSERT_TRUE(run);
  ASSERT_TRUE(run->WriteString("one", "/bin/true 1"));
  auto current =
      Key::Open(Hive::CurrentUser, "\\Software\\Microsoft\\Windows\\CurrentVersion", false);
  ASSERT_TRUE(current);
  ASSERT_TRUE(current->DeleteSubKey("run"));
  EXPECT_TRUE(Entries().empty());
}

TEST_F(RegistryRunKeyTest, ValueWithoutEntryIsNotStored) {
  auto run = RunKey();
  ASSERT_TRUE(run);
  ASSERT_TRUE(run->WriteString("kept", "/bin/true"));
  // Not UTF-8, or a control character: no Exec line can say it.
  EXPECT_FALSE(run->WriteString("kept", "/bin/true \xff"));
  EXPECT_FALSE(run->WriteString("bell", "/bin/true \a"));
  EXPECT_EQ(run->ReadString("kept"), "/bin/true");
  EXPECT_EQ(run->TypeOf("bell"), std::nullopt);

  // The autostart folder cannot be written: the registry stays as it was.
  ASSERT_TRUE(run->DeleteValue("kept"));
  ASSERT_EQ(rmdir(Autostart().c_str()), 0);
  WriteFile(Autostart(), "a file");
  EXPECT_FALSE(run->WriteString("new", "/bin/true"));
  EXPECT_EQ(run->ValueNames(), std::vector<std::string>{});
}

TEST_F(RegistryTest, ClassesRootExtensionsComeFromTheMimeDatabase) {
  // GLib reads the same shared-mime-info database.
  const char* guess = R"py(
import sys, gi
gi.require_version("Gio", "2.0")
from gi.repository import Gio
print(Gio.content_type_guess("x" + sys.argv[1], None)[0])
)py";
  WriteFile(dir_.P("guess.py"), guess);
  for (const char* ext : {".txt", ".TXT", ".png", ".pdf", ".tar.gz"}) {
    std::string expected;
    ASSERT_EQ(
        RunCommand(std::string(QUORVA_PYTHON) + " " + dir_.P("guess.py") + " " + ext, &expected),
        0);
    expected.pop_back();
    auto k = Key::Open(Hive::ClassesRoot, std::string("\\") + ext, false);
    ASSERT_TRUE(k) << ext;
    EXPECT_EQ(k->ReadString(""), expected) << ext;
    EXPECT_EQ(k->ReadString("content type"), expected) << ext;
    EXPECT_EQ(k->TypeOf("Content Type"), ValueType::String);
    EXPECT_EQ(k->ReadString("Other"), std::nullopt);
  }
  auto txt = Key::Open(Hive::ClassesRoot, ".txt", false);
  ASSERT_TRUE(txt);
  EXPECT_EQ(txt->ReadString(""), "text/plain");
  EXPECT_EQ(txt->ValueNames(), (std::vector<std::string>{"", "Content Type"}));
  EXPECT_TRUE(txt->SubKeyNames().empty());
  EXPECT_FALSE(txt->WriteString("", "changed"));
  EXPECT_FALSE(txt->DeleteValue(""));
  EXPECT_EQ(txt->ReadString(""), "text/plain");

  EXPECT_FALSE(Key::Open(Hive::ClassesRoot, ".qv-no-such-extension", false));
  EXPECT_FALSE(Key::Open(Hive::ClassesRoot, ".", false));
  EXPECT_FALSE(Key::Open(Hive::ClassesRoot, ".txt\\shell", false));
  EXPECT_FALSE(Key::Open(Hive::CurrentUser, ".txt", false));

  // Written keys of HKCR live in the database like any other.
  auto own = Key::Open(Hive::ClassesRoot, ".qvp", true);
  ASSERT_TRUE(own);
  ASSERT_TRUE(own->WriteString("", "QuorvaBackup.Archive"));
  auto again = Key::Open(Hive::ClassesRoot, ".QVP", false);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->ReadString(""), "QuorvaBackup.Archive");
}
