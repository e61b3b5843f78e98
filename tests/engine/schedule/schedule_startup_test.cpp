// The start-up entry of a schedule as the desktop session meets it: a valid autostart entry
// whose command, split as the session splits it and run, backs up the project.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

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

TEST(ScheduleStartupTest, AutostartEntryBacksUpTheProject) {
  TempDir dir;
  setenv("QUORVA_HOME", dir.P("home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", dir.P("config").c_str(), 1);
  WriteFile(dir.P("My Data/a.txt"), "alpha");
  WriteFile(dir.P("My Data/sub/b.txt"), "beta");
  fs::create_directories(dir.P("out"));
  TProject project;
  project.Name = "daily";
  project.DestinationFile = dir.W("out\\daily.qvp");
  project.Folders.Add(dir.W("My Data\\"), 0);
  const std::string projectFile = dir.W("My Jobs\\daily 100%.bpj");
  fs::create_directories(dir.P("My Jobs"));
  ASSERT_TRUE(project.SaveToFile(projectFile));

  TSchedules schedules;
  const char* build = std::getenv("QUORVA_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  schedules.ProgramFile = platform::fs::FromPosix(std::string(build) + "/app/ui/QuorvaBackup");
  TSchedule& schedule = schedules.Add();
  schedule.Project = projectFile;
  ASSERT_TRUE(schedules.UpdateStartupEntry(projectFile));

  std::vector<fs::path> entries;
  for (const auto& e : fs::directory_iterator(dir.P("config/autostart"))) entries.push_back(e);
  ASSERT_EQ(entries.size(), 1u);
  const std::string entry = entries[0].string();
  std::string out;
  EXPECT_EQ(RunCommand("desktop-file-validate " + Quote(entry), &out), 0) << out;
  EXPECT_EQ(out, "");

  WriteFile(dir.P("start.py"), kSessionStart);
  EXPECT_EQ(
      RunCommand(std::string(QUORVA_PYTHON) + " " + dir.P("start.py") + " " + Quote(entry), &out),
      0)
      << out << ReadFile(entry);
  EXPECT_NE(out.find("Backup complete."), std::string::npos) << out;
  EXPECT_EQ(RunCommand("unzip -t " + Quote(dir.P("out/daily.qvp")), &out), 0) << out;
  EXPECT_NE(out.find("My Data\\a.txt"), std::string::npos) << out;
  EXPECT_NE(out.find("My Data\\sub\\b.txt"), std::string::npos) << out;
}

}  // namespace
