// Rewritable discs in the disc destination: one that already holds data is taken, blanked and
// burnt when the project erases discs, and refused and left as it was when it does not; a new
// DVD+RW or DVD-RAM, which has no free blocks before its first format, is taken without erase.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/engine/delivery/disc_delivery.h"
#include "tests/support/disc_test_support.h"

namespace fs = std::filesystem;

namespace {

using disc_test::Names;

class DiscEraseTest : public disc_test::TDiscRunFixture,
                      public ::testing::WithParamInterface<const char*> {
 protected:
  // Burns an image made by xorriso (volume OLDDISC holding OLD.TXT) on the disc in the tray,
  // which the disc test then refuses as not blank.
  void InsertWrittenDisc() {
    WriteFile(dir_.P("old/OLD.TXT"), "the disc's earlier contents");
    std::string out;
    ASSERT_EQ(RunCommand("xorriso -as mkisofs -quiet -V OLDDISC -o '" + dir_.P("old.iso") + "' '" +
                             dir_.P("old") + "'",
                         &out),
              0)
        << out;
    disc_test::BurnImageInTray(dir_.W("old.iso"));
    DISC_TYPE type = DISC_TYPE_UNKNOWN;
    EXPECT_FALSE(TestDiscInDrive(0, 0, 0, 0, type));
    EXPECT_NE(type, DISC_TYPE_UNKNOWN);
  }

  // The three discs hold the volumes in order, and the volumes join into the archive.
  void ExpectDiscsHoldTheArchive() {
    ASSERT_EQ(Images().size(), 3u);
    std::string joined;
    for (int i = 1; i <= 3; ++i) joined += DiscFile(Image(i), "QUORVABACKUP-" + std::to_string(i));
    WriteFile(dir_.P("joined.zip"), joined);
    disc_test::ExpectArchiveHolds(dir_.P("joined.zip"), dir_.W("src\\"), {"big.bin", "a.txt"},
                                  dir_.P("orig"));
  }

  bool Boxed(const std::string& box) const {
    return std::find(ui_->boxes.begin(), ui_->boxes.end(), box) != ui_->boxes.end();
  }
};

using DiscEraseWrittenTest = DiscEraseTest;

TEST_P(DiscEraseWrittenTest, EraseBlanksTheWrittenDiscAndBurnsIt) {
  Recorder(GetParam());
  InsertWrittenDisc();
  project_.EraseDisc = true;
  fs::copy(dir_.P("src"), dir_.P("orig"));
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  EXPECT_EQ(ui_->prompts, 3) << "each disc is taken at the first answer";
  EXPECT_FALSE(Boxed("Drive tests error: Disc is not blank or device is not ready"));
  EXPECT_FALSE(HasDeviceLine("Erase disc failed"));
  EXPECT_FALSE(HasDeviceLine("Disc is not blank"));
  // The first image is the written disc: only the volume is left on it.
  ExpectDiscsHoldTheArchive();
  EXPECT_TRUE(Names(dir_.P("tmp")).empty());
}

TEST_P(DiscEraseWrittenTest, WithoutEraseTheWrittenDiscIsRefusedAndKept) {
  Recorder(GetParam());
  InsertWrittenDisc();
  ui_->answers = {TModalResult::Yes, TModalResult::Cancel};
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  EXPECT_EQ(ui_->prompts, 2) << "the prompt comes again";
  EXPECT_TRUE(Boxed("Drive tests error: Disc is not blank or device is not ready"));
  EXPECT_FALSE(HasDeviceLine("Analyzing..."));
  ExpectFailedRunKeepsEverything();
  // Ejected now, the disc still holds what was burnt on it first.
  EXPECT_TRUE(Images().empty());
  disc_test::EjectTray();
  ASSERT_EQ(Images().size(), 1u);
  std::string out;
  EXPECT_EQ(RunCommand("isoinfo -d -i '" + Image(1) + "'", &out), 0) << out;
  EXPECT_NE(out.find("Volume id: OLDDISC\n"), std::string::npos) << out;
  fs::create_directories(dir_.P("out"));
  EXPECT_EQ(RunCommand("bsdtar -xf '" + Image(1) + "' -C '" + dir_.P("out") + "' OLD.TXT", &out), 0)
      << out;
  EXPECT_EQ(ReadFile(dir_.P("out/OLD.TXT")), "the disc's earlier contents");
}

// A written DVD+RW reports address 0 and its free blocks as a blank one does and is written over
// in place: the disc test cannot tell it from a blank, whatever the setting.
INSTANTIATE_TEST_SUITE_P(Media, DiscEraseWrittenTest, ::testing::Values("CD-RW", "DVD-RW"));

using DiscEraseNewTest = DiscEraseTest;

TEST_P(DiscEraseNewTest, NewDiscIsFormattedByTheBurnWithoutErase) {
  Recorder(GetParam());
  DISC_TYPE type = DISC_TYPE_UNKNOWN;
  EXPECT_TRUE(TestDiscInDrive(0, 0, 0, 0, type));
  fs::copy(dir_.P("src"), dir_.P("orig"));
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  EXPECT_EQ(ui_->prompts, 3);
  ExpectDiscsHoldTheArchive();
}

INSTANTIATE_TEST_SUITE_P(Media, DiscEraseNewTest, ::testing::Values("DVD+RW", "DVD-RAM"));

}  // namespace
