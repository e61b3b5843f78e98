// What a grab reads from a virtual recorder: READ CD of audio, Mode 1, Mode 2 Form 1, Form 2
// and formless sectors with the field selections and the expected sector type, pressed from a
// .bin/.cue; and the faults of single sectors: senses that clear after some reads, damaged
// bytes that the drive repairs in user data, shows in raw reads and, with page 01h's DCR set,
// hands out as they are.
#include <cstring>

#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/aspi/recorder/vr_disc.h"
#include "tests/aspi/aspi_test_support.h"
#include "tests/support/temp_dir.h"

namespace aspitest {
namespace {

namespace vr = platform::aspi::vr;
using Bytes = std::vector<std::uint8_t>;

std::vector<std::uint8_t> ReadCd(std::uint32_t lba, std::uint32_t count, std::uint8_t b9,
                                 std::uint8_t expected = 0, std::uint8_t sub = 0) {
  return {0xBE,
          static_cast<std::uint8_t>(expected << 2),
          static_cast<std::uint8_t>(lba >> 24),
          static_cast<std::uint8_t>(lba >> 16),
          static_cast<std::uint8_t>(lba >> 8),
          static_cast<std::uint8_t>(lba),
          0,
          0,
          static_cast<std::uint8_t>(count),
          b9,
          sub,
          0};
}

class Reads : public AspiTest {
 protected:
  // Audio [0, 4): silence, then samples; Mode 2 [4, 7): a Form 1, a Form 2 and a formless
  // sector (its two subheader copies disagree).
  void PressMixed() {
    for (int i = 0; i < 4 * 2352; ++i)
      bin.push_back(i < 2352 ? 0 : static_cast<std::uint8_t>(i * 7));
    std::uint8_t sector[2352];
    std::uint8_t form1[2336] = {0, 0, 0x08, 0, 0, 0, 0x08, 0};
    for (int k = 8; k < 2336; ++k) form1[k] = static_cast<std::uint8_t>(k);
    vr::EncodeMode2Unit(4, form1, sector);
    bin.insert(bin.end(), sector, sector + 2352);
    std::uint8_t form2[2336] = {0, 0, 0x20, 0, 0, 0, 0x20, 0};
    for (int k = 8; k < 2336; ++k) form2[k] = static_cast<std::uint8_t>(k * 3);
    vr::EncodeMode2Unit(5, form2, sector);
    bin.insert(bin.end(), sector, sector + 2352);
    vr::EncodeMode2Unit(6, form1, sector);
    for (int k = 16; k < 2352; ++k) sector[k] = static_cast<std::uint8_t>(k * 5 + 1);
    bin.insert(bin.end(), sector, sector + 2352);
    WriteFile(dir.P("disc.bin"), std::string(bin.begin(), bin.end()));
    WriteFile(dir.P("disc.cue"),
              "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
              "  TRACK 02 MODE2/2352\n    INDEX 01 00:00:04\n");
    at::RecorderConfig c;
    c.name = "Pressed";
    c.media = Media::CdRom;
    c.fixture = dir.W("disc.cue");
    at::ConfigureRecorders({c});
  }
  Bytes Part(std::uint32_t lba, std::size_t from, std::size_t size) const {
    return Bytes(bin.begin() + lba * 2352 + from, bin.begin() + lba * 2352 + from + size);
  }
  Bytes bin;
};

TEST_F(Reads, SectorTypesAndTheirFields) {
  PressMixed();
  struct Case {
    const char* what;
    std::uint32_t lba;
    std::uint8_t b9, expected;
    std::size_t from, size;  // of the raw sector; size 0: refused with 5/64/00
  } cases[] = {
      {"silence, all fields", 0, 0xF8, 0, 0, 2352},
      {"samples, user data", 1, 0x10, 1, 0, 2352},
      {"samples, as Mode 1", 1, 0x10, 2, 0, 0},
      {"Form 1 user data", 4, 0x10, 4, 24, 2048},
      {"Form 1 user data and EDC/ECC", 4, 0x18, 0, 24, 2328},
      {"Form 1 as Form 2", 4, 0x10, 5, 0, 0},
      {"Form 2 user data", 5, 0x10, 5, 24, 2324},
      {"Form 2 user data and EDC", 5, 0x18, 0, 24, 2328},
      {"Form 2 subheader to EDC", 5, 0x58, 0, 16, 2336},
      {"Form 2 all", 5, 0xF8, 0, 0, 2352},
      {"Form 2 as Form 1", 5, 0x10, 4, 0, 0},
      {"formless user data", 6, 0x10, 3, 16, 2336},
      {"formless with EDC field and subheader", 6, 0x58, 0, 16, 2336},
      {"formless headers", 6, 0xE0, 0, 0, 16},
      {"formless as Mode 1", 6, 0x10, 2, 0, 0},
      {"formless as Form 1", 6, 0x10, 4, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Reply r = Cmd(0, ReadCd(c.lba, 1, c.b9, c.expected), 4096);
    if (c.size == 0) {
      EXPECT_SENSE(r, 5, 0x64, 0x00);
      continue;
    }
    ASSERT_GOOD(r);
    EXPECT_EQ(Bytes(r.data.begin(), r.data.begin() + c.size), Part(c.lba, c.from, c.size));
  }
  // One transfer over the three Mode 2 sectors: each its own size.
  Reply r = Cmd(0, ReadCd(4, 3, 0x10), 2048 + 2324 + 2336);
  ASSERT_GOOD(r);
  Bytes expected = Part(4, 24, 2048);
  for (const Bytes& b : {Part(5, 24, 2324), Part(6, 16, 2336)})
    expected.insert(expected.end(), b.begin(), b.end());
  EXPECT_EQ(r.data, expected);
  // The pressed state keeps both kinds of track and loads again as it was saved.
  const vr::Disc disc = at::Recorder(0).CurrentDisc();
  ASSERT_EQ(disc.tracks.size(), 2u);
  EXPECT_EQ(disc.tracks[0].form, vr::SectorForm::Audio);
  EXPECT_EQ(disc.tracks[0].trackMode, 0);
  EXPECT_EQ(disc.tracks[1].form, vr::SectorForm::Mode2);
  EXPECT_EQ(disc.sessions[0].format, 0x20);
  EXPECT_EQ(vr::Disc::Parse(disc.Serialize()), disc);
}

class ReadFaults : public AspiTest {
 protected:
  void SetUp() override {
    AspiTest::SetUp();
    std::vector<std::uint8_t> bin;
    for (std::uint32_t i = 0; i < 40; ++i) {
      const auto user = Pattern(i, 1);
      std::uint8_t sector[2352];
      vr::EncodeMode1(i, user.data(), sector);
      bin.insert(bin.end(), sector, sector + 2352);
    }
    raw = bin;
    WriteFile(dir.P("d.bin"), std::string(bin.begin(), bin.end()));
    WriteFile(dir.P("d.cue"),
              "FILE \"d.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
    at::RecorderConfig c;
    c.name = "Pressed";
    c.media = Media::CdRom;
    c.fixture = dir.W("d.cue");
    at::ConfigureRecorders({c});
  }
  Bytes Raw(std::uint32_t lba) const {
    return Bytes(raw.begin() + lba * 2352, raw.begin() + (lba + 1) * 2352);
  }
  Bytes raw;
};

int Differences(const Bytes& a, const Bytes& b) {
  int n = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) n += a[i] != b[i];
  return n;
}

TEST_F(ReadFaults, SensesThatClearAndThatStay) {
  at::InjectReadFault(0, 10, 3, 0x11, 0x05, 2);
  for (int i = 0; i < 2; ++i) EXPECT_SENSE(Cmd(0, Cdb10(0x28, 0, 8, 4), 4 * 2048), 3, 0x11, 0x05);
  EXPECT_GOOD(Cmd(0, Cdb10(0x28, 0, 8, 4), 4 * 2048));
  // One opcode only: READ CD fails, READ(10) reads.
  at::InjectReadFault(0, 12, 4, 0x3E, 0x02, 0, 0xBE);
  EXPECT_GOOD(Cmd(0, Cdb10(0x28, 0, 12, 1), 2048));
  for (int i = 0; i < 3; ++i) EXPECT_SENSE(Cmd(0, ReadCd(11, 2, 0xF8), 2 * 2352), 4, 0x3E, 0x02);
  EXPECT_GOOD(Cmd(0, ReadCd(13, 2, 0xF8), 2 * 2352));
}

TEST_F(ReadFaults, DamagedSectors) {
  at::InjectDamage(0, 20, 5, true);
  at::InjectDamage(0, 21, 800, false);
  // Correctable: user data repaired, the raw sector as the medium holds it.
  Reply user = Cmd(0, Cdb10(0x28, 0, 20, 1), 2048);
  ASSERT_GOOD(user);
  EXPECT_EQ(user.data, Pattern(20, 1));
  Reply cooked = Cmd(0, ReadCd(20, 1, 0x10), 2048);
  ASSERT_GOOD(cooked);
  EXPECT_EQ(cooked.data, Pattern(20, 1));
  Reply raw20 = Cmd(0, ReadCd(20, 1, 0xF8), 2352);
  ASSERT_GOOD(raw20);
  EXPECT_EQ(Differences(raw20.data, Raw(20)), 5);
  // Uncorrectable: an unrecovered read error for user data, the damage in raw reads.
  Reply r = Cmd(0, Cdb10(0x28, 0, 18, 8), 8 * 2048);
  EXPECT_SENSE(r, 3, 0x11, 0x05);
  EXPECT_SENSE(Cmd(0, ReadCd(21, 1, 0x10), 2048), 3, 0x11, 0x05);
  Reply raw21 = Cmd(0, ReadCd(21, 1, 0xF8), 2352);
  ASSERT_GOOD(raw21);
  EXPECT_EQ(Differences(raw21.data, Raw(21)), 800);
  // DCR set: user data as read, damage and all, without an error.
  Reply page = Cmd(0, {0x5A, 0, 0x01, 0, 0, 0, 0, 0x01, 0x00, 0}, 256);
  ASSERT_GOOD(page);
  std::vector<std::uint8_t> list(page.data.begin(), page.data.begin() + 8 + 2 + page.data[9]);
  std::fill(list.begin(), list.begin() + 8, 0);
  list[10] = 0x01;
  ASSERT_GOOD(
      CmdOut(0, {0x55, 0x10, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(list.size()), 0}, list));
  Reply asRead = Cmd(0, Cdb10(0x28, 0, 20, 2), 2 * 2048);
  ASSERT_GOOD(asRead);
  EXPECT_EQ(Differences(Bytes(asRead.data.begin(), asRead.data.begin() + 2048), Pattern(20, 1)), 5);
  EXPECT_GT(Differences(Bytes(asRead.data.begin() + 2048, asRead.data.end()), Pattern(21, 1)), 500);
}

TEST_F(ReadFaults, RegionMismatchOnADvd) {
  WriteFile(dir.P("dvd.iso"), std::string(100 * 2048, 'D'));
  at::RecorderConfig c;
  c.name = "Dvd";
  c.media = Media::DvdRom;
  c.fixture = dir.W("dvd.iso");
  at::ConfigureRecorders({c});
  at::InjectReadFault(0, 50, 5, 0x6F, 0x04);
  EXPECT_SENSE(Cmd(0, Cdb10(0x28, 0, 40, 20), 20 * 2048), 5, 0x6F, 0x04);
  EXPECT_GOOD(Cmd(0, Cdb10(0x28, 0, 60, 20), 20 * 2048));
}

}  // namespace
}  // namespace aspitest
