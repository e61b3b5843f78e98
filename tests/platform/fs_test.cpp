#include "platform/fs/fs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <sstream>
#include <tuple>

#include "tests/support/fifo_time_limit.h"
#include "tests/support/temp_dir.h"

namespace fs = platform::fs;

namespace {

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Runs `body` in a forked child and returns its exit status (-1 when a signal ended it).
template <typename F>
int InChild(F body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(FsPath, ToPosixTable) {
  const struct {
    const char* win;
    const char* posix;  // nullptr: no POSIX form
  } cases[] = {
      {"Z:\\home\\ann\\a.txt", "/home/ann/a.txt"},
      {"z:\\home\\ann", "/home/ann"},
      {"Z:", "/"},
      {"Z:\\", "/"},
      {"Z:\\a\\b\\", "/a/b/"},
      {"Z:\\Ärger\\ü.txt", "/Ärger/ü.txt"},
      {"C:\\Windows", nullptr},
      {"c:", nullptr},
      {"\\\\server\\share\\x", nullptr},
      {"\\home\\ann", nullptr},
      {"relative\\a.txt", nullptr},
      {"Z:relative", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    const auto got = fs::ToPosix(c.win);
    if (c.posix) {
      ASSERT_TRUE(got.has_value()) << c.win;
      EXPECT_EQ(*got, c.posix) << c.win;
    } else {
      EXPECT_FALSE(got.has_value()) << c.win << " -> " << got.value_or("");
    }
  }
  EXPECT_FALSE(fs::ToPosix(std::string_view("Z:\\a\0b", 6)).has_value());
}

TEST(FsPath, ToPosixOrThrowGivesEinval) {
  EXPECT_EQ(fs::ToPosixOrThrow("Z:\\x"), "/x");
  try {
    fs::ToPosixOrThrow("D:\\data");
    FAIL() << "no throw";
  } catch (const fs::FsError& e) {
    EXPECT_EQ(e.error(), EINVAL);
    EXPECT_NE(std::string(e.what()).find("D:\\data"), std::string::npos);
  }
}

TEST(FsPath, FromPosixTable) {
  const struct {
    const char* posix;
    const char* win;
  } cases[] = {
      {"/", "Z:\\"},
      {"/home/ann/a.txt", "Z:\\home\\ann\\a.txt"},
      {"/a/b/", "Z:\\a\\b\\"},
      {"//a///b", "Z:\\a\\b"},
      {"/Ärger/ü.txt", "Z:\\Ärger\\ü.txt"},
      // A backslash in a POSIX name turns into a separator: lossy but harmless.
      {"/odd\\name", "Z:\\odd\\name"},
  };
  for (const auto& c : cases) EXPECT_EQ(fs::FromPosix(c.posix), c.win) << c.posix;
  for (const auto& c : cases) {
    if (std::string(c.posix).find('\\') != std::string::npos) continue;
    const std::string back = *fs::ToPosix(fs::FromPosix(c.posix));
    EXPECT_EQ(fs::FromPosix(back), c.win);
  }
}

TEST(FsPath, FromPosixMakesRelativeAbsolute) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  const std::string base = fs::FromPosix(cwd);
  EXPECT_EQ(fs::FromPosix("x/y.txt"), base + (base.back() == '\\' ? "" : "\\") + "x\\y.txt");
  EXPECT_EQ(fs::FromPosix(""), base);
}

TEST(FsPath, ParentAndName) {
  const struct {
    const char* path;
    const char* parent;
    const char* name;
  } cases[] = {
      {"Z:\\data\\a.txt", "Z:\\data\\", "a.txt"},
      {"Z:\\data\\", "Z:\\data\\", ""},
      {"Z:a.txt", "Z:", "a.txt"},
      {"a.txt", "", "a.txt"},
      {"Z:\\", "Z:\\", ""},
      // '/' separates as '\\' does.
      {"Z:\\data\\sub/a.txt", "Z:\\data\\sub/", "a.txt"},
      {"Z:/a", "Z:/", "a"},
      {"sub/a.txt", "sub/", "a.txt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fs::ParentFolder(c.path), c.parent) << c.path;
    EXPECT_EQ(fs::FileNamePart(c.path), c.name) << c.path;
  }
}

TEST(FsPath, FullPathNameTakesSlashesAsBackslashes) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  std::string base = fs::FromPosix(cwd);
  if (base.back() != '\\') base += '\\';
  const struct {
    const char* name;
    std::string full;  // empty: EINVAL
  } cases[] = {
      {"Z:\\a\\b.mds", "Z:\\a\\b.mds"},
      {"Z:\\a/b/c.mds", "Z:\\a\\b\\c.mds"},
      {"Z:/a", "Z:\\a"},
      {"Z:", "Z:"},
      {"img", base + "img"},
      {"sub/img", base + "sub\\img"},
      {"", ""},
      {"C:\\img", ""},
      {"Z:img", ""},
      {"\\\\server\\share", ""},
      {"\\img", ""},
      {"/img", ""},
  };
  for (const auto& c : cases) {
    if (!c.full.empty()) {
      EXPECT_EQ(fs::FullPathName(c.name), c.full) << c.name;
      continue;
    }
    try {
      fs::FullPathName(c.name);
      ADD_FAILURE() << c.name << " gave a path";
    } catch (const fs::FsError& e) {
      EXPECT_EQ(e.error(), EINVAL) << c.name;
    }
  }
}

TEST(FsMask, Table) {
  const struct {
    const char* name;
    const char* mask;
    bool match;
  } cases[] = {
      {"a.bpj", "*.bpj", true},
      {"A.BPJ", "*.bpj", true},
      {"a.bpjx", "*.bpj", false},
      {"a.bpj.bak", "*.bpj", false},
      {"x.bpj", "*.BPJ", true},
      {"README", "*.*", true},
      {".hidden", "*.*", true},
      {"a.b.c", "*.*", true},
      {"", "*", true},
      {"anything", "*", true},
      {"abc", "a?c", true},
      {"ac", "a?c", false},
      {"abbc", "a?c", false},
      {"äbc", "?bc", true},  // '?' is one code point
      {"日本.txt", "??.txt", true},
      {"日本.txt", "?.txt", false},
      {"ÄRGER.TXT", "ärger.*", true},
      {"Ärger.txt", "*GER*", true},
      {"a", "a.*", true},
      {"ab", "a.*", false},
      {"abc", "*c*c", false},
      {"abcc", "*c*c", true},
      {"Backup.qvp", "b*p", true},
      {"Backup.qvp", "*q?p", true},
      {"x", "", false},
      {"aaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*c", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(fs::MatchesMask(c.name, c.mask), c.match) << c.name << " ~ " << c.mask;
}

// A folder with every kind of entry the listing has to tell apart.
class FsTree : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir.P("a.txt"), "hello");
    WriteFile(dir.P(".hidden"), "secret!");
    WriteFile(dir.P("Ärger.TXT"), "umlaut");
    WriteFile(dir.P("sub/inner.txt"), "x");
    WriteFile(dir.P("ro.txt"), "read only");
    ASSERT_EQ(chmod(dir.P("ro.txt").c_str(), 0444), 0);
    ASSERT_EQ(symlink("a.txt", dir.P("link_file").c_str()), 0);
    ASSERT_EQ(symlink("sub", dir.P("link_dir").c_str()), 0);
    ASSERT_EQ(symlink("missing", dir.P("broken").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.P("fifo").c_str(), 0644), 0);
  }
  TempDir dir;
};

TEST_F(FsTree, ListingMatchesWhatTheSystemSays) {
  const auto entries = fs::ListDirectory(dir.W("*.*"));

  // Names in directory order, as ls -U gives them.
  std::string out;
  ASSERT_EQ(RunCommand("ls -U -A -1 " + Quote(dir.Posix()), &out), 0);
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  EXPECT_EQ(names, Lines(out));

  // Type, size and time of what each entry leads to (find -L follows links; a dangling
  // link stays 'l').
  ASSERT_EQ(RunCommand("find -L " + Quote(dir.Posix()) +
                           " -mindepth 1 -maxdepth 1 -printf '%f\\t%y\\t%s\\t%T@\\n'",
                       &out),
            0);
  std::map<std::string, std::vector<std::string>> os;
  for (const auto& line : Lines(out)) {
    std::vector<std::string> f;
    std::istringstream in(line);
    for (std::string part; std::getline(in, part, '\t');) f.push_back(part);
    ASSERT_EQ(f.size(), 4u) << line;
    os[f[0]] = f;
  }
  ASSERT_EQ(os.size(), entries.size());

  for (const auto& e : entries) {
    SCOPED_TRACE(e.name);
    const auto& f = os.at(e.name);
    const char t = f[1][0];
    const fs::EntryType want = t == 'f'   ? fs::EntryType::Regular
                               : t == 'd' ? fs::EntryType::Directory
                                          : fs::EntryType::Other;
    EXPECT_EQ(e.info.type, want);
    EXPECT_EQ(e.info.isBrokenLink, t == 'l');
    if (want == fs::EntryType::Regular) {
      EXPECT_EQ(std::to_string(e.info.size), f[2]);
    }
    const std::string secs = f[3].substr(0, f[3].find('.'));
    const std::string frac = (f[3].substr(f[3].find('.') + 1) + "000000000").substr(0, 9);
    EXPECT_EQ(std::to_string(e.info.mtimeSec), secs);
    EXPECT_EQ(e.info.mtimeNsec, std::stoi(frac));

    struct stat lst;
    ASSERT_EQ(lstat(dir.P(e.name).c_str(), &lst), 0);
    EXPECT_EQ(e.info.isSymlink, S_ISLNK(lst.st_mode));
    EXPECT_EQ(e.info.hidden, e.name[0] == '.');
    EXPECT_EQ(e.info.archive, want == fs::EntryType::Regular);
    if (!e.info.isBrokenLink) {
      const bool writable = RunCommand("test -w " + Quote(dir.P(e.name))) == 0;
      EXPECT_EQ(e.info.readOnly, !writable);
    }
  }

  const auto find = [&](const std::string& n) {
    return *std::find_if(entries.begin(), entries.end(),
                         [&](const fs::DirEntry& e) { return e.name == n; });
  };
  EXPECT_TRUE(find("link_file").info.isSymlink);
  EXPECT_EQ(find("link_file").info.size, 5u);
  EXPECT_EQ(find("link_dir").info.type, fs::EntryType::Directory);
  EXPECT_TRUE(find("broken").info.isBrokenLink);
  EXPECT_EQ(find("fifo").info.type, fs::EntryType::Other);
  EXPECT_TRUE(find(".hidden").info.hidden);
}

// The listing for reading is the listing, and vouches for the entries the user may read and
// write; ListDirectory never does.
TEST_F(FsTree, ListingForReadingVouchesForReadableWritableEntries) {
  const auto plain = fs::ListDirectory(dir.W("*.*"));
  const auto reading = fs::ListDirectoryForReading(dir.W("*.*"));
  ASSERT_EQ(reading.size(), plain.size());
  for (std::size_t i = 0; i < plain.size(); ++i) {
    SCOPED_TRACE(plain[i].name);
    const auto& a = plain[i].info;
    const auto& b = reading[i].info;
    EXPECT_EQ(reading[i].name, plain[i].name);
    EXPECT_EQ(std::tie(a.type, a.isSymlink, a.isBrokenLink, a.size, a.mtimeSec, a.hidden,
                       a.readOnly, a.archive),
              std::tie(b.type, b.isSymlink, b.isBrokenLink, b.size, b.mtimeSec, b.hidden,
                       b.readOnly, b.archive));
    EXPECT_FALSE(a.readable);
    const std::string q = Quote(dir.P(plain[i].name));
    EXPECT_EQ(b.readable, RunCommand("test -r " + q + " && test -w " + q) == 0);
  }
}

TEST_F(FsTree, MaskFiltersCaseInsensitively) {
  std::vector<std::string> names;
  for (const auto& e : fs::ListDirectory(dir.W("*.txt"))) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "ro.txt", "Ärger.TXT"}));
  EXPECT_EQ(fs::ListDirectory(dir.W("ärger.*")).size(), 1u);
  EXPECT_TRUE(fs::ListDirectory(dir.W("*.none")).empty());
}

TEST_F(FsTree, StatAndPredicates) {
  const auto a = fs::Stat(dir.W("a.txt"));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->size, 5u);
  EXPECT_TRUE(a->archive);
  EXPECT_FALSE(fs::Stat(dir.W("nothing")));
  const auto broken = fs::Stat(dir.W("broken"));
  ASSERT_TRUE(broken);
  EXPECT_TRUE(broken->isBrokenLink);
  EXPECT_TRUE(fs::Stat(dir.W(".hidden"))->hidden);

  EXPECT_TRUE(fs::Exists(dir.W("broken")));  // the name is taken
  EXPECT_FALSE(fs::Exists(dir.W("nothing")));
  EXPECT_TRUE(fs::IsDirectory(dir.W("link_dir")));
  EXPECT_TRUE(fs::IsDirectory(dir.Win()));
  EXPECT_FALSE(fs::IsDirectory(dir.W("a.txt")));
  EXPECT_TRUE(fs::IsRegularFile(dir.W("link_file")));
  EXPECT_FALSE(fs::IsRegularFile(dir.W("fifo")));
  EXPECT_FALSE(fs::Exists("C:\\a.txt"));
}

// The walk's listing tells each entry's kind, and each file's size and time, as the full
// listing does.
TEST_F(FsTree, BasicListingAgreesWithTheFullListing) {
  const auto full = fs::ListDirectory(dir.W("*.*"));
  std::vector<fs::DirEntry> kinds;
  const auto collect = [&kinds](const fs::DirEntry& e) { kinds.push_back(e); };
  fs::ListDirectoryBasic(dir.W("*.*"), collect);
  ASSERT_EQ(kinds.size(), full.size());
  for (std::size_t i = 0; i < full.size(); ++i) {
    EXPECT_EQ(kinds[i].name, full[i].name);
    EXPECT_EQ(kinds[i].info.type, full[i].info.type) << full[i].name;
    EXPECT_EQ(kinds[i].info.isSymlink, full[i].info.isSymlink) << full[i].name;
    EXPECT_EQ(kinds[i].info.isBrokenLink, full[i].info.isBrokenLink) << full[i].name;
    if (full[i].info.type == fs::EntryType::Directory) continue;
    EXPECT_EQ(kinds[i].info.size, full[i].info.size) << full[i].name;
    EXPECT_EQ(kinds[i].info.mtimeSec, full[i].info.mtimeSec) << full[i].name;
    EXPECT_EQ(kinds[i].info.mtimeNsec, full[i].info.mtimeNsec) << full[i].name;
  }
  kinds.clear();
  fs::ListDirectoryBasic(dir.W("*.txt"), collect);
  EXPECT_EQ(kinds.size(), fs::ListDirectory(dir.W("*.txt")).size());
  EXPECT_THROW(fs::ListDirectoryBasic(dir.W("missing\\*.*"), collect), fs::FsError);
}

TEST(FsList, ErrorsThrow) {
  TempDir dir;
  try {
    fs::ListDirectory(dir.W("missing\\*.*"));
    FAIL();
  } catch (const fs::FsError& e) {
    EXPECT_EQ(e.error(), ENOENT);
  }
  WriteFile(dir.P("f"), "");
  EXPECT_THROW(fs::ListDirectory(dir.W("f\\*")), fs::FsError);
  try {
    fs::ListDirectory("C:\\*.*");
    FAIL();
  } catch (const fs::FsError& e) {
    EXPECT_EQ(e.error(), EINVAL);
  }
}

TEST(FsOps, DeleteRenameCreateTouch) {
  TempDir dir;
  WriteFile(dir.P("a"), "A");
  WriteFile(dir.P("b"), "B");
  EXPECT_TRUE(fs::RenameReplace(dir.W("a"), dir.W("b")));
  EXPECT_EQ(ReadFile(dir.P("b")), "A");
  EXPECT_FALSE(fs::RenameReplace(dir.W("a"), dir.W("c")));
  EXPECT_TRUE(fs::DeleteFile(dir.W("b")));
  EXPECT_FALSE(fs::DeleteFile(dir.W("b")));
  EXPECT_TRUE(fs::CreateDirectories(dir.W("x\\y\\z")));
  EXPECT_TRUE(fs::CreateDirectories(dir.W("x\\y\\z")));  // already there
  EXPECT_FALSE(fs::DeleteFile(dir.W("x")));              // not a file
  WriteFile(dir.P("plain"), "");
  EXPECT_FALSE(fs::CreateDirectories(dir.W("plain\\sub")));

  EXPECT_TRUE(fs::SetModificationTime(dir.W("plain"), 1234567890, 250000000));
  std::string out;
  ASSERT_EQ(RunCommand("stat -c %.9Y " + Quote(dir.P("plain")), &out), 0);
  EXPECT_EQ(out, "1234567890.250000000\n");
  EXPECT_FALSE(fs::SetModificationTime(dir.W("none"), 0, 0));
}

TEST(FsFile, ReadWriteSeek) {
  TempDir dir;
  const std::string path = dir.W("f.bin");
  {
    fs::File f(path, fs::OpenMode::CreateNew);
    EXPECT_TRUE(f.IsOpen());
    EXPECT_EQ(f.Path(), path);
    f.Write("0123456789", 10);
    EXPECT_EQ(f.Position(), 10u);
    EXPECT_EQ(f.Seek(2, SEEK_SET), 2u);
    char buf[4] = {};
    EXPECT_EQ(f.Read(buf, 3), 3u);
    EXPECT_EQ(std::string(buf), "234");
    EXPECT_EQ(f.Seek(-1, SEEK_END), 9u);
    EXPECT_EQ(f.Read(buf, 4), 1u);
    EXPECT_EQ(f.Read(buf, 4), 0u);
    f.Truncate(4);
    EXPECT_EQ(f.Size(), 4u);
    f.Flush();
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_THROW(f.Read(buf, 1), fs::FsError);
  }
  EXPECT_EQ(ReadFile(dir.P("f.bin")), "0123");

  try {
    fs::File again(path, fs::OpenMode::CreateNew);
    FAIL();
  } catch (const fs::FsError& e) {
    EXPECT_EQ(e.error(), EEXIST);
  }
  try {
    fs::File none(dir.W("none"), fs::OpenMode::Read);
    FAIL();
  } catch (const fs::FsError& e) {
    EXPECT_EQ(e.error(), ENOENT);
  }
  fs::File r(path, fs::OpenMode::Read);
  EXPECT_THROW(r.Write("x", 1), fs::FsError);
  fs::File moved(std::move(r));
  EXPECT_FALSE(r.IsOpen());
  EXPECT_TRUE(moved.IsOpen());
  fs::File c(path, fs::OpenMode::CreateAlways);
  EXPECT_EQ(c.Size(), 0u);
  moved = std::move(c);
  EXPECT_EQ(moved.Size(), 0u);
}

// Opening a file for reading never waits on the name and takes regular files only;
// the type is that of what was opened, so a name replaced after a caller's check is caught.
TEST(FsFile, ReadingOpensOnlyRegularFilesAndNeverWaits) {
  TempDir dir;
  const auto socketAt = [](const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const int rc = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    close(fd);
    return rc == 0;
  };
  WriteFile(dir.P("swapped"), "regular when checked");
  ASSERT_TRUE(fs::IsRegularFile(dir.W("swapped")));
  ASSERT_EQ(unlink(dir.P("swapped").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.P("swapped").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(dir.P("fifo").c_str(), 0600), 0);
  ASSERT_TRUE(socketAt(dir.P("socket")));
  ASSERT_EQ(symlink("/dev/zero", dir.P("device").c_str()), 0);
  ASSERT_EQ(mkdir(dir.P("folder").c_str(), 0700), 0);
  WriteFile(dir.P("removed"), "x");
  ASSERT_EQ(unlink(dir.P("removed").c_str()), 0);
  const struct {
    const char* name;
    int error;
  } rows[] = {{"fifo", EINVAL},   {"swapped", EINVAL}, {"socket", ENXIO},
              {"device", EINVAL}, {"folder", EISDIR},  {"removed", ENOENT}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    int error = 0;
    std::string text;
    EXPECT_TRUE(ReturnsWithin(std::chrono::seconds(60), {dir.P("fifo"), dir.P("swapped")}, [&] {
      try {
        fs::File f(dir.W(row.name), fs::OpenMode::Read);
      } catch (const fs::FsError& e) {
        error = e.error();
        text = e.what();
      }
    }));
    EXPECT_EQ(error, row.error);
    EXPECT_EQ(text.rfind("cannot open " + dir.W(row.name) + ": ", 0), 0u) << text;
  }

  // A regular file is read as before, in blocking mode.
  WriteFile(dir.P("plain"), "plain");
  fs::File f(dir.W("plain"), fs::OpenMode::Read);
  EXPECT_EQ(fcntl(f.Descriptor(), F_GETFL) & O_NONBLOCK, 0);
  char buf[8] = {};
  EXPECT_EQ(f.Read(buf, sizeof buf), 5u);
  EXPECT_STREQ(buf, "plain");
  const int fd = f.Release();
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(lseek(fd, 0, SEEK_SET), 0);
  EXPECT_EQ(close(fd), 0);
}

TEST(FsFile, DescriptorIsCloseOnExec) {
  TempDir dir;
  fs::File f(dir.W("f"), fs::OpenMode::CreateAlways);
  EXPECT_TRUE(fcntl(f.Descriptor(), F_GETFD) & FD_CLOEXEC);
}

TEST(FsFile, LocksBetweenObjects) {
  TempDir dir;
  const std::string path = dir.W("locked.bin");
  WriteFile(dir.P("locked.bin"), "keep me");
  {
    fs::File a(path, fs::OpenMode::ReadWrite, fs::Share::Exclusive);
    for (auto mode : {fs::OpenMode::Read, fs::OpenMode::ReadWrite, fs::OpenMode::CreateAlways}) {
      for (auto share : {fs::Share::ReadOnly, fs::Share::Exclusive}) {
        try {
          fs::File b(path, mode, share);
          ADD_FAILURE() << "second lock granted";
        } catch (const fs::FsError& e) {
          EXPECT_EQ(e.error(), EWOULDBLOCK);
          EXPECT_EQ(std::string(e.what()), "file is in use: " + path);
        }
      }
    }
    // A create that could not lock must not have emptied the file.
    EXPECT_EQ(ReadFile(dir.P("locked.bin")), "keep me");
    fs::File unlocked(path, fs::OpenMode::Read, fs::Share::All);
    EXPECT_TRUE(unlocked.IsOpen());
  }
  // Readers share; a writer is kept out while they read, and keeps them out.
  {
    fs::File r1(path, fs::OpenMode::Read, fs::Share::ReadOnly);
    fs::File r2(path, fs::OpenMode::Read, fs::Share::ReadOnly);
    EXPECT_THROW(fs::File(path, fs::OpenMode::ReadWrite, fs::Share::ReadOnly), fs::FsError);
    EXPECT_THROW(fs::File(path, fs::OpenMode::Read, fs::Share::Exclusive), fs::FsError);
  }
  {
    fs::File w(path, fs::OpenMode::ReadWrite, fs::Share::ReadOnly);
    EXPECT_THROW(fs::File(path, fs::OpenMode::Read, fs::Share::ReadOnly), fs::FsError);
    w.Close();  // releases the lock
    fs::File r(path, fs::OpenMode::Read, fs::Share::ReadOnly);
    EXPECT_TRUE(r.IsOpen());
  }
}

TEST(FsFile, LocksBetweenProcesses) {
  TempDir dir;
  const std::string path = dir.W("shared.bin");
  WriteFile(dir.P("shared.bin"), "x");
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    int rc = 1;
    try {
      fs::File f(path, fs::OpenMode::ReadWrite, fs::Share::Exclusive);
      char c = 'r';
      if (write(ready[1], &c, 1) == 1 && read(done[0], &c, 1) == 1) rc = 0;
    } catch (...) {
    }
    _exit(rc);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  try {
    fs::File f(path, fs::OpenMode::Read, fs::Share::ReadOnly);
    ADD_FAILURE() << "lock held by the child was granted";
  } catch (const fs::FsError& e) {
    EXPECT_EQ(e.error(), EWOULDBLOCK);
  }
  ASSERT_EQ(write(done[1], "d", 1), 1);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
  fs::File f(path, fs::OpenMode::Read, fs::Share::Exclusive);  // free again
  EXPECT_TRUE(f.IsOpen());
}

TEST(FsFile, LargeSparseFile) {
  TempDir dir;
  constexpr std::uint64_t k5G = 5ull << 30;
  ASSERT_EQ(RunCommand("truncate -s 5G " + Quote(dir.P("big"))), 0);
  EXPECT_EQ(fs::Stat(dir.W("big"))->size, k5G);
  EXPECT_EQ(fs::ListDirectory(dir.W("big")).at(0).info.size, k5G);

  fs::File f(dir.W("big"), fs::OpenMode::ReadWrite);
  EXPECT_EQ(f.Size(), k5G);
  EXPECT_EQ(f.Seek(0, SEEK_END), k5G);
  f.Write("tail", 4);
  EXPECT_EQ(f.Position(), k5G + 4);
  f.Truncate(k5G + (1ull << 30));
  f.Close();
  std::string out;
  ASSERT_EQ(RunCommand("stat -c %s " + Quote(dir.P("big")), &out), 0);
  EXPECT_EQ(out, std::to_string(k5G + (1ull << 30)) + "\n");
  ASSERT_EQ(RunCommand("dd if=" + Quote(dir.P("big")) + " bs=1 skip=5368709120 count=4 status=none",
                       &out),
            0);
  EXPECT_EQ(out, "tail");
}

TEST(FsFile, FileSizeLimitIsAnError) {
  TempDir dir;
  const std::string path = dir.W("limited.bin");
  const int rc = InChild([&] {
    struct rlimit lim = {1 << 20, 1 << 20};
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return 10;
    std::vector<char> data(3 << 20, 'x');
    try {
      fs::File f(path, fs::OpenMode::CreateAlways);
      f.Write(data.data(), data.size());
    } catch (const fs::FsError& e) {
      return e.error() == EFBIG ? 0 : 11;
    }
    return 12;
  });
  EXPECT_EQ(rc, 0) << "-1 means SIGXFSZ killed the child";
  EXPECT_EQ(fs::Stat(path)->size, 1u << 20);  // the part that fitted was written
}

TEST(FsFile, FullDeviceIsAnError) {
  fs::File f("Z:\\dev\\full", fs::OpenMode::ReadWrite);
  try {
    f.Write("abc", 3);
    FAIL();
  } catch (const fs::FsError& e) {
    EXPECT_EQ(e.error(), ENOSPC);
  }
}

TEST(FsWhole, WriteAtomicAndReadBack) {
  TempDir dir;
  const std::string path = dir.W("data.bin");
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  fs::WriteWholeFileAtomic(path, bytes.data(), bytes.size());
  const auto back = fs::ReadWholeFile(path);
  EXPECT_EQ(std::string(back.begin(), back.end()), bytes);

  ASSERT_EQ(chmod(dir.P("data.bin").c_str(), 0640), 0);
  fs::WriteWholeFileAtomic(path, "new", 3);
  EXPECT_EQ(ReadFile(dir.P("data.bin")), "new");
  struct stat st;
  ASSERT_EQ(stat(dir.P("data.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(fs::ListDirectory(dir.W("*")).size(), 1u);  // no temporary left beside it

  fs::WriteWholeFileAtomic(path, nullptr, 0);
  EXPECT_TRUE(fs::ReadWholeFile(path).empty());
  EXPECT_THROW(fs::WriteWholeFileAtomic(dir.W("no\\such.bin"), "x", 1), fs::FsError);
  EXPECT_THROW(fs::ReadWholeFile(dir.W("none")), fs::FsError);
}

TEST(FsWhole, FailedWriteKeepsTheOldFile) {
  TempDir dir;
  const std::string path = dir.W("keep.bin");
  WriteFile(dir.P("keep.bin"), "old contents");
  const int rc = InChild([&] {
    struct rlimit lim = {1 << 16, 1 << 16};
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return 10;
    std::vector<char> data(1 << 20, 'n');
    try {
      fs::WriteWholeFileAtomic(path, data.data(), data.size());
    } catch (const fs::FsError& e) {
      return e.error() == EFBIG ? 0 : 11;
    }
    return 12;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ReadFile(dir.P("keep.bin")), "old contents");
  EXPECT_EQ(fs::ListDirectory(dir.W("*")).size(), 1u);
}
