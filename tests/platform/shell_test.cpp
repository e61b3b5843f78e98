#include "platform/shell/shell.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "platform/fs/fs.h"
#include "tests/support/temp_dir.h"

namespace sh = platform::shell;
namespace fs = platform::fs;

namespace {

// Sets (or unsets, for nullptr) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
    tzset();
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_.c_str(), old_->c_str(), 1);
    else
      unsetenv(name_.c_str());
    tzset();
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

std::string Output(const std::string& command) {
  std::string out;
  EXPECT_EQ(RunCommand(command, &out), 0) << command << ": " << out;
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string RegexEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

// Local date-time value and packed DOS time of each Unix time as Python's datetime sees
// them in the current TZ, and the Unix time Python gives back for that DOS time.
struct PyTimes {
  double dateTime;
  std::uint32_t dos;
  std::int64_t unixOfDos;
};

std::vector<PyTimes> PythonTimes(const std::vector<std::int64_t>& times) {
  std::string cmd = std::string(QUORVA_PYTHON) + R"( -c '
import sys, datetime
base = datetime.datetime(1899, 12, 30)
for a in sys.argv[1:]:
    d = datetime.datetime.fromtimestamp(int(a))
    value = (d - base) / datetime.timedelta(days=1)
    dos, back = 0, 0
    if d.year >= 1980:
        dos = ((d.year - 1980) << 25) | (d.month << 21) | (d.day << 16) | (d.hour << 11) | (d.minute << 5) | (d.second // 2)
        back = int(d.replace(second=d.second - d.second % 2).timestamp())
    print(repr(value), dos, back)
')";
  for (auto t : times) cmd += " " + std::to_string(t);
  std::istringstream in(Output(cmd));
  std::vector<PyTimes> out;
  PyTimes p;
  while (in >> p.dateTime >> p.dos >> p.unixOfDos) out.push_back(p);
  EXPECT_EQ(out.size(), times.size());
  return out;
}

}  // namespace

TEST(ShellTemp, TempFolderFollowsTmpdir) {
  TempDir dir;
  {
    ScopedEnv env("TMPDIR", dir.Posix().c_str());
    EXPECT_EQ(sh::TempFolder(), dir.Win());
  }
  {
    ScopedEnv env("TMPDIR", (dir.Posix() + "/").c_str());
    EXPECT_EQ(sh::TempFolder(), dir.Win());
  }
  {
    ScopedEnv env("TMPDIR", dir.P("missing").c_str());
    EXPECT_EQ(sh::TempFolder(), "Z:\\tmp\\");
  }
  {
    ScopedEnv env("TMPDIR", nullptr);
    EXPECT_EQ(sh::TempFolder(), "Z:\\tmp\\");
  }
}

TEST(ShellTemp, NameIsReservedAndShaped) {
  TempDir dir;
  const struct {
    std::string folder;
    std::string prefix;
    std::string kept;
  } cases[] = {
      {dir.Win(), "qvbackup", "qvb"},
      {dir.Win().substr(0, dir.Win().size() - 1), "qv", "qv"},  // no trailing backslash
      {dir.Win(), "", ""},
      {dir.Win(), "Äöüß", "Äöü"},  // three characters, not three bytes
  };
  for (const auto& c : cases) {
    const std::string name = sh::CreateTempFileName(c.folder, c.prefix);
    EXPECT_TRUE(
        std::regex_match(name, std::regex(RegexEscape(dir.Win() + c.kept) + "[0-9A-F]{4,}\\.tmp")))
        << name;
    const auto info = fs::Stat(name);
    ASSERT_TRUE(info) << name;
    EXPECT_EQ(info->type, fs::EntryType::Regular);
    EXPECT_EQ(info->size, 0u);
  }
  try {
    sh::CreateTempFileName(dir.W("missing"), "qv");
    FAIL();
  } catch (const fs::FsError& e) {
    EXPECT_EQ(e.error(), ENOENT);
  }
  EXPECT_THROW(sh::CreateTempFileName("C:\\Temp", "qv"), fs::FsError);
}

TEST(ShellTemp, UniqueAcrossThreads) {
  TempDir dir;
  constexpr int kThreads = 8, kEach = 250;
  std::vector<std::vector<std::string>> names(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) names[t].push_back(sh::CreateTempFileName(dir.Win(), "th"));
    });
  for (auto& t : threads) t.join();
  std::set<std::string> all;
  for (const auto& v : names) all.insert(v.begin(), v.end());
  EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kEach));
  EXPECT_EQ(fs::ListDirectory(dir.W("th*.tmp")).size(), static_cast<size_t>(kThreads * kEach));
}

TEST(ShellTemp, UniqueAcrossProcesses) {
  TempDir dir;
  // The children inherit the same next candidate, so they collide on purpose and must
  // step past each other's files.
  sh::CreateTempFileName(dir.Win(), "pr");
  constexpr int kChildren = 4, kEach = 200;
  std::vector<pid_t> pids;
  for (int c = 0; c < kChildren; ++c) {
    const pid_t pid = fork();
    if (pid == 0) {
      std::string list;
      try {
        for (int i = 0; i < kEach; ++i) list += sh::CreateTempFileName(dir.Win(), "pr") + "\n";
        WriteFile(dir.P("list" + std::to_string(c)), list);
      } catch (...) {
        _exit(1);
      }
      _exit(0);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::set<std::string> all;
  for (int c = 0; c < kChildren; ++c) {
    std::istringstream in(ReadFile(dir.P("list" + std::to_string(c))));
    for (std::string line; std::getline(in, line);) EXPECT_TRUE(all.insert(line).second) << line;
  }
  EXPECT_EQ(all.size(), static_cast<size_t>(kChildren * kEach));
  EXPECT_EQ(fs::ListDirectory(dir.W("pr*.tmp")).size(), static_cast<size_t>(kChildren * kEach + 1));
}

TEST(ShellFolders, ProgramFolderChoices) {
  TempDir dir;
  {
    ScopedEnv home("QUORVA_HOME", dir.P("qh/deeper").c_str());
    EXPECT_EQ(sh::ProgramFolder(), dir.W("qh\\deeper\\"));
    EXPECT_TRUE(fs::IsDirectory(dir.W("qh\\deeper")));
  }
  {
    ScopedEnv home("QUORVA_HOME", nullptr);
    ScopedEnv data("XDG_DATA_HOME", dir.P("xdg").c_str());
    EXPECT_EQ(sh::ProgramFolder(), dir.W("xdg\\QuorvaBackup\\"));
    EXPECT_TRUE(fs::IsDirectory(dir.W("xdg\\QuorvaBackup")));
  }
  {
    ScopedEnv home("QUORVA_HOME", "");
    ScopedEnv data("XDG_DATA_HOME", nullptr);
    ScopedEnv user("HOME", dir.P("user").c_str());
    EXPECT_EQ(sh::ProgramFolder(), dir.W("user\\.local\\share\\QuorvaBackup\\"));
    EXPECT_TRUE(fs::IsDirectory(dir.W("user\\.local\\share\\QuorvaBackup")));
  }
}

TEST(ShellFolders, DeleteFilePermanently) {
  TempDir dir;
  WriteFile(dir.P("gone.txt"), "x");
  EXPECT_TRUE(sh::DeleteFilePermanently(dir.W("gone.txt")));
  EXPECT_FALSE(fs::Exists(dir.W("gone.txt")));
  EXPECT_FALSE(sh::DeleteFilePermanently(dir.W("gone.txt")));
}

TEST(ShellTime, AnchorsInUtc) {
  ScopedEnv tz("TZ", "UTC");
  EXPECT_EQ(sh::DateTimeFromUnix(0), 25569.0);
  EXPECT_EQ(sh::UnixFromDateTime(25569.0), 0);
  EXPECT_EQ(sh::UnixFromDateTime(0.0), -2209161600);
  EXPECT_EQ(sh::DateTimeFromUnix(-2209161600), 0.0);
  // Before the base day the time of day still counts forwards: 29 Dec 1899 06:00.
  EXPECT_EQ(sh::DateTimeFromUnix(-2209226400), -1.25);
  EXPECT_EQ(sh::UnixFromDateTime(-1.25), -2209226400);
  EXPECT_DOUBLE_EQ(sh::DateTimeFromUnix(43200, 500000000), 25569.5 + 0.5 / 86400);
  EXPECT_EQ(sh::UnixFromDateTime(25569.0 + 0.99999999), 86400);  // rounds into the next day
  EXPECT_EQ(sh::UnixFromDateTime(std::nan("")), 0);

  EXPECT_EQ(sh::DosTimeFromUnix(315532800), 0x00210000u);  // 1980-01-01 00:00:00
  EXPECT_EQ(sh::DosTimeFromUnix(315532799), 0u);
  EXPECT_EQ(sh::UnixFromDosTime(0x00210000), 315532800);
  EXPECT_EQ(sh::UnixFromDosTime(0), 315532800);             // zero month and day read as the first
  EXPECT_EQ(sh::DosTimeFromUnix(4354819198), 0xFF9FBF7Du);  // 2107-12-31 23:59:58
  EXPECT_EQ(sh::DosTimeFromUnix(4354819200 + 86400 * 400LL), 0xFF9FBF7Du);
}

TEST(ShellTime, BaseDayIsLocalMidnight) {
  for (const char* zone : {"America/New_York", "Europe/Berlin", "Asia/Tokyo"}) {
    ScopedEnv tz("TZ", zone);
    const std::string expected =
        Output("TZ=" + std::string(zone) + " date -d '1899-12-30 00:00:00' +%s");
    EXPECT_EQ(std::to_string(sh::UnixFromDateTime(0.0)), expected) << zone;
    EXPECT_EQ(sh::DateTimeFromUnix(std::stoll(expected)), 0.0) << zone;
  }
}

TEST(ShellTime, DaylightSavingTime) {
  ScopedEnv tz("TZ", "Europe/Berlin");
  // Noon local in summer (UTC+2) and in winter (UTC+1).
  EXPECT_EQ(sh::DateTimeFromUnix(1625133600), 44378.5);  // 2021-07-01 10:00 UTC
  EXPECT_EQ(sh::DateTimeFromUnix(1610708400), 44211.5);  // 2021-01-15 11:00 UTC
  EXPECT_EQ(sh::UnixFromDateTime(44378.5), 1625133600);
  EXPECT_EQ(sh::UnixFromDateTime(44211.5), 1610708400);
  EXPECT_EQ(sh::DosTimeFromUnix(1625133600) >> 11 & 0x1F, 12u);
  EXPECT_EQ(sh::DosTimeFromUnix(1610708400) >> 11 & 0x1F, 12u);
}

TEST(ShellTime, AgreesWithPython) {
  ScopedEnv tz("TZ", "Europe/Berlin");
  const std::vector<std::int64_t> times = {
      0,          -1000000000, 315529199,  315529200,  1234567891, 1610708400, 1625133600,
      1616893199, 1616893200,  1635641999, 1635645600, 2147484647, 4102444800, 1700000001,
  };
  // Both sides of 2021-10-31 02:xx exist twice locally: no way back from the local value.
  const std::set<std::int64_t> ambiguous = {1635641999};
  const auto py = PythonTimes(times);
  ASSERT_EQ(py.size(), times.size());
  for (size_t i = 0; i < times.size(); ++i) {
    const std::int64_t t = times[i];
    SCOPED_TRACE(t);
    EXPECT_NEAR(sh::DateTimeFromUnix(t), py[i].dateTime, 1e-9);
    EXPECT_EQ(sh::DosTimeFromUnix(t), py[i].dos);
    if (py[i].dos) {
      EXPECT_EQ(sh::UnixFromDosTime(py[i].dos), py[i].unixOfDos);
    }
    if (!ambiguous.count(t)) {
      EXPECT_EQ(sh::UnixFromDateTime(sh::DateTimeFromUnix(t)), t);
      if (py[i].dos) {
        EXPECT_EQ(sh::UnixFromDosTime(sh::DosTimeFromUnix(t)), t - (t & 1));
      }
    }
  }
}

TEST(ShellTime, NowIsTheCurrentLocalTime) {
  ScopedEnv tz("TZ", "Europe/Berlin");
  const std::int64_t before = time(nullptr);
  const double now = sh::Now();
  const std::int64_t after = time(nullptr);
  EXPECT_GE(now, sh::DateTimeFromUnix(before));
  EXPECT_LE(now, sh::DateTimeFromUnix(after + 1));
}

TEST(ShellTime, FormatFollowsTheLocaleOfTheEnvironment) {
  const std::string processLocale = setlocale(LC_ALL, nullptr);
  ScopedEnv tz("TZ", "Europe/Berlin");
  ScopedEnv all("LC_ALL", nullptr);
  ScopedEnv lang("LANG", nullptr);
  const std::int64_t t = 1625133600;
  const std::string cFormat = Output("LC_ALL=C date -d @1625133600 '+%x %X'");
  EXPECT_EQ(cFormat, "07/01/21 12:00:00");
  for (const char* locale : {"C", "C.UTF-8", "xx_XX.nonexistent"}) {
    ScopedEnv time("LC_TIME", locale);
    EXPECT_EQ(sh::FormatShortDateLongTime(t),
              Output("LC_TIME=" + std::string(locale) + " date -d @1625133600 '+%x %X'"))
        << locale;
    EXPECT_EQ(sh::FormatShortDateLongTime(t), cFormat) << locale;
  }
  EXPECT_EQ(setlocale(LC_ALL, nullptr), processLocale);  // the process locale stays
}

TEST(ShellIdentity, UserAndHost) {
  EXPECT_EQ(sh::UserName(), Output("id -un"));
  EXPECT_EQ(sh::ComputerName(), Output("hostname"));
  EXPECT_TRUE(sh::IsWindowsNT());
}
