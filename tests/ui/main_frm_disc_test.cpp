// A backup to discs as a user makes one: the program started, the virtual recorder chosen in
// the project dialog from what the writer search found, the sources checked on the Backup page,
// the backup started from its action and each burn prompt answered; then the discs the
// recorder ejected are read with the outside tools.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/engine/delivery/writer_search.h"
#include "app/engine/project/project.h"
#include "app/engine/project/stream.h"
#include "app/engine/settings/global_setting.h"
#include "app/ui/pages/main_frm.h"
#include "app/ui/pages/selection_tree_view.h"
#include "app/ui/project/project_config_frm.h"
#include "app/ui/run/console_frm.h"
#include "app/ui/startup.h"
#include "platform/fs/fs.h"
#include "tests/support/disc_test_support.h"
#include "tests/support/project_dialog_support.h"
#include "tests/support/qt_test_env.h"

namespace {

using disc_test::Names;

// A click on the check mark of a folder in the Backup page's tree.
void ClickCheckMark(TSelectionTreeView& view, const std::string& folder) {
  ASSERT_TRUE(view.SelectPath(folder)) << folder;
  QTreeWidgetItem* item = view.ItemOf(view.Model().FindNodeByPath(folder));
  ASSERT_NE(item, nullptr);
  view.SHTV->scrollToItem(item);
  const QRect r = view.SHTV->visualItemRect(item);
  QTest::mouseClick(view.SHTV->viewport(), Qt::LeftButton, {},
                    QPoint(r.left() + 6, r.center().y()));
  EXPECT_EQ(view.GetNodeCheckState(item), 2);
}

class MainFrmDiscTest : public ::testing::Test {
 protected:
  void SetUp() override {
    disc_test::ConfigureRecorder("DVD-R");
    TGlobalSetting s;
    s.SaveOnDestroy = false;
    s.ShowWizardAtStart = false;
    s.ShowSplash = false;
    s.TempFolder = env.home.W("tmp\\");
    ASSERT_TRUE(s.SaveToRegistry());
    platform::fs::CreateDirectories(s.TempFolder);
    WriteFile(data.P("src/a.txt"), "alpha");
    WriteFile(data.P("src/big.bin"), disc_test::RandomText(3'000'000));
  }

  bool ConsoleHas(const TMainFrm& frm, const std::string& message) const {
    for (const auto& e : frm.Console().Entries())
      if (e.message == message) return true;
    return false;
  }

  std::unique_ptr<TProject> ReadProject(const std::string& name) const {
    return ReadProjectFile(env.home.W("QVP_JOBS\\" + name + ".bpj"));
  }

  TQtTestEnv env;
  TempDir data;
  disc_test::TRecorderFolder recorder{env.home.Posix()};
};

TEST_F(MainFrmDiscTest, SplitBackupConfiguredInTheDialogBurnsOneDiscPerVolume) {
  std::vector<std::string> asked;
  QObject::connect(env.ui.get(), &TQtUserInterface::messageAsked,
                   [&](const QString& title, const QString& text) {
                     asked.push_back((title + ": " + text).toStdString());
                   });
  TStartupHooks hooks;
  hooks.runLoop = [&](TMainFrm& frm) {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&frm));
    // The user waits for the search to list the recorder.
    JoinWriterSearch();
    EXPECT_EQ(WriterNames().size(), 1u);

    std::string writer;
    OnProjectDialog([&](TProjectConfigFrm& d) {
      d.Name->setText("Discs");
      QTest::mouseClick(d.RadioButton3, Qt::LeftButton);
      EXPECT_FALSE(d.GB3->isHidden());
      ASSERT_EQ(d.ComboBox1->count(), 1);
      d.ComboBox1->setCurrentIndex(0);
      writer = d.ComboBox1->currentText().toStdString();
      d.PageControl->setCurrentIndex(2);  // Properties
      if (d.CheckBox5->isChecked()) QTest::mouseClick(d.CheckBox5, Qt::LeftButton);
      QTest::mouseClick(d.CheckBox6, Qt::LeftButton);
      d.ComboBox5->setCurrentIndex(0);  // floppy-sized volumes: the archive and two more
    });
    frm.CreateNewProject->trigger();
    EXPECT_EQ(writer, WriterNames().at(0));
    EXPECT_NE(writer.find("Virtual Recorder"), std::string::npos) << writer;
    EXPECT_EQ(frm.SelectedProjectName(), "Discs");
    EXPECT_EQ(frm.PC->currentIndex(), 1);

    ClickCheckMark(*frm.SelectionTree, data.W("src"));
    EXPECT_TRUE(frm.SelectionChanged());
    // Save the changed selection, then Yes to each of the three burn prompts.
    env.ui->ScriptMessageAnswers(
        {TModalResult::Yes, TModalResult::Yes, TModalResult::Yes, TModalResult::Yes});
    frm.RunBackup->trigger();

    EXPECT_EQ(frm.StatusPanel1->text(), "Backup complete.");
    EXPECT_TRUE(ConsoleHas(frm, "Backup complete."));
    EXPECT_TRUE(frm.StatusProgress->isHidden());
    frm.close();
    return 0;
  };
  ASSERT_EQ(ProgramMainBlock(*env.ui, hooks), 0);

  ASSERT_EQ(asked.size(), 4u);
  EXPECT_EQ(asked[0].rfind("Apply changes?: ", 0), 0u) << asked[0];
  for (int i = 1; i <= 3; ++i)
    EXPECT_EQ(asked[i].rfind("Start to burn: Insert a BLANK disc into the writer device and "
                             "start to burn backed up data of Volume " +
                                 std::to_string(i) + "/Total 3 discs\r",
                             0),
              0u)
        << asked[i];

  const auto stored = ReadProject("Discs");
  EXPECT_EQ(stored->DestinationType, 2);
  EXPECT_EQ(stored->WriterTargetID, 0);
  EXPECT_TRUE(stored->Split);
  EXPECT_EQ(stored->RunCounter, 1);
  EXPECT_EQ(stored->Snapshot.Count(), 2);

  ASSERT_EQ(recorder.Images().size(), 3u);
  std::string joined;
  for (int i = 1; i <= 3; ++i)
    joined +=
        disc_test::DiscFile(recorder.Image(i), "QUORVABACKUP-" + std::to_string(i), data.Posix());
  WriteFile(data.P("joined.zip"), joined);
  disc_test::ExpectArchiveHolds(data.P("joined.zip"), data.W("src\\"), {"big.bin", "a.txt"},
                                data.P("src"));
  EXPECT_TRUE(Names(env.home.P("tmp")).empty()) << "the temporary archive is gone";
  EXPECT_EQ(Names(data.P("src")).size(), 2u);
}

}  // namespace
