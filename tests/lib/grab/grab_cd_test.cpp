// GrabCD of data CDs written track-at-once (Mode 1 and XA) in read modes 1, 2 and 3: iat (and,
// for Mode 1, mdf2iso) turn the image into an ISO whose data-track part equals the source, every
// sector's Q follows the grab's rule, the main bytes are the recorder's own, and the descriptor's
// reader gives the TOC's sizes. A fault in the run-up to a second track becomes pattern sectors
// in that track's pre-gap form; at a session's end, in its own track's form.
#include <gtest/gtest.h>

#include "lib/core/grab/image_descriptor.h"
#include "tests/lib/grab/grab_test_support.h"

namespace grabtest {
namespace {

class GrabCd : public GrabTest {};

TEST_F(GrabCd, DataCdsInEveryReadModeReadBackByIatAndMdf2iso) {
  for (bool xa : {false, true}) {
    SCOPED_TRACE(xa ? "XA" : "Mode 1");
    Devices({Media::CdR});
    WriteDataCd(400000, xa);
    const TOC_INFORMATION toc = Toc();
    ASSERT_EQ(toc.m__UCHAR__NumberOfTracks, 1);
    const TOC_TRACK_ENTRY& t = toc.m__TOC_TRACK_ENTRY__Tracks[0];
    const auto sectors = static_cast<std::size_t>(t.m__LONG__EndLBA + 1);
    ASSERT_EQ(sectors * 2048, iso.size());
    std::vector<Bytes> images;
    for (uint32_t mode : {1u, 2u, 3u}) {
      SCOPED_TRACE("read mode " + std::to_string(mode));
      const std::string name = "m" + std::to_string(mode);
      grab.calls.clear();
      ASSERT_EQ(GrabCD(dir.W(name), mode), 0u) << text;
      EXPECT_EQ(grab.Reasons(),
                std::vector<std::uint32_t>({HALVORIN_CALLBACK_REASON_GRAB_TRACK_BEGIN,
                                            HALVORIN_CALLBACK_REASON_GRAB_TRACK_END}));
      const Bytes image = Slurp(dir.P(name + ".qvf"));
      ASSERT_EQ(image.size(), sectors * 2448);
      ExpectTrackQ(image, 0, 1, 0, t.m__LONG__EndLBA, 4);
      Run("cd " + dir.Posix() + " && iat " + name + ".qvf " + name + "-iat.iso");
      EXPECT_TRUE(Slurp(dir.P(name + "-iat.iso")) == iso);
      if (!xa) {
        Run("cd " + dir.Posix() + " && cp " + name + ".qvf " + name + ".mdf && mdf2iso " + name +
            ".mdf " + name + "-mdf2iso.iso >/dev/null");
        EXPECT_TRUE(Slurp(dir.P(name + "-mdf2iso.iso")) == iso);
      }
      SAO_TRACK_ARRAY list;
      std::int32_t imageMode = 0;
      char dataFile[260] = {};
      ASSERT_EQ(HalvorinI_ParseMDS(dir.W(name + ".mds").c_str(), &list, &imageMode, dataFile,
                                   dir.Win().c_str()),
                0u);
      EXPECT_EQ(list.m__LONG__NumberOfRawTracks, 1);
      EXPECT_EQ(list.m__LONG__RawTrackSizeInLBs[0], static_cast<std::int32_t>(sectors));
      EXPECT_EQ(imageMode, xa ? 2 : 1);
      EXPECT_STREQ(dataFile, (name + ".qvf").c_str());
      std::int32_t mdfMode = -1;
      EXPECT_TRUE(HalvorinI_IsMDF(dir.W(name + ".qvf").c_str(), &mdfMode));
      EXPECT_EQ(mdfMode, xa ? 2 : 1);
      images.push_back(image);
    }
    // mdf2iso checks the first sector's subchannel: without its P and Q it refuses the image.
    if (!xa) {
      Bytes broken = images[0];
      std::memset(broken.data() + 2352, 0, 96);
      WriteFile(dir.P("broken.mdf"), std::string(broken.begin(), broken.end()));
      std::string out;
      EXPECT_NE(RunCommand("cd " + dir.Posix() + " && mdf2iso broken.mdf broken.iso", &out), 0);
    }
    // Whatever the read mode, the same image; its main bytes are the recorder's own sectors.
    EXPECT_TRUE(images[0] == images[1]);
    EXPECT_TRUE(images[0] == images[2]);
    EjectAndReadCue();
    const Bytes bin = Slurp(ImageBase() + ".bin");
    ASSERT_EQ(bin.size(), sectors * 2352);
    for (std::size_t i = 0; i < sectors; ++i)
      ASSERT_EQ(std::memcmp(images[0].data() + i * 2448, bin.data() + i * 2352, 2352), 0) << i;
    Halvorin_Destroy(&burner);
    Halvorin_Destroy(&tree);
    at::ConfigureRecorders({});
    std::filesystem::remove_all(dir.P("home"));
  }
}

// A Mode 1 and an XA track, in one session or in two; a sector of track 1's last 150 stays
// unreadable. Without Ignore the grab fails and leaves no file; with it that sector and the rest
// of track 1 become pattern sectors. In one session they are track 2's run-up: its mode byte, its
// number and the pre-gap Q of the readable part of track 2's pause before them: counting down
// to 00:00:00 at the pause's last sector, P set. At a session's end they are track 1's own: its
// mode byte and its INDEX 1 Q counting up, as the sectors before them. (Read mode 2: in mode 3 the
// drive's own P channel, set over the pause, would stay.)
TEST_F(GrabCd, RunUpToTheNextTrackBecomesItsPreGapPattern) {
  for (bool twoSessions : {false, true}) {
    SCOPED_TRACE(twoSessions ? "two sessions" : "one session");
    Devices({Media::CdR});
    ASSERT_EQ(CreateGrabber(), 0u) << text;
    WriteFile(dir.P("src/one.bin"), std::string(300000, 'a'));
    ASSERT_EQ(BuildTree(dir.W("src/one.bin"), "ONE", 0), 0u) << text;
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 0, 0, 1, 0, 0), 0u)
        << text;
    if (twoSessions) {
      ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
    }
    // The second track at the next writable address.
    TRACK_INFORMATION info{};
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetTrackInformation(BURNER_ARGS, 255, &info), 0u) << text;
    WriteFile(dir.P("src/two.bin"), std::string(100000, 'b'));
    ASSERT_EQ(BuildTree(dir.W("src/two.bin"), "TWO", info.m__LONG__NextWritableAddress), 0u)
        << text;
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 1, 0, 0, 0, 0), 0u)
        << text;
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
    const TOC_INFORMATION toc = Toc();
    ASSERT_EQ(toc.m__UCHAR__NumberOfTracks, 2);
    ASSERT_EQ(toc.m__UCHAR__HighestSessionNumber, twoSessions ? 2 : 1);
    const TOC_TRACK_ENTRY& one = toc.m__TOC_TRACK_ENTRY__Tracks[0];
    const TOC_TRACK_ENTRY& two = toc.m__TOC_TRACK_ENTRY__Tracks[1];
    const std::int32_t bad = one.m__LONG__EndLBA - 20;
    at::InjectMediumError(0, bad);

    grab.calls.clear();
    EXPECT_EQ(GrabCD(dir.W("fail"), 2, 2), 10u);
    EXPECT_NE(std::string(text).find("LBA " + std::to_string(bad) + " cannot be recovered"),
              std::string::npos)
        << text;
    EXPECT_FALSE(std::filesystem::exists(dir.P("fail.qvf")));
    EXPECT_FALSE(std::filesystem::exists(dir.P("fail.mds")));
    EXPECT_TRUE(grab.Of(HALVORIN_CALLBACK_REASON_GRAB_SECTOR_RETRY).empty());

    grab.calls.clear();
    ASSERT_EQ(GrabCD(dir.W("img"), 2, 2, true), 0u) << text;
    const auto patterns = grab.Of(HALVORIN_CALLBACK_REASON_GRAB_SECTOR_PATTERN);
    ASSERT_EQ(patterns.size(), 21u);
    for (std::size_t i = 0; i < patterns.size(); ++i) {
      EXPECT_EQ(patterns[i].a, bad + static_cast<std::int64_t>(i));
      EXPECT_EQ(patterns[i].b, 1);
    }
    EXPECT_TRUE(grab.Of(HALVORIN_CALLBACK_REASON_GRAB_SECTOR_RETRY).empty());
    const Bytes image = Slurp(dir.P("img.qvf"));
    const std::size_t oneSectors = static_cast<std::size_t>(one.m__LONG__EndLBA + 1);
    ASSERT_EQ(image.size(), (oneSectors + static_cast<std::size_t>(two.m__LONG__EndLBA -
                                                                   two.m__LONG__StartLBA + 1)) *
                                2448);
    // Track 2's pause (the 150 sectors before it, INDEX 0 by the disc's own Q) keeps its pre-gap
    // Q, counting down to 00:00:00 at its last sector, with P set.
    const std::int32_t pause = two.m__LONG__StartLBA - 150;
    if (twoSessions) {
      ExpectTrackQ(image, 0, 1, 0, one.m__LONG__EndLBA, 4);
    } else {
      ASSERT_LT(pause, bad);
      ExpectTrackQ(image, 0, 1, 0, pause - 1, 4);
      for (std::int32_t lba = pause; lba < bad; ++lba) {
        const SubChannel sub = DecodeSub(image.data() + static_cast<std::size_t>(lba) * 2448);
        ASSERT_TRUE(QCrcOk(sub.q)) << lba;
        EXPECT_EQ(Bytes(sub.q, sub.q + 10),
                  ExpectedQ(2, 4, true, two.m__LONG__StartLBA - lba - 1, lba))
            << lba;
        EXPECT_EQ(sub.pBits, 96) << lba;
      }
    }
    for (std::int32_t lba = bad; lba <= one.m__LONG__EndLBA; ++lba) {
      const std::uint8_t* s = image.data() + static_cast<std::size_t>(lba) * 2448;
      EXPECT_EQ(s[15], twoSessions ? 1 : 2);  // track 1's own mode, or XA track 2's
      EXPECT_EQ(s[12], Bcd((lba + 150) / 4500));
      EXPECT_EQ(s[13], Bcd((lba + 150) / 75 % 60));
      EXPECT_EQ(s[14], Bcd((lba + 150) % 75));
      EXPECT_TRUE(std::all_of(s + 16, s + 2352, [](std::uint8_t b) { return b == 0xCC; }));
      if (twoSessions) continue;  // Q checked with track 1's above
      const SubChannel sub = DecodeSub(s);
      ASSERT_TRUE(QCrcOk(sub.q)) << lba;
      // In the pause's own form, as the sectors read before it.
      EXPECT_EQ(Bytes(sub.q, sub.q + 10),
                ExpectedQ(2, 4, true, two.m__LONG__StartLBA - lba - 1, lba))
          << lba;
      EXPECT_EQ(sub.pBits, 96) << lba;
    }
    ExpectTrackQ(image, oneSectors, 2, two.m__LONG__StartLBA, two.m__LONG__EndLBA, 4);
    Halvorin_Destroy(&burner);
    Halvorin_Destroy(&tree);
    at::ConfigureRecorders({});
    std::filesystem::remove_all(dir.P("home"));
  }
}

}  // namespace
}  // namespace grabtest
