#include "app/ui/project/special_folder_frm.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/engine/progress.h"
#include "platform/fs/fs.h"
#include "platform/shell/shell.h"
#include "tests/support/qt_test_env.h"
#include "tests/support/whole_captions.h"

namespace {

// HOME, XDG_CONFIG_HOME and XDG_DATA_HOME in a folder of the test's own, restored afterwards.
class SpecialFolderFrmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
      const char* old = std::getenv(name);
      saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    setenv("HOME", dir.P("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir.P("home/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", dir.P("home/.local/share").c_str(), 1);
    for (const char* f : {"home/.config", "home/Schreibtisch", "home/Dokumente", "home/Vorlagen"})
      std::filesystem::create_directories(dir.P(f));
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }

  void UserDirs(const std::string& text) const {
    WriteFile(dir.P("home/.config/user-dirs.dirs"), text);
  }
  static std::string XdgUserDir(const std::string& name) {
    std::string out;
    EXPECT_EQ(RunCommand("xdg-user-dir " + name, &out), 0) << out;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return platform::fs::FromPosix(out) + "\\";
  }
  struct Row {
    std::string name, path, owner;
    bool operator==(const Row&) const = default;
  };
  static std::vector<Row> Rows(const TSpecialfolderfrm& frm) {
    std::vector<Row> rows;
    for (int i = 0; i < frm.LV->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* r = frm.LV->topLevelItem(i);
      rows.push_back(
          {r->text(0).toStdString(), r->text(1).toStdString(), r->text(2).toStdString()});
    }
    return rows;
  }

  TQtTestEnv env;
  TempDir dir;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(SpecialFolderFrmTest, RowsAreTheUsersFoldersInTheirOrder) {
  UserDirs(
      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
      "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
      "XDG_TEMPLATES_DIR=\"$HOME/Vorlagen\"\n");
  std::filesystem::create_directories(dir.P("home/.local/share/applications"));
  ProgressStatus = "";
  TSpecialfolderfrm frm;
  EXPECT_EQ(ProgressStatus.Get(), "Searching special folders... ");
  EXPECT_EQ(frm.windowTitle(), "Choose special folder");
  EXPECT_EQ(frm.Label1->text(), "Select folders which you wants to include");
  EXPECT_EQ(frm.OKBtn->text(), "OK");
  EXPECT_EQ(frm.CancelBtn->text(), "Cacnel");
  const QStringList headers = {"Folder Name", "Folder Path", "Owner"};
  const int widths[] = {100, 280, 80};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(frm.LV->headerItem()->text(c), headers[c]);
    EXPECT_GE(frm.LV->header()->sectionSize(c), widths[c]);
  }

  const std::string user = platform::shell::UserName();
  std::vector<Row> expected = {
      {"Desktop", XdgUserDir("DESKTOP"), user},
      {"App Data", dir.W("home/.config") + "\\", user},
      {"Personal", XdgUserDir("DOCUMENTS"), user},
      {"Start Menu", dir.W("home/.local/share/applications") + "\\", user},
      {"Templates", XdgUserDir("TEMPLATES"), user},
  };
  if (std::filesystem::is_directory("/usr/share/applications"))
    expected.push_back({"Common StartMenu", "Z:\\usr\\share\\applications\\", "All Users"});
  EXPECT_EQ(Rows(frm), expected);
  EXPECT_EQ(expected[0].path, dir.W("home/Schreibtisch") + "\\");
  EXPECT_EQ(expected[4].path, dir.W("home/Vorlagen") + "\\");
  for (int i = 0; i < frm.LV->topLevelItemCount(); ++i) {
    EXPECT_FALSE(frm.LV->topLevelItem(i)->icon(0).isNull());
    EXPECT_FALSE(frm.RowTicked(i));
  }
}

TEST_F(SpecialFolderFrmTest, UnsetDisabledAndMissingFoldersGiveNoRow) {
  // Documents unset (the home folder), templates disabled ("$HOME"), the desktop missing, and
  // no applications folder of the user.
  UserDirs(
      "XDG_DESKTOP_DIR=\"$HOME/gone\"\n"
      "XDG_TEMPLATES_DIR=\"$HOME\"\n");
  TSpecialfolderfrm frm;
  std::vector<std::string> names;
  for (const Row& r : Rows(frm)) names.push_back(r.name);
  std::vector<std::string> expected = {"App Data"};
  if (std::filesystem::is_directory("/usr/share/applications"))
    expected.push_back("Common StartMenu");
  EXPECT_EQ(names, expected);
}

TEST_F(SpecialFolderFrmTest, TicksAndButtons) {
  UserDirs("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
  TSpecialfolderfrm frm;
  ASSERT_GE(frm.RowCount(), 2);
  frm.SetRowTicked(1, true);
  QTest::mouseClick(frm.OKBtn, Qt::LeftButton);
  EXPECT_EQ(frm.result(), 1);
  const auto choices = frm.Choices();
  ASSERT_EQ(static_cast<int>(choices.size()), frm.RowCount());
  EXPECT_EQ(choices[0].Path, dir.W("home/Schreibtisch") + "\\");
  EXPECT_FALSE(choices[0].Ticked);
  EXPECT_TRUE(choices[1].Ticked);
  QTest::mouseClick(frm.CancelBtn, Qt::LeftButton);
  EXPECT_EQ(frm.result(), 2);
  frm.show();
  QTest::keyClick(&frm, Qt::Key_Escape);
  EXPECT_EQ(frm.result(), 2);
  EXPECT_TRUE(frm.RowTicked(1)) << "closing keeps the rows and their ticks";
}

}  // namespace

namespace {

// Under a display the script sets QUORVA_SCREENSHOT_DIR and gets the dialog.
TEST_F(SpecialFolderFrmTest, Screenshot) {
  UserDirs(
      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
      "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
      "XDG_TEMPLATES_DIR=\"$HOME/Vorlagen\"\n");
  std::filesystem::create_directories(dir.P("home/.local/share/applications"));
  TSpecialfolderfrm frm;
  frm.SetRowTicked(0, true);
  frm.SetRowTicked(2, true);
  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  QCoreApplication::processEvents();
  ExpectEveryColumnWhole(frm.LV);
  const QPixmap shot = frm.grab();
  EXPECT_FALSE(shot.isNull());
  if (const char* out = std::getenv("QUORVA_SCREENSHOT_DIR")) {
    EXPECT_TRUE(shot.save(QString(out) + "/special-folders.png"));
  }
}

}  // namespace
