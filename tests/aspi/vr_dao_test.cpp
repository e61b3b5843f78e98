// Disc-at-once in the virtual recorder: the TOC read from the lead-in's Q (READ TOC formats 0,
// 2 and 5 answer from it), the checks of what the host sends, the damaged discs of a lead-in
// without a usable TOC and of a write that stops early, and track-at-once Mode 2 Form 2.
#include <gtest/gtest.h>

#include <functional>

#include "platform/aspi/recorder/coding/vr_lead_in_toc.h"
#include "platform/aspi/recorder/coding/vr_subchannel.h"
#include "tests/aspi/disc_at_once_sequences.h"
#include "tests/aspi/library_sequences.h"

namespace aspitest {
namespace {

namespace vr = platform::aspi::vr;

constexpr std::int32_t kLeadIn = -11634;

class RecorderDao : public AspiTest {
 protected:
  void SetUp() override {
    AspiTest::SetUp();
    Recorders({Media::CdR});
  }
  Reply Parameters(std::uint8_t blockType) {
    return burner.SetWriteParameters(3, blockType, 0, false, false, 0, false);
  }
  // Blocks of the disc from `lba`; `change` may spoil one before it is sent.
  Reply Write(const DaoDisc& disc, std::int32_t lba, std::int32_t count,
              std::function<void(std::int32_t, std::uint8_t*)> change = {}) {
    return burner.WriteBlocks(lba, count, disc.blockSize, [&](std::int32_t at, std::uint8_t* b) {
      disc.Block(at, kLeadIn, b);
      if (change) change(at, b);
    });
  }
  Reply WriteAll(const DaoDisc& disc) {
    Reply r = Write(disc, kLeadIn, -150 - kLeadIn + disc.leadOut + 150 + 6750);
    return r.Good() ? Cmd(0, Cdb10(0x35)) : r;
  }
  Reply Toc(std::uint8_t format) { return Cmd(0, Cdb10(0x43, 0, format << 24, 2048), 2048); }
  Reply TrackInfo(std::uint32_t track) { return Cmd(0, Cdb10(0x52, 1, track, 48), 48); }
  vr::Disc Disc() { return at::Recorder(0).CurrentDisc(); }
  LibraryBurner burner{0};
};

TEST(LeadInToc, PointsDecodeRepeatAndContradict) {
  DaoDisc disc{{0, 75, 300}, 500, false, false, 2368};
  std::vector<vr::TocPoint> toc;
  for (std::int32_t lba = kLeadIn; lba < kLeadIn + 18; ++lba) {
    vr::QFrame f;
    disc.Q(lba, kLeadIn, f.q.data());
    f.crcOk = true;
    const auto added = vr::AddTocFrame(toc, f);
    EXPECT_EQ(added, (lba - kLeadIn) % 3 == 0 ? vr::TocFrame::Added : vr::TocFrame::Repeated);
  }
  const auto decoded = vr::DecodeToc(toc, 359849);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->leadOut, 500);
  ASSERT_EQ(decoded->tracks.size(), 3u);
  EXPECT_EQ(decoded->tracks[1].start, 75);
  EXPECT_EQ(decoded->tracks[2].control, 0);
  vr::QFrame bad;
  disc.Q(kLeadIn, kLeadIn, bad.q.data());  // A0 with another disc type
  bad.q[8] = 0x20;
  bad.crcOk = true;
  EXPECT_EQ(vr::AddTocFrame(toc, bad), vr::TocFrame::Contradicts);
  bad.crcOk = false;
  EXPECT_EQ(vr::AddTocFrame(toc, bad), vr::TocFrame::Ignored);
  std::string why;
  std::vector<vr::TocPoint> without3 = toc;
  without3.erase(without3.begin() + 2);
  EXPECT_FALSE(vr::DecodeToc(without3, 359849, &why));
  EXPECT_EQ(why, "track point missing");
  EXPECT_FALSE(vr::DecodeToc(toc, 400, &why));
  EXPECT_EQ(why, "lead-out out of place");
}

// A whole disc of two XA data tracks with raw P-W: the TOC the recorder read is what READ TOC
// reports; Q that disagrees with it is counted.
TEST_F(RecorderDao, TocOfTheLeadInAnswersReadToc) {
  const DaoDisc disc{{0, 30}, 50, true, true, 2448};
  ASSERT_GOOD(Parameters(3));
  // Blocks 10 and 6,760 carry a wrong absolute time.
  Reply r = Write(disc, kLeadIn, 11484 + 150 + 50 + 6750, [](std::int32_t at, std::uint8_t* b) {
    if (at != 10 && at != 50 + 6710) return;
    std::uint8_t q[12] = {0x41, 0x01, 0x01, 0, 0, 0, 0, 0, 0, 0};
    vrc::SetQCrc(q);
    vrc::InterleaveSubchannel(false, q, b + 2352);
  });
  ASSERT_GOOD(r);
  ASSERT_GOOD(Cmd(0, Cdb10(0x35)));
  EXPECT_EQ(Disc().qMismatches, 2);
  const Reply f0 = Toc(0);
  ASSERT_GOOD(f0);
  EXPECT_EQ(f0.data[2], 1);
  EXPECT_EQ(f0.data[3], 2);
  EXPECT_EQ(f0.data[5], 0x14);  // ADR 1, data
  EXPECT_EQ(f0.U32(8), 0u);
  EXPECT_EQ(f0.U32(16), 30u);
  EXPECT_EQ(f0.data[22], 0xAA);
  EXPECT_EQ(f0.U32(24), 50u);
  const Reply f2 = Toc(2);
  ASSERT_GOOD(f2);
  // A0: first track 1, disc type 20h; A2: 00:02:50.
  EXPECT_EQ(f2.data[4 + 3], 0xA0);
  EXPECT_EQ(f2.data[4 + 9], 0x20);
  EXPECT_EQ(f2.data[4 + 22 + 3], 0xA2);
  EXPECT_EQ(f2.data[4 + 22 + 9], 2);
  EXPECT_EQ(f2.data[4 + 22 + 10], 50);
  EXPECT_EQ(Toc(5).U16(0), 2u);  // no CD-Text packs
}

TEST_F(RecorderDao, WritesOutOfPlaceAreRefused) {
  const DaoDisc disc{{0}, 40, true, false, 2368};
  ASSERT_GOOD(Parameters(1));
  EXPECT_SENSE(Write(disc, kLeadIn + 1, 10), 5, 0x21, 0x02);  // not the lead-in start
  EXPECT_SENSE(CmdOut(0, Cdb10(0x2A, 0, static_cast<std::uint32_t>(kLeadIn), 1),
                      std::vector<std::uint8_t>(2448)),
               5, 0x64, 0x00);  // a block of the other size
  ASSERT_GOOD(Write(disc, kLeadIn, 20));
  EXPECT_SENSE(Write(disc, kLeadIn + 30, 10), 5, 0x21, 0x02);  // a hole
  EXPECT_SENSE(burner.SendCueSheet({0x41, 0, 0, 0x14, 0, 0, 0, 0}), 5, 0x2C, 0x00);
  ASSERT_GOOD(Parameters(1));
  EXPECT_SENSE(burner.TrackAtOnce(std::vector<std::uint8_t>(2048 * 10)), 5, 0x2C, 0x00);
}

// No A2 in the lead-in, or an A2 that changes: the first block after the lead-in fails and the
// disc is left damaged, closed for good.
TEST_F(RecorderDao, LeadInWithoutAUsableTocLeavesADamagedDisc) {
  for (bool contradict : {false, true}) {
    SCOPED_TRACE(contradict ? "contradicting A2" : "no A2");
    ASSERT_GOOD(Cmd(0, {0x1B, 0, 0, 0, 0x02, 0}));  // a fresh blank
    const DaoDisc disc{{0}, 40, true, false, 2368};
    ASSERT_GOOD(Parameters(1));
    ASSERT_GOOD(Write(disc, kLeadIn, 11484, [&](std::int32_t at, std::uint8_t* b) {
      if (b[2354] != 0xA2) return;
      if (!contradict) std::memset(b + 2352, 0, 12);
      if (contradict && at > -1000) b[2352 + 9] = 0x51, vrc::SetQCrc(b + 2352);
    }));
    EXPECT_SENSE(Write(disc, -150, 10), 3, 0x0C, 0x00);
    const Reply info = Cmd(0, Cdb10(0x51, 0, 0, 34), 34);
    ASSERT_GOOD(info);
    EXPECT_EQ(info.data[2] & 0x03, 2);  // complete: nothing can be added
    const Reply track = TrackInfo(1);
    ASSERT_GOOD(track);
    EXPECT_EQ(track.data[5] & 0x20, 0x20);  // damaged
    EXPECT_FALSE(Disc().dao);
  }
}

TEST_F(RecorderDao, WriteStoppedBeforeTheLeadOutsEndLeavesADamagedDisc) {
  const DaoDisc disc{{0, 20}, 40, false, false, 2448};
  ASSERT_GOOD(Parameters(3));
  ASSERT_GOOD(Write(disc, kLeadIn, 11484 + 150 + 40 + 100));
  EXPECT_SENSE(Cmd(0, Cdb10(0x35)), 5, 0x2C, 0x00);
  const auto d = Disc();
  ASSERT_EQ(d.tracks.size(), 2u);
  EXPECT_TRUE(d.tracks[1].damaged);
  EXPECT_TRUE(d.finalized);
  EXPECT_EQ(d.tracks[1].form, vr::SectorForm::Audio);
  // Complete, the same disc closes: both tracks, the lead-out where A2 says.
  ASSERT_GOOD(Cmd(0, {0x1B, 0, 0, 0, 0x02, 0}));
  ASSERT_GOOD(Parameters(3));
  ASSERT_GOOD(WriteAll(disc));
  const auto done = Disc();
  EXPECT_FALSE(done.tracks[1].damaged);
  EXPECT_EQ(done.sessions.at(0).leadOut, 40);
  EXPECT_EQ(done.qMismatches, 0);
}

// Track-at-once of 2332-byte units: Form 2 sectors with the host's subheader and an EDC.
TEST_F(RecorderDao, TrackAtOnceModeTwoFormTwo) {
  ASSERT_GOOD(burner.SetWriteParameters(1, 13, 4, false, false, 0x20, false));
  std::vector<std::uint8_t> units(2332 * 4);
  for (int i = 0; i < 4; ++i) {
    std::uint8_t* u = units.data() + i * 2332;
    const std::uint8_t subheader[4] = {1, 1, 0x62, 0x0F};
    std::memcpy(u, subheader, 4);
    std::memcpy(u + 4, subheader, 4);
    std::memset(u + 8, 'a' + i, 2324);
  }
  ASSERT_GOOD(CmdOut(0, Cdb10(0x2A, 0, 0, 4), units));
  const auto d = Disc();
  ASSERT_EQ(d.tracks.size(), 1u);
  EXPECT_EQ(d.tracks[0].form, vr::SectorForm::Mode2);
  EXPECT_EQ(d.tracks[0].written, 4);
  EXPECT_SENSE(CmdOut(0, Cdb10(0x2A, 0, 4, 1), std::vector<std::uint8_t>(2048)), 5, 0x64, 0x00);
  // Form 2 needs the CD-ROM XA session format.
  EXPECT_SENSE(burner.SetWriteParameters(1, 13, 4, false, false, 0, false), 5, 0x26, 0x00);
}

}  // namespace
}  // namespace aspitest
