// The disc destination against tgtd's emulated CD/DVD drive through the library's iSCSI
// adapter: the writer search lists it beside the virtual recorder, and backup runs burn their
// archive volumes there; tgtd's backing files are then the discs.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/backup/backup_run.h"
#include "app/engine/delivery/writer_search.h"
#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/settings/global_setting.h"
#include "app/engine/user_interface.h"
#include "platform/registry/registry.h"
#include "tests/support/disc_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tgtd_target.h"

namespace fs = std::filesystem;
namespace reg = platform::registry;

namespace {

using disc_test::Names;

class DiscIscsiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TTgtdTarget::Installed()) GTEST_SKIP() << "tgtd is not installed";
    setenv("QUORVA_HOME", dir_.P("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir_.P("config").c_str(), 1);
    ASSERT_EQ(tgtd_.Start(dir_), "");
    // Host adapter 0: one virtual recorder; 1: tgtd's CD/DVD unit; 2: its disk. Written before
    // the library's first look at its adapters.
    ASSERT_NO_FATAL_FAILURE(disc_test::ConfigureRecorder("DVD-R"));
    auto targets =
        reg::Key::Open(reg::Hive::CurrentUser, "\\Software\\Quorva\\halvorin\\IscsiTargets", true);
    ASSERT_TRUE(targets && targets->WriteString("Target0", tgtd_.Url(1)) &&
                targets->WriteString("Target1", tgtd_.Url(2)));

    previousLog_ = SetLogSink(log_);
    // The command-line run's answers when the script runs out: the disc in the drive once, and
    // Cancel when it fails its test.
    ui_->defaultAnswer = [](std::string_view text, std::string_view title, bool retry) {
      return THeadlessUserInterface().AskInsertBlankDisc(text, title, retry);
    };
    previousUi_ = SetUserInterface(ui_);
    settings_ = std::make_unique<TGlobalSetting>();
    settings_->SaveOnDestroy = false;
    fs::create_directories(dir_.P("tmp"));
    settings_->TempFolder = dir_.W("tmp\\");
    WriteFile(dir_.P("src/a.txt"), "alpha");
    WriteFile(dir_.P("src/sub/data.bin"), disc_test::RandomText(300'000));
    project_.Name = "job";
    project_.BackupMode = 1;
    project_.DestinationType = 2;
    project_.Compress = false;
    project_.Split = false;
    project_.ProjectFile = dir_.W("job.bpj");
    project_.Folders.Add(dir_.W("src\\"), 0);
  }
  void TearDown() override {
    if (previousUi_) SetUserInterface(previousUi_);
    if (previousLog_) SetLogSink(previousLog_);
    tgtd_.Stop();
  }

  TBackupOutcome Run() {
    ResetProgressForJob();
    return BackupThreadProc(project_, *settings_);
  }

  std::string LogText() const {
    std::string out;
    for (const TLogEntry& e : log_->Entries()) out += e.EventText() + "\n";
    return out;
  }

  std::string DiscFile(const std::string& disc, const std::string& label) {
    return disc_test::DiscFile(disc, label, dir_.Posix());
  }

  // unzip tests the archive and extracts the sources as they were.
  void ExpectArchiveHoldsTheSources(const std::string& archive) {
    const std::string zip = dir_.P("disc.zip"), restored = dir_.P("restored");
    WriteFile(zip, archive);
    disc_test::ExpectArchiveHolds(zip, dir_.W("src\\"), {"a.txt", "sub/data.bin"}, dir_.P("src"));
    std::string out;
    ASSERT_EQ(RunCommand("unzip -q '" + zip + "' -d '" + restored + "'", &out), 0) << out;
    // The entry names keep the program's backslashes, and so do the files unzip makes of them.
    EXPECT_EQ(Names(restored).size(), 3u) << "the two files and the project definition";
  }

  void UseTgtdWriter() {
    project_.WriterPort = 1;
    project_.WriterBus = 0;
    project_.WriterTargetID = 0;
    project_.WriterLUN = 0;
  }

  TempDir dir_;
  TTgtdTarget tgtd_;
  std::shared_ptr<TMemoryLogSink> log_ = std::make_shared<TMemoryLogSink>();
  std::shared_ptr<disc_test::TScriptedUserInterface> ui_ =
      std::make_shared<disc_test::TScriptedUserInterface>();
  std::shared_ptr<ILogSink> previousLog_;
  std::shared_ptr<IUserInterface> previousUi_;
  std::unique_ptr<TGlobalSetting> settings_;
  TProject project_;
};

TEST_F(DiscIscsiTest, BackupBurnsOneVolumeOnTheTgtdWriterFoundByTheSearch) {
  StartWriterSearch(2);
  JoinWriterSearch();
  const std::vector<std::string> names = WriterNames();
  const std::vector<TWriterAddress> addresses = WriterAddresses();
  ASSERT_EQ(names.size(), 2u) << "tgtd's disk unit is no writer";
  ASSERT_EQ(addresses.size(), 2u);
  EXPECT_EQ(names[0], " QUORVA   Virtual Recorder 1.00");
  EXPECT_EQ(names[1], " IET      VIRTUAL-CDROM    0001");
  const auto address = [&](size_t i) {
    return std::vector<std::int32_t>{addresses[i].Port, addresses[i].Bus, addresses[i].TargetID,
                                     addresses[i].LUN};
  };
  EXPECT_EQ(address(0), (std::vector<std::int32_t>{0, 0, 0, 0}));
  EXPECT_EQ(address(1), (std::vector<std::int32_t>{1, 0, 0, 0}));

  project_.WriterPort = addresses[1].Port;
  project_.WriterBus = addresses[1].Bus;
  project_.WriterTargetID = addresses[1].TargetID;
  project_.WriterLUN = addresses[1].LUN;
  ASSERT_EQ(Run(), TBackupOutcome::Complete) << LogText();
  EXPECT_EQ(ui_->prompts, 1);
  EXPECT_EQ(ui_->errors, std::vector<std::string>{});
  EXPECT_EQ(LogText().find("Burning error"), std::string::npos) << LogText();
  EXPECT_EQ(disc_test::TRecorderFolder(dir_.P("home")).Images(), std::vector<std::string>{})
      << "nothing is burnt on the virtual recorder";
  EXPECT_TRUE(Names(dir_.P("tmp")).empty()) << "temporary archive files are deleted";
  tgtd_.Stop();

  ExpectArchiveHoldsTheSources(DiscFile(tgtd_.CdImage(), "QUORVABACKUP"));
}

// The command-line run has the disc in the drive written once: that disc, written and
// ejected, is refused for the next run, and stays as it was.
TEST_F(DiscIscsiTest, TheWrittenDiscIsRefusedByTheNextRun) {
  UseTgtdWriter();
  ASSERT_EQ(Run(), TBackupOutcome::Complete) << LogText();
  const std::string disc = ReadFile(tgtd_.CdImage());
  WriteFile(dir_.P("src/b.txt"), "beta");
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  EXPECT_EQ(ui_->prompts, 3) << "asked once for the first run, twice for the second";
  ASSERT_FALSE(ui_->errors.empty());
  EXPECT_EQ(ui_->errors[0], "Drive tests error: Disc is not blank or device is not ready");
  EXPECT_NE(LogText().find("Cancel Burning"), std::string::npos) << LogText();
  EXPECT_EQ(Names(dir_.P("tmp")).size(), 1u) << "the undelivered archive is kept";
  tgtd_.Stop();
  EXPECT_EQ(ReadFile(tgtd_.CdImage()), disc);
}

// After the first disc the unit has no medium, as an opened tray (tgtd keeps its file across
// an eject, so the test takes the unit offline); the blank disc laid in it takes the second
// volume.
TEST_F(DiscIscsiTest, TheDiscLaidInTheOpenedTrayTakesTheNextVolume) {
  UseTgtdWriter();
  WriteFile(dir_.P("src/sub/data.bin"), disc_test::RandomText(2'000'000));
  project_.Split = true;
  project_.SplitSizeIndex = 0;  // 1,468,006-byte volumes: two of them
  const std::string first = tgtd_.CdImage(), second = dir_.P("cd2.img");
  ui_->answers = {TModalResult::Yes, TModalResult::Yes, TModalResult::Cancel};
  // Before the second prompt: the first disc is out and the tray open.
  ui_->onPrompt = [&](int promptsBefore) {
    if (promptsBefore != 1) return;
    WriteFile(second, "");
    EXPECT_EQ(tgtd_.PutDiscInOpenTray(second), "");
  };
  ASSERT_EQ(Run(), TBackupOutcome::Complete) << LogText();
  EXPECT_EQ(ui_->prompts, 2);
  EXPECT_EQ(ui_->errors, std::vector<std::string>{});
  tgtd_.Stop();

  ExpectArchiveHoldsTheSources(DiscFile(first, "QUORVABACKUP-1") +
                               DiscFile(second, "QUORVABACKUP-2"));
}

}  // namespace
