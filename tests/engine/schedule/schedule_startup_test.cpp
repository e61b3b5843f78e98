// The start-up entry of a schedule as the desktop session meets it: a valid autostart entry
// whose command, split as the session splits it and run, backs up the project, and one entry
// of each project when two project names differ only in letter case.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/engine/project/project.h"
#include "app/engine/schedule/schedules.h"
#include "platform/fs/fs.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Reads the one autostart entry with GLib, splits its Exec line and runs it.
constexpr const char* kSessionStart = R"py(
import subprocess
import sys
import gi
gi.require_version("GLib", "2.0")
from gi.repository import GLib
kf = GLib.KeyFile()
kf.load_from_file(sys.argv[1], GLib.KeyFileFlags.NONE)
g = "Desktop Entry"
assert kf.get_string(g, "Type") == "Application"
assert kf.get_boolean(g, "X-GNOME-Autostart-enabled")
ok, argv = GLib.shell_parse_argv(kf.get_string(g, "Exec"))
argv = [a.replace("%%", "%") for a in argv]
print("argv", argv)
sys.exit(subprocess.run(argv).returncode)
)py";

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

class ScheduleStartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", dir_.P("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir_.P("config").c_str(), 1);
    fs::create_directories(dir_.P("out"));
    fs::create_directories(dir_.P("My Jobs"));
    WriteFile(dir_.P("start.py"), kSessionStart);
    const char* build = std::getenv("QUORVA_BUILD_DIR");
    ASSERT_NE(build, nullptr);
    schedules_.ProgramFile = platform::fs::FromPosix(std::string(build) + "/app/ui/QuorvaBackup");
  }

  // A project of the folder `data` into out\<archive>, saved as My Jobs\<file>, with an enabled
  // start-up schedule.
  std::string AddProject(const std::string& file, const std::string& data,
                         const std::string& archive) {
    TProject project;
    project.Name = archive;
    project.DestinationFile = dir_.W("out\\" + archive);
    project.Folders.Add(dir_.W(data + "\\"), 0);
    const std::string projectFile = dir_.W("My Jobs\\" + file);
    EXPECT_TRUE(project.SaveToFile(projectFile));
    schedules_.Add().Project = projectFile;
    EXPECT_TRUE(schedules_.UpdateStartupEntry(projectFile));
    return projectFile;
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> entries;
    for (const auto& e : fs::directory_iterator(dir_.P("config/autostart")))
      entries.push_back(e.path().string());
    return entries;
  }

  // Validates the entry and starts it as the session does; the program's output.
  std::string Start(const std::string& entry) {
    std::string out;
    EXPECT_EQ(RunCommand("desktop-file-validate " + Quote(entry), &out), 0) << out;
    EXPECT_EQ(out, "");
    EXPECT_EQ(RunCommand(std::string(QUORVA_PYTHON) + " " + dir_.P("start.py") + " " + Quote(entry),
                         &out),
              0)
        << out << ReadFile(entry);
    EXPECT_NE(out.find("Backup complete."), std::string::npos) << out;
    return out;
  }

  std::string ArchiveListing(const std::string& archive) {
    std::string out;
    EXPECT_EQ(RunCommand("unzip -t " + Quote(dir_.P("out/" + archive)), &out), 0) << out;
    return out;
  }

  TempDir dir_;
  TSchedules schedules_;
};

TEST_F(ScheduleStartupTest, AutostartEntryBacksUpTheProject) {
  WriteFile(dir_.P("My Data/a.txt"), "alpha");
  WriteFile(dir_.P("My Data/sub/b.txt"), "beta");
  AddProject("daily 100%.bpj", "My Data", "daily.qvp");

  const std::vector<std::string> entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  Start(entries[0]);
  const std::string out = ArchiveListing("daily.qvp");
  EXPECT_NE(out.find("My Data\\a.txt"), std::string::npos) << out;
  EXPECT_NE(out.find("My Data\\sub\\b.txt"), std::string::npos) << out;
}

// Two project files whose names differ only in letter case: two entries, each starting its own.
TEST_F(ScheduleStartupTest, ProjectsDifferingOnlyInCaseStartEachTheirOwn) {
  WriteFile(dir_.P("upper/u.txt"), "upper");
  WriteFile(dir_.P("lower/l.txt"), "lower");
  const std::string upper = AddProject("Case.bpj", "upper", "upper.qvp");
  const std::string lower = AddProject("caSe.bpj", "lower", "lower.qvp");

  const std::vector<std::string> entries = Entries();
  ASSERT_EQ(entries.size(), 2u);
  std::multiset<std::string> started;
  for (const std::string& entry : entries) {
    SCOPED_TRACE(entry);
    const std::string out = Start(entry);
    for (const std::string& project : {upper, lower})
      if (out.find("argv ") != std::string::npos &&
          out.find(project.substr(project.rfind('\\') + 1) + "']") != std::string::npos)
        started.insert(project);
  }
  EXPECT_EQ(started, (std::multiset<std::string>{upper, lower}));
  std::string out = ArchiveListing("upper.qvp");
  EXPECT_NE(out.find("upper\\u.txt"), std::string::npos) << out;
  EXPECT_EQ(out.find("l.txt"), std::string::npos) << out;
  out = ArchiveListing("lower.qvp");
  EXPECT_NE(out.find("lower\\l.txt"), std::string::npos) << out;
  EXPECT_EQ(out.find("u.txt"), std::string::npos) << out;
}

}  // namespace
