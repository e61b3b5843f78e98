// Volumes the disc in the drive cannot take: an image larger than the disc's free blocks, and a
// drive that cannot tell its next writable track. Both are refused before a block is written.
#include <gtest/gtest.h>

#include <string>

#include "app/engine/delivery/disc_delivery.h"
#include "tests/support/disc_test_support.h"

namespace {

class DiscRefusalTest : public disc_test::TDiscRunFixture,
                        public ::testing::WithParamInterface<const char*> {
 protected:
  // The recorder has its state once the library has spoken to it.
  void Materialize() {
    DISC_TYPE type = DISC_TYPE_UNKNOWN;
    ASSERT_TRUE(TestDiscInDrive(0, 0, 0, 0, type));
  }

  void ExpectNothingWritten() {
    EXPECT_FALSE(HasDeviceLine("Burning to disc..."));
    EXPECT_FALSE(HasDeviceLine("Burning data failed"));
    EXPECT_TRUE(HasDeviceLine("Error happens... "));
    EXPECT_TRUE(HasDeviceLine("Burning error"));
    EXPECT_EQ(ui_->prompts, 1) << "the later volumes are not asked for";
    EXPECT_TRUE(Images().empty());
    EXPECT_EQ(recorder_.TrayDiscState().find("\ntrack "), std::string::npos)
        << recorder_.TrayDiscState();
    ExpectFailedRunKeepsEverything();
  }
};

// A disc of 400 blocks (800 KiB) offered the first volume of 1,468,006 bytes.
TEST_P(DiscRefusalTest, ImageLargerThanTheFreeBlocksIsRefused) {
  Recorder(GetParam());
  Materialize();
  recorder_.ChangeTrayDisc([](std::string& state) {
    const size_t at = state.find("\ncapacity ");
    ASSERT_NE(at, std::string::npos) << state;
    state.replace(at, state.find('\n', at + 1) - at, "\ncapacity 400");
  });
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  EXPECT_TRUE(HasDeviceLine("disc has 400 free"));
  ExpectNothingWritten();
  DISC_TYPE type = DISC_TYPE_UNKNOWN;
  EXPECT_TRUE(TestDiscInDrive(0, 0, 0, 0, type)) << "the disc is still blank";
}

// The disc test passes; then the disc in the drive is closed, so the next writable track the
// burn asks for does not exist.
TEST_P(DiscRefusalTest, FailedTrackInformationFailsTheVolume) {
  Recorder(GetParam());
  Materialize();
  ui_->onPanel = [this](const std::string& text) {
    if (text != "Creating file system...") return;
    recorder_.ChangeTrayDisc([](std::string& state) {
      const size_t at = state.find("\nfinalized 0\n");
      ASSERT_NE(at, std::string::npos) << state;
      state.replace(at, 13, "\nfinalized 1\n");
    });
  };
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  EXPECT_TRUE(HasDeviceLine("Get track information failed"));
  ExpectNothingWritten();
}

INSTANTIATE_TEST_SUITE_P(Media, DiscRefusalTest, ::testing::Values("CD-R", "DVD-R"));

}  // namespace
