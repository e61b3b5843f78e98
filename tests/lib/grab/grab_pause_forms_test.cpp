// The pause before a track is burnt in that track's form (disc-at-once, and the recorder's
// track-at-once) or, by some drives, in the form of the track before it. A grab keeps either as
// it was read: a Mode 1 pause before an XA track is no bad sector, and the image holds the
// disc's bytes with the pause's own Q.
#include <gtest/gtest.h>

#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "tests/lib/grab/grab_test_support.h"

namespace grabtest {
namespace {

class GrabPauseForms : public GrabTest {};

// A pressed Mode 1 track, a pause of 150 Mode 1 sectors and an XA track of Form 1 sectors.
TEST_F(GrabPauseForms, PauseInTheFormOfTheTrackBeforeIsKeptAsRead) {
  constexpr int kOne = 300, kPause = 150, kTwo = 200;
  Bytes bin;
  for (int lba = 0; lba < kOne + kPause + kTwo; ++lba) {
    std::uint8_t block[2048], sector[2352];
    for (int k = 0; k < 2048; ++k) block[k] = static_cast<std::uint8_t>(lba * 7 + k * 3);
    if (lba < kOne + kPause) {
      vr::EncodeMode1(lba, block, sector);
    } else {
      static const std::uint8_t kSubheader[4] = {0, 0, 0x08, 0};
      vr::EncodeMode2Form1(lba, kSubheader, block, sector);
    }
    bin.insert(bin.end(), sector, sector + 2352);
  }
  WriteFile(dir.P("disc.bin"), std::string(bin.begin(), bin.end()));
  WriteFile(dir.P("disc.cue"),
            "FILE \"disc.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
            "  TRACK 02 MODE2/2352\n    INDEX 00 00:04:00\n    INDEX 01 00:06:00\n");
  Pressed(Media::CdRom, dir.W("disc.cue"));
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  const TOC_INFORMATION toc = Toc();
  ASSERT_EQ(toc.m__UCHAR__NumberOfTracks, 2);
  ASSERT_EQ(toc.m__TOC_TRACK_ENTRY__Tracks[1].m__LONG__StartLBA, kOne + kPause);
  ASSERT_EQ(toc.m__TOC_TRACK_ENTRY__Tracks[1].m__UCHAR__DataMode, 2);

  grab.calls.clear();
  ASSERT_EQ(GrabCD(dir.W("img"), 3, 2), 0u) << text;
  EXPECT_TRUE(grab.Of(HALVORIN_CALLBACK_REASON_GRAB_SECTOR_RETRY).empty());
  EXPECT_TRUE(grab.Of(HALVORIN_CALLBACK_REASON_GRAB_SECTOR_BAD_KEPT).empty());
  const Bytes image = Slurp(dir.P("img.qvf"));
  ASSERT_EQ(image.size(), bin.size() / 2352 * 2448);
  for (std::size_t i = 0; i < bin.size() / 2352; ++i)
    ASSERT_EQ(std::memcmp(image.data() + i * 2448, bin.data() + i * 2352, 2352), 0) << i;
  ExpectTrackQ(image, 0, 1, 0, kOne - 1, 4);
  for (std::int32_t lba = kOne; lba < kOne + kPause; ++lba) {
    const SubChannel sub = DecodeSub(image.data() + static_cast<std::size_t>(lba) * 2448);
    ASSERT_TRUE(QCrcOk(sub.q)) << lba;
    EXPECT_EQ(Bytes(sub.q, sub.q + 10), ExpectedQ(2, 4, true, kOne + kPause - lba - 1, lba)) << lba;
    EXPECT_EQ(sub.pBits, 96) << lba;
  }
  ExpectTrackQ(image, kOne + kPause, 2, kOne + kPause, kOne + kPause + kTwo - 1, 4);
}

// Track-at-once onto the recorder: the XA track's pause is burnt as Mode 2 Form 1 sectors of
// its own, as the recorder's exported image and the grab alike read them.
TEST_F(GrabPauseForms, TrackAtOncePauseIsOfItsOwnTrack) {
  Devices({Media::CdR});
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  WriteFile(dir.P("src/one.bin"), std::string(300000, 'a'));
  ASSERT_EQ(BuildTree(dir.W("src/one.bin"), "ONE", 0), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 0, 0, 1, 0, 0), 0u)
      << text;
  TRACK_INFORMATION info{};
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetTrackInformation(BURNER_ARGS, 255, &info), 0u) << text;
  WriteFile(dir.P("src/two.bin"), std::string(100000, 'b'));
  ASSERT_EQ(BuildTree(dir.W("src/two.bin"), "TWO", info.m__LONG__NextWritableAddress), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 1, 0, 0, 0, 0), 0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
  const TOC_INFORMATION toc = Toc();
  const std::int32_t two = toc.m__TOC_TRACK_ENTRY__Tracks[1].m__LONG__StartLBA;
  at::Recorder(0).ExportBinCue(dir.W("export.bin"), dir.W("export.cue"));
  const Bytes bin = Slurp(dir.P("export.bin"));
  ASSERT_GE(bin.size(), static_cast<std::size_t>(two) * 2352);
  ASSERT_EQ(GrabCD(dir.W("img"), 3), 0u) << text;
  const Bytes image = Slurp(dir.P("img.qvf"));
  for (std::int32_t lba = two - 150; lba < two; ++lba) {
    const std::uint8_t* s = bin.data() + static_cast<std::size_t>(lba) * 2352;
    EXPECT_EQ(s[15], 2) << lba;
    EXPECT_EQ(s[18] & 0x20, 0) << lba;  // Form 1
    EXPECT_EQ(s[12], Bcd((lba + 150) / 4500));
    EXPECT_EQ(s[13], Bcd((lba + 150) / 75 % 60));
    EXPECT_EQ(s[14], Bcd((lba + 150) % 75));
    ASSERT_EQ(std::memcmp(image.data() + static_cast<std::size_t>(lba) * 2448, s, 2352), 0) << lba;
  }
}

}  // namespace
}  // namespace grabtest
