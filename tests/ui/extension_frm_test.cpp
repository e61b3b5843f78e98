#include "app/ui/project/extension_frm.h"

#include <gtest/gtest.h>

#include <QMimeDatabase>
#include <QTest>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/qt_test_env.h"

namespace {

// The extensions of the simple "*.ext" globs of the system MIME database, with the types
// claiming each, read from its glob file ("weight:type:glob[:flags]").
std::map<QString, std::set<QString>> SystemExtensions() {
  std::map<QString, std::set<QString>> out;
  std::ifstream in("/usr/share/mime/globs2");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t first = line.find(':');
    const size_t second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string type = line.substr(first + 1, second - first - 1);
    std::string glob = line.substr(second + 1);
    glob = glob.substr(0, glob.find(':'));
    if (glob.size() < 3 || glob.compare(0, 2, "*.") != 0) continue;
    if (glob.find_first_of("*?[", 1) != std::string::npos) continue;
    if (type == "__NOGLOBS__") continue;
    out[QString::fromStdString(glob.substr(1))].insert(QString::fromStdString(type));
  }
  return out;
}

std::string Joined(const std::vector<QString>& items) {
  QString text;
  for (const QString& item : items) text += item + " ";
  return text.toStdString();
}

class ExtensionFrmTest : public ::testing::Test {
 protected:
  TQtTestEnv env;
};

TEST_F(ExtensionFrmTest, ListsEachExtensionOfTheSystemMimeGlobsOnceWithAClaimingType) {
  const auto system = SystemExtensions();
  ASSERT_GT(system.size(), 100u);  // the database is installed
  TAddExtFrm frm;
  frm.show();
  ASSERT_TRUE(frm.Filled());
  std::map<QString, QString> listed;
  for (int i = 0; i < frm.LV->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = frm.LV->topLevelItem(i);
    ASSERT_TRUE(row->text(0).startsWith("*.")) << row->text(0).toStdString();
    EXPECT_TRUE(listed.emplace(row->text(0).mid(1), row->text(1)).second)
        << "twice: " << row->text(0).toStdString();
  }
  std::vector<QString> missing, extra;
  for (const auto& [ext, types] : system)
    if (!listed.count(ext)) missing.push_back(ext);
  for (const auto& [ext, description] : listed)
    if (!system.count(ext)) extra.push_back(ext);
  EXPECT_TRUE(missing.empty()) << "missing: " << Joined(missing);
  EXPECT_TRUE(extra.empty()) << "not in the glob file: " << Joined(extra);

  // Each description is that of a type the glob file gives the extension.
  const QMimeDatabase mime;
  for (const auto& [ext, description] : listed) {
    const auto found = system.find(ext);
    if (found == system.end()) continue;
    std::set<QString> comments;
    for (const QString& type : found->second) comments.insert(mime.mimeTypeForName(type).comment());
    EXPECT_TRUE(comments.count(description))
        << ext.toStdString() << ": " << description.toStdString();
  }
}

TEST_F(ExtensionFrmTest, FillsTheListOnTheFirstShowOnly) {
  TAddExtFrm frm;
  EXPECT_FALSE(frm.Filled());
  EXPECT_EQ(frm.LV->topLevelItemCount(), 0);
  frm.show();
  const int rows = frm.LV->topLevelItemCount();
  ASSERT_GT(rows, 0);
  frm.LV->topLevelItem(0)->setSelected(true);
  frm.hide();
  frm.show();
  EXPECT_EQ(frm.LV->topLevelItemCount(), rows);
  EXPECT_TRUE(frm.LV->topLevelItem(0)->isSelected());  // not refilled
}

TEST_F(ExtensionFrmTest, TheChosenWayEnablesItsControlsOnly) {
  TAddExtFrm frm;
  frm.show();
  EXPECT_TRUE(frm.RadioButton1->isChecked());
  EXPECT_TRUE(frm.LV->isEnabled());
  EXPECT_FALSE(frm.Edit1->isEnabled());
  EXPECT_FALSE(frm.BrowseBtn->isEnabled());
  QTest::mouseClick(frm.RadioButton2, Qt::LeftButton);
  EXPECT_TRUE(frm.RadioButton2->isChecked());
  EXPECT_FALSE(frm.LV->isEnabled());
  EXPECT_TRUE(frm.Edit1->isEnabled());
  EXPECT_TRUE(frm.BrowseBtn->isEnabled());
  QTest::mouseClick(frm.RadioButton1, Qt::LeftButton);
  EXPECT_TRUE(frm.LV->isEnabled());
  EXPECT_FALSE(frm.Edit1->isEnabled());
}

TEST_F(ExtensionFrmTest, OkNeedsAnExtensionOfTheChosenWay) {
  struct Case {
    const char* name;
    bool own;
    bool select;
    QString typed;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {"nothing selected", false, false, "*.abc", false},
      {"row selected", false, true, "", true},
      {"own but empty", true, true, "", false},
      {"own typed", true, false, "*.abc", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    env.ui->ClearAskedMessages();
    TAddExtFrm frm;
    frm.show();
    (c.own ? frm.RadioButton2 : frm.RadioButton1)->setChecked(true);
    if (c.select) frm.LV->topLevelItem(0)->setSelected(true);
    frm.Edit1->setText(c.typed);
    frm.OKBtn->click();
    const auto asked = env.ui->AskedMessages();
    if (c.accepted) {
      EXPECT_EQ(frm.result(), 1);
      EXPECT_FALSE(frm.isVisible());
      EXPECT_TRUE(asked.empty());
    } else {
      EXPECT_TRUE(frm.isVisible());
      ASSERT_EQ(asked.size(), 1u);
      EXPECT_EQ(asked[0].text, "Please choose an extension");
      EXPECT_EQ(asked[0].kind, TMessageKind::Warning);
    }
  }
}

TEST_F(ExtensionFrmTest, CancelAndEscapeGiveTheCancelResult) {
  for (const bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "Cancel");
    TAddExtFrm frm;
    frm.show();
    frm.LV->topLevelItem(0)->setSelected(true);
    if (escape)
      QTest::keyClick(&frm, Qt::Key_Escape);
    else
      frm.CancelBtn->click();
    EXPECT_FALSE(frm.isVisible());
    EXPECT_EQ(frm.result(), 2);
  }
}

TEST_F(ExtensionFrmTest, BrowseTakesTheExtensionOfTheSampleFile) {
  struct Case {
    std::optional<std::string> file;
    QString shown;
  };
  const std::vector<Case> cases = {
      {"Z:\\data\\report.final.PDF", "*.PDF"},
      {"/home/user/photo.jpeg", "*.jpeg"},
      {"Z:\\data.d\\README", ""},  // a dot in the folder only
      {"/home/user.x/Makefile", ""},
      {"Z:\\data\\.profile", "*.profile"},
      {std::nullopt, ""},  // cancelled: the old text goes too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.value_or("(cancelled)"));
    TAddExtFrm frm;
    frm.RadioButton2->setChecked(true);
    frm.Edit1->setText("*.old");
    env.ui->ScriptFileAnswers({c.file});
    frm.BrowseBtn->click();
    EXPECT_EQ(frm.Edit1->text(), c.shown);
  }
}

}  // namespace
