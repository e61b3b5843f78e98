// Session-at-once in the virtual recorder: the cue sheets it refuses, the order and sizes of
// the writes up to the lead-out, the session closed by SYNCHRONIZE CACHE (and spoilt before
// it), the Q of raw sectors checked, the CD-Text of a host-written lead-in in READ TOC format 5
// and the exported .cdt that cd-info reads, Mode 2 units by their submode, and an underrun across a
// track boundary.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/aspi/recorder/coding/vr_subchannel.h"
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
  // Four text packs and three size-information packs with CRCs; seven packs go four to a
  // 96-byte block, so seven blocks carry them all four times.
  Bytes packs;
  auto pack = [&](std::uint8_t type, std::uint8_t track, std::uint8_t position, const Bytes& text) {
    Bytes p = {type, track, static_cast<std::uint8_t>(packs.size() / 18), position};
    for (std::size_t i = 0; i < 12; ++i) p.push_back(i < text.size() ? text[i] : 0);
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
  auto text = [](const char* t) { return Bytes(t, t + std::strlen(t)); };
  pack(0x80, 0, 0, text("Disc"));
  pack(0x80, 1, 0, text("Song"));
  pack(0x81, 0, 0, text("Band"));
  pack(0x81, 1, 0, text("Singer"));
  Bytes info(36, 0);
  info[0] = 1, info[1] = 1, info[2] = 1, info[3] = 3;
  info[4] = 2, info[5] = 2, info[19] = 3, info[20] = 6, info[28] = 9;
  for (std::uint8_t k = 0; k < 3; ++k)
    pack(0x8F, k,
         k == 0   ? 0
         : k == 1 ? 12
                  : 15,
         Bytes(info.begin() + 12 * k, info.begin() + 12 * k + 12));
  std::vector<Bytes> blocks(7, Bytes(96));
  for (int j = 0; j < 7; ++j) {
    Bytes four;
    for (int k = 0; k < 4; ++k)
      four.insert(four.end(), packs.begin() + (4 * j + k) % 7 * 18,
                  packs.begin() + ((4 * j + k) % 7 + 1) * 18);
    for (int g = 0; g < 24; ++g) {
      const std::uint8_t b0 = four[3 * g], b1 = four[3 * g + 1], b2 = four[3 * g + 2];
      blocks[j][4 * g] = b0 >> 2;
      blocks[j][4 * g + 1] = static_cast<std::uint8_t>((b0 & 3) << 4 | b1 >> 4);
      blocks[j][4 * g + 2] = static_cast<std::uint8_t>((b1 & 15) << 2 | b2 >> 6);
      blocks[j][4 * g + 3] = b2 & 0x3F;
    }
  }
  ASSERT_GOOD(b.SendCueSheet(Cue(0x41, {{0x01, 0x40, 75}}, 0x01), false, 0));
  const std::int32_t leadIn = -11634;
  EXPECT_SENSE(b.WriteBlocks(-150, 1, 2448), 5, 0x21, 0x02);  // the lead-in comes first
  ASSERT_GOOD(b.WriteBlocks(leadIn, -150 - leadIn, 96, [&](std::int32_t lba, std::uint8_t* s) {
    const Bytes& block = blocks[static_cast<std::size_t>(lba - leadIn) % 7];
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
  const Reply toc = Cmd(0, {0x43, 0, 0x05, 0, 0, 0, 0, 0, 130, 0}, 130);
  ASSERT_GOOD(toc);
  EXPECT_EQ(toc.U16(0), 2u + 7 * 18);
  EXPECT_EQ(Bytes(toc.data.begin() + 4, toc.data.end()), packs);
  ASSERT_GOOD(Cmd(0, {0x1B, 0, 0, 0, 0x02, 0}));
  const std::string base = dir.P("home/VirtualRecorders/Recorder0/Recorder0-0001");
  EXPECT_EQ(Slurp(base + ".cdt"), std::string(packs.begin(), packs.end()));
  const std::string cue = Slurp(base + ".cue");
  EXPECT_EQ(cue.rfind("CDTEXTFILE \"Recorder0-0001.cdt\"\n", 0), 0u) << cue;
  std::string out;
  ASSERT_EQ(RunCommand("cd-info --no-device-info --no-cddb --cue-file " + base + ".cue", &out), 0)
      << out;
  EXPECT_NE(out.find("CD-TEXT for Disc:\n\tTITLE: Disc\n\tPERFORMER: Band"), std::string::npos)
      << out;
  EXPECT_NE(out.find("CD-TEXT for Track  1:\n\tTITLE: Song\n\tPERFORMER: Singer"),
            std::string::npos)
      << out;
}

// 2336-byte units become Form 1 or Form 2 sectors by the submode byte of their subheader.
TEST_F(SessionWrites, ModeTwoUnitsTakeTheirFormFromTheSubmode) {
  ASSERT_GOOD(b.SendCueSheet(Cue(0x24, {{0x41, 0x20, 10}}, 0x24)));
  ASSERT_GOOD(b.WriteBlocks(-150, 160, 2336, [](std::int32_t lba, std::uint8_t* unit) {
    const std::uint8_t submode = lba % 2 ? 0x20 : 0x08;
    for (int k : {0, 4}) unit[k + 2] = submode;
    for (int i = 8; i < 2336; ++i) unit[i] = static_cast<std::uint8_t>(lba + i);
  }));
  ASSERT_GOOD(Cmd(0, Cdb10(0x35)));
  const Reply raw = Cmd(0, {0xBE, 0, 0, 0, 0, 0, 0, 0, 2, 0xF8, 0, 0}, 2 * 2352);
  ASSERT_GOOD(raw);
  for (int i = 0; i < 2; ++i) {
    const std::uint8_t* s = raw.data.data() + i * 2352;
    EXPECT_EQ(s[15], 2);
    EXPECT_EQ(s[18], i ? 0x20 : 0x08);
    std::uint8_t expected[2352];
    std::uint8_t unit[2336] = {};
    std::memcpy(unit, s + 16, i ? 2336 - 4 : 2056);
    vr::EncodeMode2Unit(i, unit, expected);
    EXPECT_EQ(0, std::memcmp(expected, s, 2352)) << i;
    if (i) {
      const std::uint32_t edc = vr::Edc({s + 16, 2332});
      EXPECT_EQ(s[2348] | s[2349] << 8 | s[2350] << 16 | static_cast<std::uint32_t>(s[2351]) << 24,
                edc);
    }
  }
  EXPECT_EQ(at::Recorder(0).CurrentDisc().tracks[0].form, vr::SectorForm::Mode2);
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
