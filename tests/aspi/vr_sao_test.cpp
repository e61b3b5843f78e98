// Session-at-once in the virtual recorder: the cue sheets it refuses, the order and sizes of
// the writes up to the lead-out, the session closed by SYNCHRONIZE CACHE (and spoilt before
// it), the Q of raw sectors checked, the CD-Text of a host-written lead-in in READ TOC format 5
// and the exported .cdt named in the .cue, and an underrun across a track boundary.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/aspi/vr_sector_coding.h"
#include "platform/aspi/vr_subchannel.h"
#include "tests/aspi/library_sequences.h"

namespace aspitest {
namespace {

namespace vr = platform::aspi::vr;
using Bytes = std::vector<std::uint8_t>;

// One cue sheet entry at an LBA (plain MSF).
void Entry(Bytes& cue, std::uint8_t ctl, std::uint8_t tno, std::uint8_t index, std::uint8_t form,
           std::int64_t lba) {
  const std::int64_t f = lba + 150;
  cue.insert(cue.end(),
             {ctl, tno, index, form, 0, static_cast<std::uint8_t>(f / 4500),
              static_cast<std::uint8_t>(f / 75 % 60), static_cast<std::uint8_t>(f % 75)});
}

// Lead-in, tracks of (control, form, size) with 150-block pre-gaps, lead-out.
Bytes Cue(std::uint8_t leadInForm, std::vector<std::tuple<std::uint8_t, std::uint8_t, int>> tracks,
          std::uint8_t leadOutForm = 0x14) {
  Bytes cue;
  Entry(cue, std::get<0>(tracks.front()), 0, 0, leadInForm, -150);
  std::int64_t at = -150;
  std::uint8_t n = 1;
  for (auto [ctl, form, size] : tracks) {
    Entry(cue, ctl, n, 0, form, at);
    Entry(cue, ctl, n, 1, form, at + 150);
    at += 150 + size;
    ++n;
  }
  Entry(cue, std::get<0>(tracks.back()), 0xAA, 1, leadOutForm, at);
  return cue;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class SessionWrites : public AspiTest {
 protected:
  void SetUp() override {
    AspiTest::SetUp();
    Recorders({Media::CdR});
    Cmd(0, {0x00, 0, 0, 0, 0, 0});
  }
  LibraryBurner b{0};
};

TEST_F(SessionWrites, CueSheetsADriveRefuses) {
  const Bytes good = Cue(0x14, {{0x41, 0x10, 20}});
  struct Case {
    const char* name;
    Bytes cue;
  };
  std::vector<Case> cases;
  auto broken = [&](const char* name, auto change) {
    Bytes c = good;
    change(c);
    cases.push_back({name, c});
  };
  broken("length not a multiple of 8", [](Bytes& c) { c.pop_back(); });
  broken("lead-in not first",
         [](Bytes& c) { std::swap_ranges(c.begin(), c.begin() + 8, c.begin() + 8); });
  broken("INDEX 1 before INDEX 0",
         [](Bytes& c) { std::swap_ranges(c.begin() + 8, c.begin() + 16, c.begin() + 16); });
  broken("track 2 first", [](Bytes& c) { c[9] = c[17] = 2; });
  broken("times descending", [](Bytes& c) {
    c[30] = 0;
    c[31] = 1;
  });
  broken("lead-out not last", [](Bytes& c) { c[25] = 0x02; });
  broken("unknown data form", [](Bytes& c) { c[11] = c[19] = 0x30; });
  broken("samples in a data track", [](Bytes& c) { c[11] = c[19] = 0x00; });
  broken("a lead-in form in a track", [](Bytes& c) { c[11] = c[19] = 0x14; });
  cases.push_back({"lead-out only", Bytes(good.begin(), good.begin() + 8)});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_SENSE(b.SendCueSheet(c.cue), 5, 0x26, 0x00);
  }
  // Without write type 2 the command is out of sequence.
  ASSERT_GOOD(b.SetWriteParameters(1, 8, 4, false, false, 0, false));
  EXPECT_SENSE(CmdOut(0, {0x5D, 0, 0, 0, 0, 0, 0, 0, 32, 0}, good), 5, 0x2C, 0x00);
  ASSERT_GOOD(b.SendCueSheet(good));
  EXPECT_SENSE(b.SendCueSheet(good), 5, 0x2C, 0x00);  // one at a time
}

TEST_F(SessionWrites, WritesGoInOrderUpToTheLeadOutAndCloseTheSession) {
  ASSERT_GOOD(b.SendCueSheet(Cue(0x14, {{0x41, 0x10, 20}, {0x01, 0x00, 10}}), true));
  EXPECT_SENSE(b.WriteBlocks(-149, 1, 2048), 5, 0x21, 0x02);  // not where it stands
  EXPECT_SENSE(b.WriteBlocks(-150, 1, 2352), 5, 0x64, 0x00);  // not the cue sheet's size
  ASSERT_GOOD(b.WriteBlocks(-150, 170, 2048));
  // Track 2's pre-gap and samples are 2352 bytes a block.
  EXPECT_SENSE(b.WriteBlocks(20, 1, 2048), 5, 0x64, 0x00);
  ASSERT_GOOD(b.WriteBlocks(20, 150, 2352));
  ASSERT_GOOD(b.WriteBlocks(170, 9, 2352, [](std::int32_t, std::uint8_t* s) { s[0] = 0x5A; }));
  EXPECT_SENSE(b.WriteBlocks(179, 2, 2352), 5, 0x21, 0x00);  // past the lead-out
  ASSERT_GOOD(b.WriteBlocks(179, 1, 2352));
  ASSERT_GOOD(Cmd(0, Cdb10(0x35)));
  const vr::Disc disc = at::Recorder(0).CurrentDisc();
  ASSERT_EQ(disc.tracks.size(), 2u);
  EXPECT_EQ(disc.tracks[0].start, 0);
  EXPECT_EQ(disc.tracks[0].pregap, 150);
  EXPECT_EQ(disc.tracks[1].start, 170);
  EXPECT_EQ(disc.tracks[1].form, vr::SectorForm::Audio);
  ASSERT_EQ(disc.sessions.size(), 1u);
  EXPECT_TRUE(disc.sessions[0].closed);
  EXPECT_EQ(disc.sessions[0].leadOut, 180);
  EXPECT_FALSE(disc.finalized);  // multi-session: appendable
  EXPECT_TRUE(disc.cueSheet.empty());
  const Reply toc = Cmd(0, Cdb10(0x43, 0, 0, 100), 100);
  ASSERT_GOOD(toc);
  EXPECT_EQ(toc.data[3], 2);
  EXPECT_EQ(toc.U32(16), 170u);
}

TEST_F(SessionWrites, SynchronizeCacheBeforeTheLeadOutSpoilsTheSession) {
  ASSERT_GOOD(b.SendCueSheet(Cue(0x14, {{0x41, 0x10, 20}})));
  ASSERT_GOOD(b.WriteBlocks(-150, 160, 2048));
  EXPECT_SENSE(Cmd(0, Cdb10(0x35)), 5, 0x2C, 0x00);
  const vr::Disc disc = at::Recorder(0).CurrentDisc();
  ASSERT_EQ(disc.tracks.size(), 1u);
  EXPECT_TRUE(disc.tracks[0].damaged);
  EXPECT_TRUE(disc.finalized);
  EXPECT_SENSE(b.WriteBlocks(10, 1, 2048), 5, 0x2C, 0x00);
}

// A host-written lead-in (41h) carrying CD-Text and a raw P-W audio track with its own Q.
TEST_F(SessionWrites, CdTextOfTheLeadInAndTheQOfRawSectors) {
  // Four packs with CRCs, spread over the R-W bits of 96-byte blocks (4 packs a block).
  Bytes packs;
  auto pack = [&](std::uint8_t type, std::uint8_t track, std::uint8_t seq, const char* text) {
    Bytes p = {type, track, seq, 0};
    const std::string t(text);
    for (std::size_t i = 0; i < 12; ++i)
      p.push_back(static_cast<std::uint8_t>(i < t.size() ? t[i] : 0));
    std::uint16_t crc = 0;
    for (int i = 0; i < 16; ++i) {
      crc = static_cast<std::uint16_t>(crc ^ (p[i] << 8));
      for (int k = 0; k < 8; ++k)
        crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    crc = static_cast<std::uint16_t>(~crc);
    p.push_back(static_cast<std::uint8_t>(crc >> 8));
    p.push_back(static_cast<std::uint8_t>(crc));
    packs.insert(packs.end(), p.begin(), p.end());
  };
  pack(0x80, 0, 0, "Disc");
  pack(0x80, 1, 1, "Song");
  pack(0x81, 0, 2, "Band");
  pack(0x81, 1, 3, "Band");
  Bytes block(96);
  for (int g = 0; g < 24; ++g) {
    const std::uint8_t b0 = packs[3 * g], b1 = packs[3 * g + 1], b2 = packs[3 * g + 2];
    block[4 * g] = b0 >> 2;
    block[4 * g + 1] = static_cast<std::uint8_t>((b0 & 3) << 4 | b1 >> 4);
    block[4 * g + 2] = static_cast<std::uint8_t>((b1 & 15) << 2 | b2 >> 6);
    block[4 * g + 3] = b2 & 0x3F;
  }
  ASSERT_GOOD(b.SendCueSheet(Cue(0x41, {{0x01, 0x40, 75}}, 0x01), false, 0));
  const std::int32_t leadIn = -11634;
  EXPECT_SENSE(b.WriteBlocks(-150, 1, 2448), 5, 0x21, 0x02);  // the lead-in comes first
  ASSERT_GOOD(b.WriteBlocks(leadIn, -150 - leadIn, 96, [&](std::int32_t, std::uint8_t* s) {
    std::copy(block.begin(), block.end(), s);
  }));
  // Pre-gap and track: silence, Q from the recorder's coder; one sector with a wrong time.
  auto raw = [](std::int32_t lba, std::uint8_t* s) {
    vr::QPosition q;
    q.control = 0;
    q.index = lba < 0 ? 0 : 1;
    q.relative = lba < 0 ? -lba - 1 : lba;
    q.lba = lba == 40 ? 41 : lba;
    std::uint8_t q12[12];
    vr::FormatQ(q, q12);
    vr::InterleaveSubchannel(lba < 0, q12, s + 2352);
  };
  ASSERT_GOOD(b.WriteBlocks(-150, 225, 2448, raw));
  ASSERT_GOOD(Cmd(0, Cdb10(0x35)));
  EXPECT_EQ(at::Recorder(0).CurrentDisc().qMismatches, 1);
  const Reply text = Cmd(0, {0x43, 0, 0x05, 0, 0, 0, 0, 0, 76, 0}, 76);
  ASSERT_GOOD(text);
  EXPECT_EQ(text.U16(0), 74u);
  EXPECT_EQ(Bytes(text.data.begin() + 4, text.data.end()), packs);
  ASSERT_GOOD(Cmd(0, {0x1B, 0, 0, 0, 0x02, 0}));
  const std::string base = dir.P("home/VirtualRecorders/Recorder0/Recorder0-0001");
  EXPECT_EQ(Slurp(base + ".cdt"), std::string(packs.begin(), packs.end()));
  const std::string cue = Slurp(base + ".cue");
  EXPECT_EQ(cue.rfind("CDTEXTFILE \"Recorder0-0001.cdt\"\n", 0), 0u) << cue;
}

TEST_F(SessionWrites, RunningEmptyBeforeTheLeadOutIsAnUnderrun) {
  at::SetDrainSpeed(0, at::kCd1x);
  ASSERT_GOOD(b.SendCueSheet(Cue(0x01, {{0x01, 0x00, 100}, {0x01, 0x00, 100}}, 0x01)));
  ASSERT_GOOD(b.WriteBlocks(-150, 250, 2352));
  clock->Advance(std::chrono::seconds(30));  // the host stalls at the track boundary
  EXPECT_SENSE(b.WriteBlocks(100, 10, 2352), 3, 0x0C, 0x09);
  const vr::Disc disc = at::Recorder(0).CurrentDisc();
  ASSERT_FALSE(disc.tracks.empty());
  EXPECT_TRUE(disc.tracks.back().damaged);
  EXPECT_TRUE(disc.sessions.back().closed);
  EXPECT_TRUE(disc.cueSheet.empty());
}

}  // namespace
}  // namespace aspitest
