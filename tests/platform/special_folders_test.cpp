#include "platform/shell/special_folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/fs/fs.h"
#include "platform/shell/user_folders.h"
#include "tests/support/temp_dir.h"

namespace sh = platform::shell;

namespace {

// A home folder of the test's own: HOME and the XDG variables point into it.
class UserFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Set("HOME", home());
    Set("XDG_CONFIG_HOME", dir.P("home/.config"));
    Set("XDG_DATA_HOME", dir.P("home/.local/share"));
    // Names the user-dirs script would also take from the environment.
    for (const char* name : {"XDG_DESKTOP_DIR", "XDG_DOCUMENTS_DIR", "XDG_TEMPLATES_DIR"})
      Set(name, std::nullopt);
    std::filesystem::create_directories(dir.P("home/.config"));
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }

  void Set(const std::string& name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value)
      setenv(name.c_str(), value->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
  std::string home() const { return dir.P("home"); }
  void UserDirs(const std::string& text) const {
    WriteFile(dir.P("home/.config/user-dirs.dirs"), text);
  }
  // What the desktop's own tool answers in this environment.
  static std::string XdgUserDir(const std::string& name) {
    std::string out;
    EXPECT_EQ(RunCommand("xdg-user-dir " + name, &out), 0) << out;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
  static std::string Win(const std::string& posix) { return platform::fs::FromPosix(posix) + "\\"; }

  TempDir dir;

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(ParseUserDirs, LinesAndTheirPaths) {
  const auto dirs = sh::ParseUserDirs(
      "# written by the desktop\n"
      "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
      "  XDG_DOCUMENTS_DIR = \"/srv/docs/\"\n"
      "XDG_TEMPLATES_DIR=\"$HOME\"\n"
      "XDG_MUSIC_DIR=\"Music\"\n"
      "#XDG_VIDEOS_DIR=\"/commented\"\n"
      "XDG_PICTURES_DIR=\"$HOME/with \\\"quotes\\\" and \\\\ one\"\n"
      "XDG_PUBLICSHARE_DIR=\"/unterminated\n"
      "XDG_DOWNLOAD_DIR=\"$HOMEWARD/x\"\n"
      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
      "XDG_ROOT_DIR=\"/\"\n"
      "XDG__DIR=\"/nameless\"\n"
      "XDG_ÄRGER_DIR=\"$HOME/Ärger ü\"\r\n",
      "/home/ann/");
  const std::map<std::string, std::string> expected = {
      {"DESKTOP", "/home/ann/Schreibtisch"},  // the later line wins
      {"DOCUMENTS", "/srv/docs"},
      {"TEMPLATES", "/home/ann"},
      {"PICTURES", "/home/ann/with \"quotes\" and \\ one"},
      {"ROOT", "/"},
      {"ÄRGER", "/home/ann/Ärger ü"},
  };
  EXPECT_EQ(dirs, expected);
  EXPECT_TRUE(sh::ParseUserDirs("XDG_DESKTOP_DIR=\"$HOME/Desktop\"", "").empty())
      << "no home folder to start from";
}

TEST_F(UserFoldersTest, UserDirectoriesEqualTheDesktopToolsAnswers) {
  std::filesystem::create_directories(dir.P("elsewhere"));
  UserDirs(
      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
      "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente é\"\n"
      "XDG_TEMPLATES_DIR=\"" +
      dir.P("elsewhere/Vorlagen") +
      "\"\n"
      "XDG_MUSIC_DIR=\"$HOME\"\n");
  for (const char* name : {"DESKTOP", "DOCUMENTS", "TEMPLATES", "MUSIC", "VIDEOS"})
    EXPECT_EQ(sh::UserDirectory(name), XdgUserDir(name)) << name;
  EXPECT_EQ(sh::UserDirectory("DOCUMENTS"), home() + "/Dokumente é");

  // Without the file: the desktop folder is ~/Desktop, every other one the home folder.
  std::filesystem::remove(dir.P("home/.config/user-dirs.dirs"));
  for (const char* name : {"DESKTOP", "DOCUMENTS", "TEMPLATES"})
    EXPECT_EQ(sh::UserDirectory(name), XdgUserDir(name)) << name;
  EXPECT_EQ(sh::UserDirectory("DESKTOP"), home() + "/Desktop");
}

TEST_F(UserFoldersTest, SpecialFoldersArePresentXdgFoldersInWindowsForm) {
  for (const char* folder : {"home/Schreibtisch", "home/Dokumente", "home/.config"})
    std::filesystem::create_directories(dir.P(folder));
  UserDirs(
      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
      "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
      "XDG_TEMPLATES_DIR=\"$HOME\"\n");  // disabled: the home folder itself
  EXPECT_EQ(sh::SpecialFolderPath(sh::CSIDL_DESKTOP), Win(XdgUserDir("DESKTOP")));
  EXPECT_EQ(sh::SpecialFolderPath(sh::CSIDL_PERSONAL), Win(XdgUserDir("DOCUMENTS")));
  EXPECT_EQ(sh::SpecialFolderPath(sh::CSIDL_PERSONAL), dir.W("home/Dokumente") + "\\");
  EXPECT_EQ(sh::SpecialFolderPath(sh::CSIDL_TEMPLATES), std::nullopt);
  EXPECT_EQ(sh::SpecialFolderPath(sh::CSIDL_APPDATA), dir.W("home/.config") + "\\");
  // The user's applications folder counts only once it exists.
  EXPECT_EQ(sh::SpecialFolderPath(sh::CSIDL_STARTMENU), std::nullopt);
  std::filesystem::create_directories(dir.P("home/.local/share/applications"));
  EXPECT_EQ(sh::SpecialFolderPath(sh::CSIDL_STARTMENU),
            dir.W("home/.local/share/applications") + "\\");
  EXPECT_EQ(sh::SpecialFolderPath(sh::CSIDL_COMMON_STARTMENU),
            std::filesystem::is_directory("/usr/share/applications")
                ? std::optional<std::string>("Z:\\usr\\share\\applications\\")
                : std::nullopt);
  for (int none : {sh::CSIDL_FAVORITES, sh::CSIDL_PRINTHOOD, sh::CSIDL_RECENT, sh::CSIDL_SENDTO,
                   sh::CSIDL_COMMON_DESKTOPDIRECTORY, 0x7777})
    EXPECT_EQ(sh::SpecialFolderPath(none), std::nullopt) << none;

  // A folder that is named but missing, and one left unset (the home folder), give none.
  UserDirs("XDG_DESKTOP_DIR=\"$HOME/gone\"\n");
  EXPECT_EQ(sh::SpecialFolderPath(sh::CSIDL_DESKTOP), std::nullopt);
  EXPECT_EQ(sh::SpecialFolderPath(sh::CSIDL_PERSONAL), std::nullopt);
  // Unset, the desktop is ~/Desktop when that exists.
  UserDirs("");
  EXPECT_EQ(sh::SpecialFolderPath(sh::CSIDL_DESKTOP), std::nullopt);
  std::filesystem::create_directories(dir.P("home/Desktop"));
  EXPECT_EQ(sh::SpecialFolderPath(sh::CSIDL_DESKTOP), dir.W("home/Desktop") + "\\");
}

TEST_F(UserFoldersTest, BaseFoldersFollowTheXdgRules) {
  EXPECT_EQ(sh::ConfigHome(), dir.P("home/.config"));
  EXPECT_EQ(sh::DataHome(), dir.P("home/.local/share"));
  // Relative values are ignored.
  Set("XDG_CONFIG_HOME", "relative/config");
  Set("XDG_DATA_HOME", std::nullopt);
  EXPECT_EQ(sh::ConfigHome(), home() + "/.config");
  EXPECT_EQ(sh::DataHome(), home() + "/.local/share");
  EXPECT_EQ(sh::HomeFolder(), home());
}

}  // namespace
