// Each MMC command of the virtual recorder: the answer a drive gives, and the sense for each
// malformed CDB.
#include "tests/aspi/library_sequences.h"

namespace aspitest {
namespace {

struct Malformed {
  const char* what;
  std::vector<std::uint8_t> cdb;
  std::uint8_t key, asc, ascq;
  size_t in = 64;
  std::vector<std::uint8_t> out = {};
};

class Commands : public AspiTest {
 protected:
  void ExpectRefused(std::uint8_t target, const std::vector<Malformed>& table) {
    for (const auto& m : table) {
      SCOPED_TRACE(m.what);
      Reply r = m.out.empty() ? Cmd(target, m.cdb, m.in) : CmdOut(target, m.cdb, m.out);
      EXPECT_SENSE(r, m.key, m.asc, m.ascq);
    }
  }
};

TEST_F(Commands, Inquiry) {
  Recorders({Media::CdR});
  Reply r = Cmd(0, {0x12, 0, 0, 0, 96, 0}, 96);
  ASSERT_GOOD(r);
  EXPECT_EQ(r.data[0], 0x05);
  EXPECT_EQ(r.data[1], 0x80);
  EXPECT_EQ(r.data[4], 91);
  EXPECT_EQ(std::string(r.data.begin() + 32, r.data.begin() + 36), "1.00");
  Reply shortOne = Cmd(0, {0x12, 0, 0, 0, 36, 0}, 36);
  ASSERT_GOOD(shortOne);
  ExpectRefused(0, {{"EVPD", {0x12, 1, 0, 0, 96, 0}, 5, 0x24, 0},
                    {"page code", {0x12, 0, 0x80, 0, 96, 0}, 5, 0x24, 0},
                    {"ten bytes", {0x12, 0, 0, 0, 96, 0, 0, 0, 0, 0}, 5, 0x24, 0}});
}

TEST_F(Commands, TestUnitReadyAndRequestSense) {
  Recorders({Media::DvdR});
  EXPECT_GOOD(Cmd(0, {0, 0, 0, 0, 0, 0}));
  Reply sense = Cmd(0, {0x03, 0, 0, 0, 18, 0}, 18);
  ASSERT_GOOD(sense);
  EXPECT_EQ(sense.data[0], 0x70);
  EXPECT_EQ(sense.data[2], 0);
  ExpectRefused(0, {{"descriptor sense", {0x03, 1, 0, 0, 18, 0}, 5, 0x24, 0},
                    {"TUR reserved byte", {0, 0, 0, 0, 1, 0}, 5, 0x24, 0}});
  at::Recorder(0).RemoveDisc();
  EXPECT_SENSE(Cmd(0, {0, 0, 0, 0, 0, 0}), 2, 0x3A, 0);
  sense = Cmd(0, {0x03, 0, 0, 0, 18, 0}, 18);
  ASSERT_GOOD(sense);
  EXPECT_EQ(sense.data[2], 2);
  EXPECT_EQ(sense.data[12], 0x3A);
  EXPECT_GOOD(Cmd(0, {0x1B, 0, 0, 0, 0x03, 0}));  // load: a fresh blank
  EXPECT_GOOD(Cmd(0, {0, 0, 0, 0, 0, 0}));
  EXPECT_SENSE(Cmd(0, {0xFF, 0, 0, 0, 0, 0}), 5, 0x20, 0);
}

TEST_F(Commands, GetConfiguration) {
  Recorders({Media::DvdPlusRw, Media::CdR});
  Reply all = Cmd(0, {0x46, 0, 0, 0, 0, 0, 0, 0x10, 0, 0}, 4096);
  ASSERT_GOOD(all);
  EXPECT_EQ(all.U16(6), 0x001Au);
  EXPECT_EQ(all.U32(0) + 4, 8 + 4 + 40 + 12 + 8 + 12 + 8 + 8 + 16 + 8 + 8 + 4 + 8 + 8 + 8 + 8);
  // Profile list: ten profiles, DVD+RW current.
  EXPECT_EQ(all.U16(8), 0u);
  EXPECT_EQ(all.data[11], 40);
  bool current = false;
  for (size_t i = 12; i < 52; i += 4)
    if (((all.data[i] << 8) | all.data[i + 1]) == 0x1A) current = all.data[i + 2] & 1;
  EXPECT_TRUE(current);
  for (std::uint16_t feature : {0x2A, 0x2B}) {
    Reply one =
        Cmd(0, {0x46, 0x02, 0, static_cast<std::uint8_t>(feature), 0, 0, 0, 0x10, 0, 0}, 4096);
    ASSERT_GOOD(one);
    EXPECT_EQ(one.U32(0), 12u);  // present
    EXPECT_EQ(one.U16(8), feature);
    EXPECT_EQ(one.data[12] & 1, 1);  // write
    EXPECT_EQ(one.data[10] & 1, feature == 0x2A ? 1 : 0);
  }
  Reply absent = Cmd(0, {0x46, 0x02, 0x01, 0x07, 0, 0, 0, 0x10, 0, 0}, 4096);
  ASSERT_GOOD(absent);
  EXPECT_EQ(absent.U32(0), 4u);
  Reply cd = Cmd(1, {0x46, 0x01, 0, 0, 0, 0, 0, 0x10, 0, 0}, 4096);
  ASSERT_GOOD(cd);
  EXPECT_EQ(cd.U16(6), 0x0009u);
  // Track-at-once takes audio samples, Mode 1, Mode 2 Form 1 and Form 2 with subheader.
  Reply tao = Cmd(1, {0x46, 0x02, 0, 0x2D, 0, 0, 0, 0x10, 0, 0}, 4096);
  ASSERT_GOOD(tao);
  EXPECT_EQ(tao.U16(8), 0x2Du);
  EXPECT_EQ(tao.U16(14), (1u << 0) | (1u << 8) | (1u << 10) | (1u << 13));
  ExpectRefused(0, {{"RT 3", {0x46, 3, 0, 0, 0, 0, 0, 0x10, 0, 0}, 5, 0x24, 0},
                    {"reserved byte 1", {0x46, 0x10, 0, 0, 0, 0, 0, 0x10, 0, 0}, 5, 0x24, 0}});
}

TEST_F(Commands, ReadDiscInformationOfBlankMedia) {
  struct Row {
    Media media;
    std::uint8_t byte2;
    std::uint32_t leadIn, leadOut;
  };
  const Row rows[] = {
      {Media::CdR, 0x00, 0x00611A42, 0x004F3B4A},  // 97:26:66, 79:59:74
      {Media::CdRw, 0x10, 0x00611A42, 0x004F3B4A}, {Media::DvdR, 0x00, 0, 2298496},
      {Media::DvdPlusR, 0x00, 0, 2295104},         {Media::DvdRam, 0x13, 0xFFFFFFFF, 0xFFFFFFFF},
  };
  for (const auto& row : rows) {
    Recorders({row.media});
    SCOPED_TRACE(static_cast<int>(row.media));
    Reply r = Cmd(0, Cdb10(0x51, 0, 0, 34), 34);
    ASSERT_GOOD(r);
    EXPECT_EQ(r.U16(0), 32u);
    EXPECT_EQ(r.data[2], row.byte2);
    EXPECT_EQ(r.data[3], 1);
    EXPECT_EQ(r.data[4], 1);
    EXPECT_EQ(r.data[5], 1);
    EXPECT_EQ(r.data[6], 1);
    EXPECT_EQ(r.U32(16), row.leadIn);
    EXPECT_EQ(r.U32(20), row.leadOut);
  }
  ExpectRefused(0, {{"data type 1", Cdb10(0x51, 1, 0, 34), 5, 0x24, 0},
                    {"reserved byte 2", Cdb10(0x51, 0, 0x01000000, 34), 5, 0x24, 0}});
}

TEST_F(Commands, ReadTrackInformation) {
  Recorders({Media::CdR, Media::DvdR});
  Reply inv = Cmd(0, Cdb10(0x52, 1, 0xFF, 48), 48);
  ASSERT_GOOD(inv);
  EXPECT_EQ(inv.U16(0), 46u);
  EXPECT_EQ(inv.data[2], 1);
  EXPECT_EQ(inv.data[6] & 0x40, 0x40);  // blank
  EXPECT_EQ(inv.data[7] & 0x01, 0x01);  // NWA valid
  EXPECT_EQ(inv.U32(12), 0u);
  EXPECT_EQ(inv.U32(16), 359849u);
  Reply byLba = Cmd(0, Cdb10(0x52, 0, 1000, 48), 48);
  ASSERT_GOOD(byLba);
  EXPECT_EQ(byLba.data[2], 1);
  Reply dvd = Cmd(1, Cdb10(0x52, 1, 1, 48), 48);
  ASSERT_GOOD(dvd);
  EXPECT_EQ(dvd.U32(16), 2298496u);
  EXPECT_EQ(dvd.U32(20), 16u);
  ExpectRefused(0, {{"address type 3", Cdb10(0x52, 3, 0, 48), 5, 0x24, 0},
                    {"track 0", Cdb10(0x52, 1, 0, 48), 5, 0x24, 0},
                    {"track 5", Cdb10(0x52, 1, 5, 48), 5, 0x24, 0},
                    {"beyond the disc", Cdb10(0x52, 0, 400000, 48), 5, 0x21, 0},
                    {"reserved bits", Cdb10(0x52, 0x09, 1, 48), 5, 0x24, 0}});
}

TEST_F(Commands, ReadCapacityAndFormatCapacities) {
  Recorders({Media::DvdPlusRw, Media::DvdRam, Media::DvdR});
  Reply cap = Cmd(0, Cdb10(0x25), 8);
  ASSERT_GOOD(cap);
  EXPECT_EQ(cap.U32(0), 0u);  // unformatted
  EXPECT_EQ(cap.U32(4), 2048u);
  Reply fc = Cmd(0, Cdb10(0x23, 0, 0, 252), 252);
  ASSERT_GOOD(fc);
  EXPECT_EQ(fc.data[3], 16);
  EXPECT_EQ(fc.U32(4), 2295104u);
  EXPECT_EQ(fc.data[8], 0x01);   // unformatted
  EXPECT_EQ(fc.data[16], 0x98);  // format type 26h
  Reply ram = Cmd(1, Cdb10(0x23, 0, 0, 252), 252);
  ASSERT_GOOD(ram);
  EXPECT_EQ(ram.data[16], 0x00);
  EXPECT_EQ(ram.U16(18), 0x0800u);
  ExpectRefused(0, {{"RelAdr", Cdb10(0x25, 1), 5, 0x24, 0},
                    {"LBA without PMI", Cdb10(0x25, 0, 5), 5, 0x24, 0},
                    {"format capacities reserved", Cdb10(0x23, 1, 0, 252), 5, 0x24, 0}});
}

TEST_F(Commands, ModeSenseAndSelect) {
  Recorders({Media::CdR});
  Reply caps = Cmd(0, {0x5A, 0x08, 0x2A, 0, 0, 0, 0, 0x10, 0, 0}, 4096);
  ASSERT_GOOD(caps);
  const std::uint8_t* p = caps.data.data() + 8;
  EXPECT_EQ(p[0], 0x2A);
  EXPECT_EQ(p[3] & 0x01, 0x01);           // writes CD-R
  EXPECT_EQ(p[3] & 0x10, 0x10);           // writes DVD-R
  EXPECT_EQ((p[12] << 8) | p[13], 2048);  // buffer KB
  EXPECT_EQ((p[18] << 8) | p[19], 8467);
  Reply wp = Cmd(0, {0x5A, 0x08, 0x05, 0, 0, 0, 0, 0x10, 0, 0}, 4096);
  ASSERT_GOOD(wp);
  EXPECT_EQ(wp.data[9], 0x36);
  EXPECT_EQ(wp.data[10] & 0x0F, 1);  // track-at-once
  EXPECT_EQ(wp.data[12], 8);         // Mode 1
  LibraryBurner b(0);
  EXPECT_GOOD(b.SetWriteParameters(1, 10, 4, true, true, 0x20, false));
  wp = Cmd(0, {0x5A, 0x08, 0x05, 0, 0, 0, 0, 0x10, 0, 0}, 4096);
  EXPECT_EQ(wp.data[10], 0x11);
  EXPECT_EQ(wp.data[11], 0xC4);
  EXPECT_EQ(wp.data[16], 0x20);
  // Page 01h: the library's "disable hardware error correction" reads back.
  Reply er = Cmd(0, {0x5A, 0x08, 0x81, 0, 0, 0, 0, 0x10, 0, 0}, 4096);
  ASSERT_GOOD(er);
  std::vector<std::uint8_t> page(er.data.begin(), er.data.begin() + 20);
  std::fill(page.begin(), page.begin() + 8, 0);
  page[10] = 0x01;
  page[11] = 0;
  EXPECT_GOOD(CmdOut(0, {0x55, 0x10, 0, 0, 0, 0, 0, 0, 20, 0}, page));
  er = Cmd(0, {0x5A, 0x08, 0x01, 0, 0, 0, 0, 0x10, 0, 0}, 4096);
  EXPECT_EQ(er.data[10], 0x01);
  EXPECT_EQ(er.data[11], 0x00);

  std::vector<std::uint8_t> good(wp.data.begin(), wp.data.begin() + 64);
  std::fill(good.begin(), good.begin() + 8, 0);
  auto with = [&](size_t at, std::uint8_t v) {
    auto c = good;
    c[at] = v;
    return c;
  };
  const std::vector<std::uint8_t> select = {0x55, 0x10, 0, 0, 0, 0, 0, 0, 64, 0};
  ExpectRefused(
      0, {
             {"page 1Dh", {0x5A, 0x08, 0x1D, 0, 0, 0, 0, 0x10, 0, 0}, 5, 0x24, 0, 4096},
             {"page 30h not offered", {0x5A, 0x08, 0x30, 0, 0, 0, 0, 0x10, 0, 0}, 5, 0x24, 0, 4096},
             {"saved values", {0x5A, 0x08, 0xC5, 0, 0, 0, 0, 0x10, 0, 0}, 5, 0x39, 0, 4096},
             {"subpage", {0x5A, 0x08, 0x05, 1, 0, 0, 0, 0x10, 0, 0}, 5, 0x24, 0, 4096},
             {"select without PF", {0x55, 0x00, 0, 0, 0, 0, 0, 0, 64, 0}, 5, 0x24, 0, 0, good},
             {"select saving", {0x55, 0x11, 0, 0, 0, 0, 0, 0, 64, 0}, 5, 0x24, 0, 0, good},
             {"list shorter than the page",
              {0x55, 0x10, 0, 0, 0, 0, 0, 0, 40, 0},
              5,
              0x1A,
              0,
              0,
              good},
             {"block descriptor", select, 5, 0x26, 0, 0, with(7, 8)},
             {"session-at-once on CD", select, 5, 0x26, 0, 0, with(10, 0x02)},
             {"raw on CD", select, 5, 0x26, 0, 0, with(10, 0x03)},
             {"block type 2", select, 5, 0x26, 0, 0, with(12, 2)},
             {"audio track mode", select, 5, 0x26, 0, 0, with(11, 0x00)},
             {"audio samples in a data track", select, 5, 0x26, 0, 0, with(12, 0x00)},
             {"session format 30h", select, 5, 0x26, 0, 0, with(16, 0x30)},
             {"multi-session 10b", select, 5, 0x26, 0, 0, with(11, 0x84)},
             {"page length", select, 5, 0x26, 0, 0, with(9, 0x32)},
             {"select page 2Ah", select, 5, 0x26, 0, 0, with(8, 0x2A)},
         });
  // Audio: raw samples (block type 0) in an audio track.
  auto audio = good;
  audio[11] &= 0xF0;
  audio[12] &= 0xF0;
  EXPECT_GOOD(CmdOut(0, select, audio));
}

TEST_F(Commands, UnderrunPage30WhenTheRecorderOffersIt) {
  at::RecorderConfig c;
  c.name = "JustLink";
  c.media = Media::CdR;
  c.underrunPage = true;
  at::ConfigureRecorders({c});
  const std::vector<std::uint8_t> sense30 = {0x5A, 0x08, 0x30, 0, 0, 0, 0, 0x10, 0, 0};
  Reply page = Cmd(0, sense30, 4096);
  ASSERT_GOOD(page);
  EXPECT_EQ(page.data[8], 0x30);
  EXPECT_EQ(page.data[10] & 1, 1);  // supported
  EXPECT_EQ(page.data[11] & 1, 0);  // not enabled
  // The library's SetBUP: header cleared, byte 3 bit 0 set, length page length + 10.
  std::vector<std::uint8_t> select(page.data.begin(), page.data.begin() + 8 + 2 + page.data[9]);
  std::fill(select.begin(), select.begin() + 8, 0);
  select[11] |= 1;
  const auto n = static_cast<std::uint8_t>(select.size());
  ASSERT_GOOD(CmdOut(0, {0x55, 0x10, 0, 0, 0, 0, 0, 0, n, 0}, select));
  EXPECT_EQ(Cmd(0, sense30, 4096).data[11] & 1, 1);
  select[10] = 0;  // "supported" is not the host's to change
  EXPECT_SENSE(CmdOut(0, {0x55, 0x10, 0, 0, 0, 0, 0, 0, n, 0}, select), 5, 0x26, 0);
}

TEST_F(Commands, WriteParametersPerMedium) {
  Recorders({Media::DvdR, Media::DvdPlusR, Media::DvdPlusRw, Media::DvdRam});
  // DVD-R records disc-at-once only; the other DVDs take any page and ignore it.
  EXPECT_GOOD(LibraryBurner(0).SetWriteParameters(2, 8, 5, false, false, 0, true));
  EXPECT_SENSE(LibraryBurner(0).SetWriteParameters(1, 8, 4, false, false, 0, false), 5, 0x26, 0);
  EXPECT_SENSE(LibraryBurner(0).SetWriteParameters(3, 1, 4, false, false, 0, false), 5, 0x26, 0);
  for (std::uint8_t t = 1; t <= 3; ++t) {
    EXPECT_GOOD(LibraryBurner(t).SetWriteParameters(1, 8, 4, false, false, 0, false));
    EXPECT_GOOD(LibraryBurner(t).SetWriteParameters(3, 3, 4, false, false, 0, false));
  }
}

TEST_F(Commands, ReadDvdStructure) {
  Recorders({Media::DvdR, Media::CdR});
  Reply phys = Cmd(0, {0xAD, 0, 0, 0, 0, 0, 0, 0x00, 0x08, 0x04, 0, 0}, 2052);
  ASSERT_GOOD(phys);
  EXPECT_EQ(phys.U16(0), 2050u);
  EXPECT_EQ(phys.data[4] >> 4, 0x2);  // DVD-R book
  EXPECT_EQ(phys.U32(8), 0x30000u);
  EXPECT_EQ(phys.U32(12), 0x30000u + 2298496 - 1);
  Reply copy = Cmd(0, {0xAD, 0, 0, 0, 0, 0, 0, 0x01, 0x10, 0x00, 0, 0}, 4096);
  ASSERT_GOOD(copy);
  EXPECT_EQ(copy.U16(0), 6u);
  EXPECT_EQ(copy.data[4], 0);
  EXPECT_GOOD(Cmd(0, {0xAD, 0, 0, 0, 0, 0, 0, 0x04, 0x08, 0x04, 0, 0}, 2052));
  ExpectRefused(
      0, {{"format 02h", {0xAD, 0, 0, 0, 0, 0, 0, 0x02, 0x10, 0, 0, 0}, 5, 0x24, 0, 4096},
          {"layer 1", {0xAD, 0, 0, 0, 0, 0, 1, 0x00, 0x10, 0, 0, 0}, 5, 0x24, 0, 4096},
          {"media type BD", {0xAD, 1, 0, 0, 0, 0, 0, 0x00, 0x10, 0, 0, 0}, 5, 0x24, 0, 4096}});
  ExpectRefused(1,
                {{"on a CD", {0xAD, 0, 0, 0, 0, 0, 0, 0x00, 0x10, 0, 0, 0}, 5, 0x30, 0x02, 4096}});
}

TEST_F(Commands, StartStopPreventAndSpeed) {
  Recorders({Media::CdR});
  EXPECT_GOOD(Cmd(0, {0x1E, 0, 0, 0, 1, 0}));
  EXPECT_SENSE(Cmd(0, {0x1B, 0, 0, 0, 0x02, 0}), 5, 0x53, 0x02);  // eject while prevented
  EXPECT_GOOD(Cmd(0, {0x1E, 0, 0, 0, 0, 0}));
  EXPECT_GOOD(Cmd(0, {0x1B, 0, 0, 0, 0x02, 0}));
  EXPECT_GOOD(Cmd(0, {0x1B, 1, 0, 0, 0x03, 0}));                             // load
  EXPECT_GOOD(Cmd(0, {0xBB, 0, 0x0D, 0xC8, 0x06, 0xE4, 0, 0, 0, 0, 0, 0}));  // 3528, 1764
  Reply caps = Cmd(0, {0x5A, 0x08, 0x2A, 0, 0, 0, 0, 0x10, 0, 0}, 4096);
  ASSERT_GOOD(caps);
  EXPECT_EQ(caps.U16(8 + 14), 3528u);
  EXPECT_EQ(caps.U16(8 + 20), 1764u);
  EXPECT_GOOD(Cmd(0, {0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}));
  caps = Cmd(0, {0x5A, 0x08, 0x2A, 0, 0, 0, 0, 0x10, 0, 0}, 4096);
  EXPECT_EQ(caps.U16(8 + 20), 8467u);
  ExpectRefused(
      0, {{"prevent reserved", {0x1E, 0, 0, 0, 0x04, 0}, 5, 0x24, 0},
          {"start stop reserved", {0x1B, 2, 0, 0, 0, 0}, 5, 0x24, 0},
          {"speed rotation 2", {0xBB, 2, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, 5, 0x24, 0}});
}

TEST_F(Commands, ReadBufferCapacityAndSendOpc) {
  Recorders({Media::CdR});
  Reply buf = Cmd(0, Cdb10(0x5C, 0, 0, 12), 12);
  ASSERT_GOOD(buf);
  EXPECT_EQ(buf.U16(0), 10u);
  EXPECT_EQ(buf.U32(4), 2u << 20);
  EXPECT_EQ(buf.U32(8), 2u << 20);  // empty
  Reply blocks = Cmd(0, Cdb10(0x5C, 1, 0, 12), 12);
  ASSERT_GOOD(blocks);
  EXPECT_EQ(blocks.U32(8), 1024u);
  EXPECT_GOOD(Cmd(0, Cdb10(0x54, 1)));
  ExpectRefused(0, {{"buffer reserved", Cdb10(0x5C, 2, 0, 12), 5, 0x24, 0},
                    {"OPC length not whole entries", Cdb10(0x54, 1, 0, 5), 5, 0x24, 0}});
}

TEST_F(Commands, Read10AndReadCdOfWrittenSectors) {
  Recorders({Media::CdR});
  LibraryBurner b(0);
  const auto data = Pattern(0, 40);
  ASSERT_GOOD(b.TrackAtOnce(data));
  ASSERT_GOOD(b.CloseSession());
  Reply r = b.ReadBlocks(0, 40);
  ASSERT_GOOD(r);
  EXPECT_EQ(r.data, data);
  // Raw: sync, header (00:02:05 for LBA 5, mode 1), user data, EDC/ECC.
  Reply raw = Cmd(0, {0xBE, 0, 0, 0, 0, 5, 0, 0, 1, 0xF8, 0, 0}, 2352);
  ASSERT_GOOD(raw);
  EXPECT_EQ(raw.data[1], 0xFF);
  EXPECT_EQ(raw.data[12], 0x00);
  EXPECT_EQ(raw.data[13], 0x02);
  EXPECT_EQ(raw.data[14], 0x05);
  EXPECT_EQ(raw.data[15], 0x01);
  EXPECT_TRUE(std::equal(raw.data.begin() + 16, raw.data.begin() + 2064, data.begin() + 5 * 2048));
  Reply headers = Cmd(0, {0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0xE0, 0, 0}, 4096);
  ASSERT_GOOD(headers);
  EXPECT_EQ(headers.data[15], 0x01);
  // Formatted Q: data track 1, index 1, relative 00:00:07, absolute 00:02:07.
  Reply q = Cmd(0, {0xBE, 0, 0, 0, 0, 7, 0, 0, 1, 0x00, 0x02, 0}, 16);
  ASSERT_GOOD(q);
  EXPECT_EQ(q.data[0], 0x41);
  EXPECT_EQ(q.data[1], 0x01);
  EXPECT_EQ(q.data[2], 0x01);
  EXPECT_EQ(q.data[5], 0x07);
  EXPECT_EQ(q.data[8], 0x02);
  EXPECT_EQ(q.data[9], 0x07);
  EXPECT_GOOD(Cmd(0, {0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0xF8, 0x01, 0}, 2448));
  EXPECT_GOOD(Cmd(0, {0xBE, 0x08, 0, 0, 0, 0, 0, 0, 1, 0x10, 0, 0}, 2048));  // Mode 1 expected
  ExpectRefused(
      0, {
             {"READ(10) beyond", Cdb10(0x28, 0, 39, 2), 5, 0x21, 0, 4096},
             {"READ(10) RelAdr", Cdb10(0x28, 1, 0, 1), 5, 0x24, 0, 2048},
             {"sync without header", {0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0x90, 0, 0}, 5, 0x24, 0, 4096},
             {"header and EDC only", {0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0x28, 0, 0}, 5, 0x24, 0, 4096},
             {"expected Form 1", {0xBE, 0x10, 0, 0, 0, 0, 0, 0, 1, 0x10, 0, 0}, 5, 0x64, 0, 4096},
             {"expected CD-DA", {0xBE, 0x04, 0, 0, 0, 0, 0, 0, 1, 0x10, 0, 0}, 5, 0x64, 0, 4096},
             {"sector type 6", {0xBE, 0x18, 0, 0, 0, 0, 0, 0, 1, 0x10, 0, 0}, 5, 0x24, 0, 4096},
             {"subchannel 3", {0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0x10, 0x03, 0}, 5, 0x24, 0, 4096},
             {"C2 11b", {0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0x16, 0, 0}, 5, 0x24, 0, 4096},
             {"READ CD beyond", {0xBE, 0, 0, 0, 0, 40, 0, 0, 1, 0x10, 0, 0}, 5, 0x21, 0, 4096},
         });
}

TEST_F(Commands, ReadTocFormats) {
  Recorders({Media::CdR});
  LibraryBurner b(0);
  EXPECT_SENSE(Cmd(0, Cdb10(0x43, 0, 0, 804), 804), 5, 0x24, 0);  // blank: nothing closed
  ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 100)));
  ASSERT_GOOD(b.CloseSession());
  Reply toc = Cmd(0, Cdb10(0x43, 0, 0, 804), 804);
  ASSERT_GOOD(toc);
  EXPECT_EQ(toc.U16(0), 18u);
  EXPECT_EQ(toc.data[2], 1);
  EXPECT_EQ(toc.data[3], 1);
  EXPECT_EQ(toc.data[5], 0x14);
  EXPECT_EQ(toc.data[6], 1);
  EXPECT_EQ(toc.U32(8), 0u);
  EXPECT_EQ(toc.data[14], 0xAA);
  EXPECT_EQ(toc.U32(16), 100u);
  Reply msf = Cmd(0, Cdb10(0x43, 0x02, 0, 804), 804);
  ASSERT_GOOD(msf);
  EXPECT_EQ(msf.U32(16), 0x00000319u);  // LBA 100 is 00:03:25
  Reply full = Cmd(0, {0x43, 0x02, 0x02, 0, 0, 0, 0, 0x40, 0, 0}, 16384);
  ASSERT_GOOD(full);
  EXPECT_EQ(full.U16(0), 2u + 4 * 11);  // A0, A1, A2, track 1
  EXPECT_EQ(full.data[4 + 3], 0xA0);
  EXPECT_EQ(full.data[4 + 8], 1);  // first track
  EXPECT_EQ(full.data[15 + 3], 0xA1);
  EXPECT_EQ(full.data[26 + 3], 0xA2);
  EXPECT_EQ(full.data[26 + 8], 0);  // lead-out 00:03:25
  EXPECT_EQ(full.data[26 + 9], 3);
  EXPECT_EQ(full.data[26 + 10], 25);
  EXPECT_EQ(full.data[37 + 3], 1);
  EXPECT_EQ(full.data[37 + 9], 2);  // track 1 at 00:02:00
  ExpectRefused(0, {{"format 1", {0x43, 0, 1, 0, 0, 0, 0, 3, 0x24, 0}, 5, 0x24, 0, 804},
                    {"track 2", {0x43, 0, 0, 0, 0, 0, 2, 3, 0x24, 0}, 5, 0x24, 0, 804},
                    {"reserved bits", {0x43, 0x01, 0, 0, 0, 0, 0, 3, 0x24, 0}, 5, 0x24, 0, 804}});
}

}  // namespace
}  // namespace aspitest
