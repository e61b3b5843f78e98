// Backup runs whose destination is a CD/DVD writer, against the library's virtual recorders:
// what the discs hold when the recorder ejects them, and what a refused, cancelled or failed
// burn leaves behind.
#include "app/engine/delivery/disc_delivery.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/engine/backup/command_line_backup.h"
#include "app/engine/progress.h"
#include "tests/support/disc_test_support.h"

namespace fs = std::filesystem;

namespace {

using disc_test::Names;

class DiscDeliveryTest : public disc_test::TDiscRunFixture {};

class DiscDeliveryMediaTest : public DiscDeliveryTest,
                              public ::testing::WithParamInterface<const char*> {};

TEST_P(DiscDeliveryMediaTest, EachVolumeOnItsOwnDiscJoinsIntoTheArchive) {
  Recorder(GetParam());
  fs::copy(dir_.P("src"), dir_.P("orig"));  // the complete run deletes the sources
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  EXPECT_TRUE(Names(dir_.P("src")).empty());
  ASSERT_EQ(Images().size(), 3u);
  EXPECT_EQ(ui_->prompts, 3);
  EXPECT_NE(ui_->boxes[1].find("Start to burn: Insert a BLANK disc into the writer device and "
                               "start to burn backed up data of Volume 2/Total 3 discs\rClick "
                               "YES to continue burning.\r"),
            std::string::npos);
  std::string joined;
  for (int i = 1; i <= 3; ++i) joined += DiscFile(Image(i), "QUORVABACKUP-" + std::to_string(i));
  WriteFile(dir_.P("joined.zip"), joined);
  disc_test::ExpectArchiveHolds(dir_.P("joined.zip"), dir_.W("src\\"), {"big.bin", "a.txt"},
                                dir_.P("orig"));
  EXPECT_TRUE(Names(dir_.P("tmp")).empty()) << "temporary archive files are deleted";
  EXPECT_EQ(ProgressPosition.load(), 100);
}

INSTANTIATE_TEST_SUITE_P(Media, DiscDeliveryMediaTest, ::testing::Values("DVD-R", "CD-R"));

TEST_F(DiscDeliveryTest, OneVolumeIsLabelledWithoutNumber) {
  Recorder("DVD-R");
  project_.Split = false;
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  ASSERT_EQ(Images().size(), 1u);
  WriteFile(dir_.P("one.zip"), DiscFile(Image(1), "QUORVABACKUP"));
  std::string out;
  EXPECT_EQ(RunCommand("unzip -tq '" + dir_.P("one.zip") + "'", &out), 0) << out;
}

TEST_F(DiscDeliveryTest, NoSkipsTheVolumeAndFailsTheRun) {
  Recorder("DVD-R");
  ui_->answers = {TModalResult::Yes, TModalResult::No, TModalResult::Yes};
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  ASSERT_EQ(Images().size(), 2u) << "volumes 1 and 3 are written";
  DiscFile(Image(1), "QUORVABACKUP-1");
  DiscFile(Image(2), "QUORVABACKUP-3");
  ExpectFailedRunKeepsEverything();
}

TEST_F(DiscDeliveryTest, CancelAtThePromptStopsTheDelivery) {
  Recorder("DVD-R");
  ui_->answers = {TModalResult::Yes, TModalResult::Cancel};
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  EXPECT_EQ(Images().size(), 1u);
  EXPECT_EQ(ui_->prompts, 2);
  EXPECT_TRUE(HasDeviceLine("Cancel Burning"));
  EXPECT_TRUE(HasDeviceLine("Burning error"));
  ExpectFailedRunKeepsEverything();
}

TEST_F(DiscDeliveryTest, UserBreakDuringTheBurnCancelsTheTrack) {
  Recorder("DVD-R");
  ui_->onPanel = [](const std::string& text) {
    if (text == "Burning to disc...") ProgressCancelled = true;
  };
  EXPECT_NE(Run(), TBackupOutcome::Complete);
  EXPECT_EQ(ui_->prompts, 1);
  EXPECT_TRUE(HasDeviceLine("Burning data failed, exception 14"));
  EXPECT_TRUE(HasDeviceLine("Burning error"));
  ExpectFailedRunKeepsEverything();
}

// The second disc's sector file cannot be written: the drive answers a medium error.
TEST_F(DiscDeliveryTest, MediumErrorOnTheSecondVolumeFailsTheRun) {
  Recorder("DVD-R");
  ui_->onPrompt = [this](int prompt) {
    if (prompt == 1) fs::create_directories(Folder() + "/disc-0002/sectors");
  };
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  EXPECT_EQ(ui_->prompts, 2) << "the third volume is not asked for";
  EXPECT_TRUE(HasDeviceLine("Burning data failed"));
  DiscFile(Image(1), "QUORVABACKUP-1");
  ExpectFailedRunKeepsEverything();
}

// A pressed disc is refused and the prompt comes again; the headless answer then cancels.
TEST_F(DiscDeliveryTest, UnwritableDiscIsRefusedAndAskedAgain) {
  Recorder("CD-ROM");
  ui_->answers = {TModalResult::Yes, TModalResult::Cancel};
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  EXPECT_EQ(ui_->prompts, 2);
  EXPECT_TRUE(std::any_of(ui_->boxes.begin(), ui_->boxes.end(), [](const std::string& b) {
    return b == "Drive tests error: Disc is not blank or device is not ready" ||
           b == "Disc tests error: Disc is not writable";
  }));
  ExpectFailedRunKeepsEverything();
}

// The command-line run's interface burns on the disc in the drive and cancels, without
// asking again, when that disc is refused.
TEST_F(DiscDeliveryTest, HeadlessAnswersYesOnceThenCancel) {
  Recorder("CD-ROM");
  SetUserInterface(std::make_shared<THeadlessUserInterface>());
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  EXPECT_TRUE(HasDeviceLine("Cancel Burning"));
  ExpectFailedRunKeepsEverything();
}

// `QuorvaBackup job.bpj` with the disc destination: one Yes per volume, and the virtual
// recorder lays a blank in the tray after each eject, so every volume gets its disc.
TEST_F(DiscDeliveryTest, CommandLineBackupBurnsOneDiscPerVolume) {
  Recorder("DVD-R");
  project_.DeleteAfterBackup = false;
  ASSERT_TRUE(settings_->SaveToRegistry());
  ASSERT_TRUE(project_.SaveToFile(project_.ProjectFile));
  const std::string bpj = dir_.P("job.bpj");
  const pid_t pid = fork();
  if (pid == 0) _exit(RunCommandLineBackup(bpj));
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ASSERT_EQ(Images().size(), 3u);
  std::string joined;
  for (int i = 1; i <= 3; ++i) joined += DiscFile(Image(i), "QUORVABACKUP-" + std::to_string(i));
  WriteFile(dir_.P("joined.zip"), joined);
  disc_test::ExpectArchiveHolds(dir_.P("joined.zip"), dir_.W("src\\"), {"big.bin", "a.txt"},
                                dir_.P("src"));
  EXPECT_TRUE(Names(dir_.P("tmp")).empty()) << "temporary archive files are deleted";
}

TEST(DiscSpeedTest, TableValuesAndTheMaximumOutside) {
  const std::vector<std::pair<int, std::uint32_t>> cases = {
      {0, 0xFFFF}, {1, 176},  {2, 353},  {3, 387},    {4, 528},
      {5, 706},    {6, 1400}, {7, 2800}, {8, 0xFFFF}, {-1, 0xFFFF}};
  for (const auto& [index, speed] : cases) EXPECT_EQ(SpeedForIndex(index), speed) << index;
}

}  // namespace
