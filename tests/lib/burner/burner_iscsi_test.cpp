// Track-at-once through the iSCSI adapter to tgtd's emulated drive: the write reaches tgtd's
// backing file, which outside tools then read as the image that was built.
#include <string>

#include "tests/lib/burner/burner_test_support.h"
#include "tests/support/tgtd_target.h"

namespace burnertest {
namespace {

class BurnerIscsi : public BurnerTest {
 protected:
  void TearDown() override {
    // The burner's session must end before tgtd goes away.
    if (burner) Halvorin_Destroy(&burner);
    at::ConfigureIscsi({});
    tgtd.Stop();
    BurnerTest::TearDown();
  }
  TTgtdTarget tgtd;
};

TEST_F(BurnerIscsi, TrackAtOnceToTheTgtdDriveLeavesTheImageInItsBackingFile) {
  if (!TTgtdTarget::Installed()) GTEST_SKIP() << "tgtd is not installed";
  ASSERT_EQ(tgtd.Start(dir), "");
  Devices({Media::CdR});
  at::ConfigureIscsi({tgtd.Url(1)});
  std::string data(2048 * 150 + 77, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 + i / 2048);
  WriteFile(dir.P("src/QUORVABACKUP"), data);

  // The first iSCSI URL is host adapter 1, after the virtual recorders.
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, &Record,
                                              &events, 1, 0, 0, 0, 0),
            0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TestUnitReady(BURNER_ARGS), 0u) << text;
  const DISC_TYPE type = Halvorin_CdvdBurnerGrabber_GetInsertedDiscType(burner);
  EXPECT_NE(type, DISC_TYPE_UNKNOWN);
  TRACK_INFORMATION info{};
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetTrackInformation(BURNER_ARGS, 255, &info), 0u) << text;
  EXPECT_EQ(info.m__UCHAR__IsValid, 1);
  EXPECT_EQ(info.m__BOOLEAN__IsBlank, 1);
  ASSERT_EQ(info.m__LONG__NextWritableAddress, 0);

  ASSERT_EQ(BuildTree(dir.W("src/QUORVABACKUP"), "QUORVABACKUP", 0), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 1, 0, 0, 1, 0), 0u)
      << text;
  EXPECT_EQ(events.lastWritten, events.lastTotal);
  EXPECT_GT(events.lastTotal, 0);
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
  Halvorin_Destroy(&burner);

  ExpectImageHolds(tgtd.CdImage(), dir.P("src"), "QUORVABACKUP");
}

}  // namespace
}  // namespace burnertest
