// The lead-in, pre-gap and lead-out generators read back through the virtual recorder's
// subchannel decoder and sector coding: the table-of-contents cycle, the CD-Text in R-W, the
// pause countdown, the lead-out's P pattern and its sectors.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "lib/core/sector/cd_text.h"
#include "lib/mastering/raw/iso9660_file_tree_lead_in.h"
#include "lib/mastering/raw/iso9660_file_tree_lead_out.h"
#include "lib/mastering/raw/iso9660_file_tree_pre_gap.h"
#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/aspi/recorder/coding/vr_subchannel.h"
#include "tests/lib/lib_test_support.h"

namespace {

namespace vr = platform::aspi::vr;
using Bytes = std::vector<std::uint8_t>;

std::unique_ptr<TRACK_ARRAY> Tracks(int count, bool firstIsData) {
  auto t = std::make_unique<TRACK_ARRAY>();
  std::memset(t.get(), 0, sizeof *t);
  t->m__LONG__NumberOfTracks = count;
  for (int i = 0; i < count; ++i) {
    t->m__TRACK_ENTRY__Tracks[i].m__LONG__TrackStartInLBs = 1000 * i;
    t->m__TRACK_ENTRY__Tracks[i].m__LONG__TrackSizeInLBs = 1000;
    t->m__TRACK_ENTRY__Tracks[i].m__BOOLEAN__IsData = i == 0 && firstIsData;
  }
  return t;
}

// Read through the chain, as the writer reads it.
Bytes ReadAll(CHalvorin_ISO9660FileTreeGenerated& area) {
  Bytes out(area.GetSizeInUCHARs());
  area.SeekToBegin();
  area.Read(out.size(), out.data());
  return out;
}

vr::DecodedSubchannel Decode(const Bytes& area, std::uint32_t sectorSize) {
  return vr::DecodeSubchannel(area, sectorSize == 2368 ? 16 : 96, sectorSize, 2352);
}

std::uint8_t Bcd(int v) {
  return static_cast<std::uint8_t>(v / 10 * 16 + v % 10);
}

Bytes BcdMsf(int frames) {
  return {Bcd(frames / 4500), Bcd(frames / 75 % 60), Bcd(frames % 75)};
}

TEST(LeadInGenerators, OneTrackCycleOfTwelveSectors) {
  for (bool pw : {false, true}) {
    SCOPED_TRACE(pw ? "P-W" : "PQ");
    auto tracks = Tracks(1, false);
    std::unique_ptr<CHalvorin_ISO9660FileTreeGenerated> leadIn;
    if (pw)
      leadIn = std::make_unique<CHalvorin_ISO9660FileTreeLeadInRawRawPW>(
          -174, 24, 5000, tracks.get(), false, nullptr);
    else
      leadIn = std::make_unique<CHalvorin_ISO9660FileTreeLeadInRawPQ>(-174, 24, 5000, tracks.get(),
                                                                      false);
    const Bytes area = ReadAll(*leadIn);
    ASSERT_EQ(area.size(), 24u * (pw ? 2448 : 2368));
    const auto d = Decode(area, pw ? 2448 : 2368);
    ASSERT_EQ(d.frames.size(), 24u);
    EXPECT_TRUE(d.packs.empty());
    const std::uint8_t points[12] = {0xA0, 0xA0, 0xA0, 0xA1, 0xA1, 0xA1,
                                     0xA2, 0xA2, 0xA2, 0x01, 0x01, 0x01};
    for (int k = 0; k < 24; ++k) {
      const auto& q = d.frames[k].q;
      EXPECT_TRUE(d.frames[k].crcOk) << k;
      EXPECT_FALSE(d.frames[k].p) << k;
      EXPECT_EQ(q[0], 0x01) << k;
      EXPECT_EQ(q[1], 0) << k;
      EXPECT_EQ(q[2], points[k % 12]) << k;
      EXPECT_EQ(Bytes(q.begin() + 3, q.begin() + 6), BcdMsf(-174 + k + 450150)) << k;
      for (int b = 0; b < 2352; ++b) ASSERT_EQ(area[k * (pw ? 2448 : 2368) + b], 0) << k;
    }
    EXPECT_EQ(Bytes(d.frames[0].q.begin() + 7, d.frames[0].q.begin() + 10), Bytes({1, 0, 0}));
    EXPECT_EQ(d.frames[3].q[7], 0x01);  // last track
    EXPECT_EQ(Bytes(d.frames[6].q.begin() + 7, d.frames[6].q.begin() + 10), BcdMsf(5150));
    EXPECT_EQ(Bytes(d.frames[9].q.begin() + 7, d.frames[9].q.begin() + 10), BcdMsf(150));
  }
}

TEST(LeadInGenerators, NinetyNineTracksCycleOfThreeHundredSixSectors) {
  auto tracks = Tracks(99, true);
  CHalvorin_ISO9660FileTreeLeadInRawPQ leadIn(-1000, 612, 99000, tracks.get(), true);
  const auto d = Decode(ReadAll(leadIn), 2368);
  for (int k = 0; k < 612; ++k) {
    const int c = k % 306;
    ASSERT_TRUE(d.frames[k].crcOk) << k;
    // Each point has its track's control: A0 the first (data) track's, A1 and A2 the last's.
    const bool isData = c < 3 || (c >= 9 && c / 3 - 2 == 1);
    EXPECT_EQ(d.frames[k].q[0], isData ? 0x41 : 0x01) << k;
    const std::uint8_t point = c < 3 ? 0xA0 : c < 6 ? 0xA1 : c < 9 ? 0xA2 : Bcd(c / 3 - 2);
    ASSERT_EQ(d.frames[k].q[2], point) << k;
    if (c >= 9) {
      EXPECT_EQ(Bytes(d.frames[k].q.begin() + 7, d.frames[k].q.begin() + 10),
                BcdMsf(1000 * (c / 3 - 3) + 150))
          << k;
    }
  }
  EXPECT_EQ(d.frames[0].q[8], 0x20);  // CD-ROM XA with the Mode 2 flag
  EXPECT_EQ(d.frames[3].q[7], 0x99);
}

TEST(LeadInGenerators, CdTextInRwOnlyWhenTheFirstTrackIsAudio) {
  CHalvorin_CDText text;
  ASSERT_EQ(text.AddTrackInfo(0, "Disc Title", "Band"), 0u);
  ASSERT_EQ(text.AddTrackInfo(1, "Song", "Singer"), 0u);
  for (bool data : {false, true}) {
    SCOPED_TRACE(data ? "data first" : "audio first");
    auto tracks = Tracks(2, data);
    CHalvorin_ISO9660FileTreeLeadInRawRawPW leadIn(-300, 150, 9000, tracks.get(), false, &text);
    const auto d = Decode(ReadAll(leadIn), 2448);
    for (const auto& f : d.frames) ASSERT_TRUE(f.crcOk);
    if (data) {
      EXPECT_TRUE(d.packs.empty());
      continue;
    }
    ASSERT_EQ(text.GetFirstTrack(), 1);
    ASSERT_EQ(text.GetLastTrack(), 2);
    const auto distinct = vr::DistinctPacks(d.packs);
    ASSERT_EQ(distinct.size() * 18, text.GetPackDataSize());
    for (std::size_t i = 0; i < distinct.size(); ++i)
      EXPECT_EQ(0, std::memcmp(distinct[i].bytes.data(), text.GetPackData() + 18 * i, 18)) << i;
    for (const auto& p : d.packs) EXPECT_TRUE(p.crcOk);
  }
}

TEST(LeadInGenerators, TooMuchCdTextFailsTheLeadInWithFive) {
  CHalvorin_CDText text;
  const std::string full(31, 'x');
  for (int i = 0; i < 43; ++i) ASSERT_EQ(text.AddTrackInfo(i, full.c_str(), full.c_str()), 0u);
  auto tracks = Tracks(42, false);
  const libtest::Thrown t = libtest::Catch([&] {
    CHalvorin_ISO9660FileTreeLeadInRawRawPW(-300, 150, 9000, tracks.get(), false, &text);
  });
  ASSERT_TRUE(t.thrown);
  EXPECT_EQ(t.Status(), 5);
  EXPECT_NE(t.Text().find("PrepareSubChannels() failed!"), std::string::npos) << t.Text();
}

TEST(PreGapGenerators, CountDownToZeroWithPSet) {
  for (bool pw : {false, true}) {
    for (bool data : {false, true}) {
      SCOPED_TRACE(std::string(pw ? "P-W " : "PQ ") + (data ? "data" : "audio"));
      std::unique_ptr<CHalvorin_ISO9660FileTreeGenerated> gap;
      if (pw)
        gap = std::make_unique<CHalvorin_ISO9660FileTreePreGapRawRawPW>(-150, 150, 1, data, false);
      else
        gap = std::make_unique<CHalvorin_ISO9660FileTreePreGapRawPQ>(-150, 150, 1, data, false);
      const std::uint32_t size = pw ? 2448 : 2368;
      const Bytes area = ReadAll(*gap);
      const auto d = Decode(area, size);
      ASSERT_EQ(d.frames.size(), 150u);
      for (int i = 0; i < 150; ++i) {
        const auto& q = d.frames[i].q;
        ASSERT_TRUE(d.frames[i].crcOk) << i;
        EXPECT_TRUE(d.frames[i].p) << i;
        EXPECT_EQ(q[0], data ? 0x41 : 0x01);
        EXPECT_EQ(q[1], 0x01);
        EXPECT_EQ(q[2], 0x00);
        EXPECT_EQ(Bytes(q.begin() + 3, q.begin() + 6), BcdMsf(149 - i)) << i;
        EXPECT_EQ(Bytes(q.begin() + 7, q.begin() + 10), BcdMsf(i)) << i;
      }
      EXPECT_EQ(Bytes(d.frames[0].q.begin() + 3, d.frames[0].q.begin() + 6), Bytes({0, 1, 0x74}));
      if (!data) {
        for (int i = 0; i < 150; ++i)
          for (int b = 0; b < 2352; ++b) ASSERT_EQ(area[i * size + b], 0);
      }
    }
  }
}

TEST(LeadOutGenerators, PatternOfPAndSectorsThatPassTheRecordersCheck) {
  for (bool pw : {false, true}) {
    for (bool data : {false, true}) {
      SCOPED_TRACE(std::string(pw ? "P-W " : "PQ ") + (data ? "data" : "audio"));
      std::unique_ptr<CHalvorin_ISO9660FileTreeGenerated> out;
      if (pw)
        out = std::make_unique<CHalvorin_ISO9660FileTreeLeadOutRawRawPW>(20000, data, false);
      else
        out = std::make_unique<CHalvorin_ISO9660FileTreeLeadOutRawPQ>(20000, data, false);
      const std::uint32_t size = pw ? 2448 : 2368;
      const Bytes area = ReadAll(*out);
      ASSERT_EQ(area.size(), 6750u * size);
      const auto d = Decode(area, size);
      for (int i = 0; i < 6750; ++i) {
        const auto& q = d.frames[i].q;
        ASSERT_TRUE(d.frames[i].crcOk) << i;
        ASSERT_EQ(d.frames[i].p, i >= 150 && i % 150 < 75) << i;
        ASSERT_EQ(q[1], 0xAA);
        ASSERT_EQ(q[2], 0x01);
        ASSERT_EQ(Bytes(q.begin() + 3, q.begin() + 6), BcdMsf(i)) << i;
        ASSERT_EQ(Bytes(q.begin() + 7, q.begin() + 10), BcdMsf(20150 + i)) << i;
        std::uint8_t sector[2352];
        std::memcpy(sector, &area[static_cast<std::size_t>(i) * size], 2352);
        if (data) {
          vr::Scramble(sector);
          ASSERT_TRUE(vr::IsValidMode1(sector)) << i;
          for (int b = 16; b < 2064; ++b) ASSERT_EQ(sector[b], 0) << i;
        } else {
          for (int b = 0; b < 2352; ++b) ASSERT_EQ(sector[b], 0) << i;
        }
      }
    }
  }
}

}  // namespace
