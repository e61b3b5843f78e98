// Raw sector expansion and subchannel: the Mode 2 view and the raw PQ and P-W views over
// cooked, audio and raw sources, their sizes, track switches and rewinds; the subchannel
// packing against the virtual recorder's own; and a raw view of an ISO tree read back by
// cd-info and bchunk.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "lib/core/sector/edc_ecc.h"
#include "lib/core/sector/sector_encoder.h"
#include "lib/mastering/raw/iso9660_file_tree_mode2.h"
#include "lib/mastering/raw/iso9660_file_tree_raw.h"
#include "lib/mastering/raw/raw_sector_expansion.h"
#include "lib/mastering/raw/raw_subchannel.h"
#include "lib/mastering/tree/file_chain.h"
#include "lib/mastering/tree/file_objects.h"
#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/debug/debug.h"
#include "tests/lib/lib_test_support.h"
#include "tests/lib/mastering/iso_test_support.h"

namespace libtest {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Hex(const std::uint8_t* p, std::size_t n) {
  std::string s;
  char b[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
    s += b;
  }
  return s;
}

// The sync field and mode byte 1 of a data sector, at the start of a raw sector.
void SetDataSectorSync(std::uint8_t* sector) {
  sector[0] = sector[11] = 0;
  std::memset(sector + 1, 0xFF, 10);
  sector[15] = 1;
}

Bytes Pattern(std::size_t size, std::uint8_t seed) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + seed + i / 2048);
  return b;
}

// A chain over one memory block.
struct Source {
  explicit Source(Bytes bytes) : data(std::move(bytes)), file(data.data(), data.size()) {
    chain.AddChainTail(&file);
    chain.SeekToBegin();
  }
  Bytes data;
  CHalvorin_MemoryFile file;
  CHalvorin_FileChain chain;
};

struct TrackSpec {
  std::int32_t sizeInLBs;
  bool data;
  bool raw = false;
};

std::unique_ptr<TRACK_ARRAY> Tracks(std::initializer_list<TrackSpec> specs) {
  auto tracks = std::make_unique<TRACK_ARRAY>();
  std::memset(tracks.get(), 0, sizeof *tracks);
  std::int32_t start = 0;
  for (const TrackSpec& t : specs) {
    TRACK_ENTRY& e = tracks->m__TRACK_ENTRY__Tracks[tracks->m__LONG__NumberOfTracks++];
    e.m__LONG__TrackSizeInLBs = t.sizeInLBs;
    e.m__LONG__TrackStartInLBs = start;
    e.m__BOOLEAN__IsData = t.data;
    e.m__BOOLEAN__IsRaw = t.raw;
    start += t.sizeInLBs;
  }
  return tracks;
}

Bytes ReadAll(CHalvorin_FileChain& view) {
  Bytes out(view.GetSizeInUCHARs());
  view.Read(out.size(), out.data());
  return out;
}

// The 12 Q bytes a recorder would write for a position (its own coder).
std::string RecorderQ(std::uint8_t control, std::uint8_t track, std::int64_t relative,
                      std::int64_t lba) {
  platform::aspi::vr::QPosition p;
  p.control = control;
  p.track = track;
  p.index = 1;
  p.relative = relative;
  p.lba = lba;
  std::uint8_t q[12];
  platform::aspi::vr::FormatQ(p, q);
  return Hex(q, 12);
}

TEST(RawViewTest, TenCookedSectorsThroughThePQView) {
  Source source(Pattern(10 * 2048, 1));
  auto tracks = Tracks({{10, true}});
  CHalvorin_ISO9660FileTreeRawPQ view(&source.chain, 1, 0, tracks.get(), false, false);
  ASSERT_EQ(view.GetSizeInUCHARs(), 23680u);
  const Bytes out = ReadAll(view);
  EXPECT_EQ(Hex(&out[2352], 16), "41 01 01 00 00 00 00 00 02 00 28 32 00 00 00 00");
  EXPECT_EQ(Hex(&out[9 * 2368 + 2352], 16), "41 01 01 00 00 09 00 00 02 09 11 67 00 00 00 00");
  CHalvorin_EDCECC coder;
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(i);
    std::uint8_t sector[2352];
    std::memcpy(sector, &out[i * 2368], 2352);
    EXPECT_EQ(Hex(&out[i * 2368 + 2352], 12), RecorderQ(4, 1, i, i));
    ScrambleSector(sector);  // descrambled: a Mode 1 sector at LBA i holding block i
    EXPECT_TRUE(coder.CheckMODE1LB(sector));
    std::uint8_t expected[2352];
    platform::aspi::vr::EncodeMode1(i, &source.data[i * 2048], expected);
    EXPECT_EQ(std::memcmp(sector, expected, 2352), 0);
  }
}

TEST(RawViewTest, TracksSwitchAndTheLastTrackTakesTheRest) {
  // Three audio tracks of 3, 2 and 1 sectors over a source of 8: the last track runs on.
  Source source(Pattern(8 * 2352, 2));
  auto tracks = Tracks({{3, false}, {2, false}, {1, false}});
  CHalvorin_ISO9660FileTreeRawPQ view(&source.chain, 5, 100, tracks.get(), false, false);
  platform::debug::Capture capture;
  const Bytes out = ReadAll(view);
  ASSERT_EQ(out.size(), 8u * 2368);
  const std::uint8_t expectTrack[8] = {5, 5, 5, 6, 6, 7, 7, 7};
  const int expectRelative[8] = {0, 1, 2, 0, 1, 0, 1, 2};
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    // Audio passes bit for bit, unscrambled.
    EXPECT_EQ(std::memcmp(&out[i * 2368], &source.data[i * 2352], 2352), 0);
    EXPECT_EQ(Hex(&out[i * 2368 + 2352], 12),
              RecorderQ(0, expectTrack[i], expectRelative[i], 100 + i));
  }
  EXPECT_EQ(view.GetTrackIndex(), 2);
  const std::string trace = capture.Text();
  EXPECT_NE(trace.find("CHalvorin_ISO9660FileTreeRawPQ::ExpandCookedWithRawPQ(): Track switch, "
                       "track index 0, track LBA 3, track size in LBs 3"),
            std::string::npos)
      << trace;
  EXPECT_NE(trace.find("track index 1, track LBA 2, track size in LBs 2"), std::string::npos);
  EXPECT_EQ(trace.find("track index 2, track LBA"), std::string::npos);
}

TEST(RawViewTest, PWViewPacksTheSameQ) {
  Source source(Pattern(3 * 2048, 3));
  auto tracks = Tracks({{3, true}});
  CHalvorin_ISO9660FileTreeRawPQ pq(&source.chain, 1, 0, tracks.get(), false, false);
  const Bytes a = ReadAll(pq);
  source.chain.SeekToBegin();
  CHalvorin_ISO9660FileTreeRawRawPW pw(&source.chain, 1, 0, tracks.get(), false, false);
  ASSERT_EQ(pw.GetSizeInUCHARs(), 3u * 2448);
  const Bytes b = ReadAll(pw);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(std::memcmp(&a[i * 2368], &b[i * 2448], 2352), 0);
    std::uint8_t recorder[96];
    platform::aspi::vr::InterleaveSubchannel(false, &a[i * 2368 + 2352], recorder);
    EXPECT_EQ(std::memcmp(&b[i * 2448 + 2352], recorder, 96), 0);
  }
}

TEST(RawViewTest, Mode2DataSectorsAreForm1BehindAZeroSubheader) {
  Source source(Pattern(2 * 2048, 4));
  auto tracks = Tracks({{2, true}});
  CHalvorin_ISO9660FileTreeRawPQ view(&source.chain, 1, -150, tracks.get(), true, false);
  const Bytes out = ReadAll(view);
  CHalvorin_EDCECC coder;
  for (int i = 0; i < 2; ++i) {
    std::uint8_t sector[2352];
    std::memcpy(sector, &out[i * 2368], 2352);
    ScrambleSector(sector);
    EXPECT_EQ(Hex(sector + 12, 12),
              i ? "00 00 01 02 00 00 00 00 00 00 00 00" : "00 00 00 02 00 00 00 00 00 00 00 00");
    EXPECT_TRUE(coder.CheckMODE2LB(sector));
    EXPECT_EQ(std::memcmp(sector + 24, &source.data[i * 2048], 2048), 0);
  }
}

TEST(RawViewTest, RawImageTracksKeepOrRegenerateTheirSubchannel) {
  // Two raw sectors as a grab stores them: unscrambled main data, then P-W with P set in the
  // first, some Q, and R-W bits.
  Bytes image(2 * 2448);
  for (int i = 0; i < 2; ++i) {
    std::uint8_t* s = &image[i * 2448];
    for (int j = 0; j < 2352; ++j) s[j] = static_cast<std::uint8_t>(j * 3 + i);
    SetDataSectorSync(s);
    for (int j = 0; j < 96; ++j)
      s[2352 + j] =
          static_cast<std::uint8_t>((i == 0 ? 0x80 : 0) | (j % 5 == 0 ? 0x40 : 0) | (j & 0x3F));
  }
  auto tracks = Tracks({{2, true, true}});
  struct Case {
    bool pw;
    bool regenerate;
  } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pw ? "P-W" : "PQ") + (c.regenerate ? ", regenerated" : ""));
    Source source(image);
    std::unique_ptr<CHalvorin_ISO9660FileTreeRaw> view;
    if (c.pw)
      view = std::make_unique<CHalvorin_ISO9660FileTreeRawRawPW>(&source.chain, 3, 50, tracks.get(),
                                                                 false, c.regenerate);
    else
      view = std::make_unique<CHalvorin_ISO9660FileTreeRawPQ>(&source.chain, 3, 50, tracks.get(),
                                                              false, c.regenerate);
    const std::size_t unit = c.pw ? 2448 : 2368;
    ASSERT_EQ(view->GetSizeInUCHARs(), 2 * unit);
    const Bytes out = ReadAll(*view);
    for (int i = 0; i < 2; ++i) {
      SCOPED_TRACE(i);
      std::uint8_t main[2352];
      std::memcpy(main, &image[i * 2448], 2352);
      ScrambleSector(main);
      EXPECT_EQ(std::memcmp(&out[i * unit], main, 2352), 0);
      const std::uint8_t* in = &image[i * 2448 + 2352];
      const std::uint8_t* sub = &out[i * unit + 2352];
      std::uint8_t channels[96];
      DeinterleaveSubchannelPW(in, channels);
      if (c.regenerate) {
        std::uint8_t pq[16] = {};
        platform::aspi::vr::QPosition p;
        p.track = 3;
        p.relative = i;
        p.lba = 50 + i;
        platform::aspi::vr::FormatQ(p, pq);
        if (c.pw) {
          std::uint8_t packed[96];
          PackSubchannelQ(pq, packed);
          EXPECT_EQ(std::memcmp(sub, packed, 96), 0);
        } else {
          EXPECT_EQ(Hex(sub, 16), Hex(pq, 16));
        }
      } else if (c.pw) {
        EXPECT_EQ(std::memcmp(sub, in, 96), 0);
      } else {
        EXPECT_EQ(Hex(sub, 12), Hex(channels + 12, 12));
        EXPECT_EQ(Hex(sub + 12, 4), i == 0 ? "00 00 00 80" : "00 00 00 00");
      }
    }
  }
}

TEST(RawViewTest, RegeneratedQOfRawImagesFollowsTheTrackList) {
  // Two raw image tracks of 2 and 3 sectors: the regenerated Q switches tracks as the
  // expansion does, relative time from each track's start, the absolute address running on.
  Bytes image(5 * 2448);
  for (std::size_t j = 0; j < image.size(); ++j) image[j] = static_cast<std::uint8_t>(j * 5 + 1);
  for (int i = 0; i < 5; ++i) SetDataSectorSync(&image[i * 2448]);
  auto tracks = Tracks({{2, true, true}, {3, true, true}});
  const std::uint8_t expectTrack[5] = {4, 4, 5, 5, 5};
  const int expectRelative[5] = {0, 1, 0, 1, 2};
  for (bool pw : {false, true}) {
    SCOPED_TRACE(pw ? "P-W" : "PQ");
    const char* method = pw ? "CHalvorin_ISO9660FileTreeRawRawPW::ConvertRawPW()"
                            : "CHalvorin_ISO9660FileTreeRawPQ::ConvertRawPW()";
    Source source(image);
    std::unique_ptr<CHalvorin_ISO9660FileTreeRaw> view;
    if (pw)
      view = std::make_unique<CHalvorin_ISO9660FileTreeRawRawPW>(&source.chain, 4, 10, tracks.get(),
                                                                 false, true);
    else
      view = std::make_unique<CHalvorin_ISO9660FileTreeRawPQ>(&source.chain, 4, 10, tracks.get(),
                                                              false, true);
    const std::size_t unit = pw ? 2448 : 2368;
    platform::debug::Capture capture;
    const Bytes whole = ReadAll(*view);
    ASSERT_EQ(whole.size(), 5 * unit);
    EXPECT_EQ(view->GetTrackIndex(), 1);
    const std::string trace = capture.Text();
    EXPECT_NE(trace.find(std::string(method) +
                         ": Track switch, track index 0, track LBA 2, track size in LBs 2"),
              std::string::npos)
        << trace;
    for (int i = 0; i < 5; ++i) {
      SCOPED_TRACE(i);
      std::uint8_t main[2352];
      std::memcpy(main, &image[i * 2448], 2352);
      ScrambleSector(main);
      EXPECT_EQ(std::memcmp(&whole[i * unit], main, 2352), 0);
      const std::string q = RecorderQ(4, expectTrack[i], expectRelative[i], 10 + i);
      const std::uint8_t* sub = &whole[i * unit + 2352];
      if (pw) {
        std::uint8_t channels[96];
        DeinterleaveSubchannelPW(sub, channels);
        EXPECT_EQ(Hex(channels + 12, 12), q);
        EXPECT_EQ(std::count(channels, channels + 12, 0), 12);       // no P
        EXPECT_EQ(std::count(channels + 24, channels + 96, 0), 72);  // no R-W
      } else {
        EXPECT_EQ(Hex(sub, 12), q);
        EXPECT_EQ(Hex(sub + 12, 4), "00 00 00 00");
      }
    }
    // Sector by sector after a rewind: the same sectors.
    view->SeekToBegin();
    Bytes bySector(whole.size());
    for (std::size_t at = 0; at < bySector.size(); at += unit) view->Read(unit, &bySector[at]);
    EXPECT_EQ(bySector, whole);
  }
}

// The 12 Q bytes of a position in the recorder's coder, and as 96 raw P-W bytes.
std::array<std::uint8_t, 12> PositionQ(std::uint8_t control, std::uint8_t track, std::uint8_t index,
                                       std::int64_t relative, std::int64_t lba) {
  platform::aspi::vr::QPosition p;
  p.control = control;
  p.track = track;
  p.index = index;
  p.relative = relative;
  p.lba = lba;
  std::array<std::uint8_t, 12> q{};
  platform::aspi::vr::FormatQ(p, q.data());
  return q;
}
void PutRawQ(std::uint8_t* sector, const std::array<std::uint8_t, 12>& q) {
  platform::aspi::vr::InterleaveSubchannel(false, q.data(), sector + 2352);
}

// A raw image's sectors are scrambled by the control of the Q they are written with: an audio
// track's and an audio pause inside a data track pass as they are, a data sector whose sync is
// damaged is scrambled all the same, and a sector whose Q does not read goes by its track.
TEST(RawViewTest, RawSectorsAreScrambledByTheControlOfTheirQ) {
  Bytes image = Pattern(5 * 2448, 5);
  PutRawQ(&image[0 * 2448], PositionQ(0, 1, 1, 0, 0));
  PutRawQ(&image[1 * 2448], PositionQ(0, 1, 1, 1, 1));
  PutRawQ(&image[2 * 2448], PositionQ(4, 2, 1, 0, 2));  // no sync: damaged
  PutRawQ(&image[3 * 2448], PositionQ(0, 3, 0, 1, 3));  // an audio track's pause
  PutRawQ(&image[4 * 2448], PositionQ(4, 2, 1, 2, 4));
  image[4 * 2448 + 2352 + 5] ^= 0x40;  // its Q's CRC no longer holds
  auto tracks = Tracks({{2, false, true}, {3, true, true}});
  Source source(image);
  CHalvorin_ISO9660FileTreeRawRawPW raw(&source.chain, 1, 0, tracks.get(), false, false);
  const Bytes out = ReadAll(raw);
  ASSERT_EQ(out.size(), 5u * 2448);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    std::uint8_t expected[2352];
    std::memcpy(expected, &image[i * 2448], 2352);
    if (i == 2 || i == 4) ScrambleSector(expected);
    EXPECT_EQ(std::memcmp(&out[i * 2448], expected, 2352), 0);
    EXPECT_EQ(std::memcmp(&out[i * 2448 + 2352], &image[i * 2448 + 2352], 96), 0);
  }
}

// Q made anew over a raw image with its track forms: each track's whole control, and the
// pause of track 2 at the end of track 1 INDEX 0 of track 2, counting down to 00:00:00, P on;
// its audio sectors are not scrambled.
TEST(RawViewTest, RegeneratedQGivesEachPauseItsOwnTrack) {
  Bytes image = Pattern(5 * 2448, 9);
  auto tracks = Tracks({{3, true, true}, {2, false, true}});
  HalvorinI_TrackForms forms;
  forms.m__Tracks[0] = {0x06, 0};  // data, copy permitted
  forms.m__Tracks[1] = {0x03, 2};  // audio, copy permitted, pre-emphasis; a 2-sector pause
  Source source(image);
  CHalvorin_ISO9660FileTreeRawPQ raw(&source.chain, 1, 0, tracks.get(), false, true, &forms);
  const Bytes out = ReadAll(raw);
  ASSERT_EQ(out.size(), 5u * 2368);
  const struct {
    std::uint8_t control, track, index;
    std::int64_t relative;
    bool p, scrambled;
  } expected[5] = {{6, 1, 1, 0, false, true},
                   {3, 2, 0, 1, true, false},
                   {3, 2, 0, 0, true, false},
                   {3, 2, 1, 0, false, false},
                   {3, 2, 1, 1, false, false}};
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    const auto& e = expected[i];
    const auto q = PositionQ(e.control, e.track, e.index, e.relative, i);
    EXPECT_EQ(Hex(&out[i * 2368 + 2352], 12), Hex(q.data(), 12));
    EXPECT_EQ(out[i * 2368 + 2367], e.p ? 0x80 : 0);
    std::uint8_t main[2352];
    std::memcpy(main, &image[i * 2448], 2352);
    if (e.scrambled) ScrambleSector(main);
    EXPECT_EQ(std::memcmp(&out[i * 2368], main, 2352), 0);
  }
}

TEST(RawViewTest, LargeReadsComeInChunksAndARewindStartsOver) {
  // 70 blocks: more than the 30 cooked blocks or 25 raw sectors one work buffer holds.
  Source source(Pattern(70 * 2048, 6));
  auto tracks = Tracks({{40, true}, {30, true}});
  CHalvorin_ISO9660FileTreeRawRawPW view(&source.chain, 1, 0, tracks.get(), false, false);
  const Bytes whole = ReadAll(view);
  EXPECT_EQ(view.GetAbsoluteLBA(), 70);
  view.SeekToBegin();
  EXPECT_EQ(view.GetAbsoluteLBA(), 0);
  EXPECT_EQ(view.GetTrackIndex(), 0);
  Bytes bySector(whole.size());
  for (std::size_t at = 0; at < bySector.size(); at += 2448) view.Read(2448, &bySector[at]);
  EXPECT_EQ(bySector, whole);
  std::uint8_t q[96];
  DeinterleaveSubchannelPW(&whole[40 * 2448 + 2352], q);
  EXPECT_EQ(Hex(q + 12, 12), RecorderQ(4, 2, 0, 40));

  CHalvorin_ISO9660FileTreeMode2 mode2(&source.chain);
  mode2.SeekToBegin();
  ASSERT_EQ(mode2.GetSizeInUCHARs(), 70u * 2336);
  const Bytes units = ReadAll(mode2);
  for (int i = 0; i < 70; ++i) {
    EXPECT_EQ(Hex(&units[i * 2336], 8), "00 00 00 00 00 00 00 00");
    EXPECT_EQ(std::memcmp(&units[i * 2336 + 8], &source.data[i * 2048], 2048), 0);
    EXPECT_EQ(std::count(&units[i * 2336 + 2056], &units[(i + 1) * 2336], 0), 280);
  }
}

TEST(RawViewTest, SizesCountWholeInputUnits) {
  struct Case {
    std::size_t source;
    TrackSpec first;
    std::uint64_t pq, pw;
  } cases[] = {{4095, {1, true}, 2368, 2448},
               {4096, {2, true}, 2 * 2368, 2 * 2448},
               {2 * 2448 + 100, {2, true, true}, 2 * 2368, 2 * 2448},
               {3 * 2352 - 1, {3, false}, 2 * 2368, 2 * 2448},
               {3 * 2448 + 2352, {3, false, true}, 3 * 2368, 3 * 2448}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Source source(Bytes(c.source));
    auto tracks = Tracks({c.first});
    EXPECT_EQ(CHalvorin_ISO9660FileTreeRawPQ(&source.chain, 1, 0, tracks.get(), false, false)
                  .GetSizeInUCHARs(),
              c.pq);
    EXPECT_EQ(CHalvorin_ISO9660FileTreeRawRawPW(&source.chain, 1, 0, tracks.get(), false, false)
                  .GetSizeInUCHARs(),
              c.pw);
  }
  // The Mode 2 view keeps a last partial block, padded with zeros.
  Source small(Pattern(4095, 7));
  CHalvorin_ISO9660FileTreeMode2 mode2(&small.chain);
  ASSERT_EQ(mode2.GetSizeInUCHARs(), 2u * 2336);
  const Bytes units = ReadAll(mode2);
  EXPECT_EQ(std::memcmp(&units[8], &small.data[0], 2048), 0);
  EXPECT_EQ(std::memcmp(&units[2336 + 8], &small.data[2048], 2047), 0);
  EXPECT_EQ(units[2336 + 8 + 2047], 0);
  std::uint8_t past[2336];
  EXPECT_TRUE(Catch([&] { mode2.Read(sizeof past, past); }).thrown);  // nothing past the padding
}

TEST(RawViewTest, TrackListsAndTrackNumbersOutOfRangeAreRefused) {
  Source source(Bytes(2048));
  for (std::int32_t count : {0, -1, 101}) {
    auto tracks = Tracks({{1, true}});
    tracks->m__LONG__NumberOfTracks = count;
    const Thrown t = Catch([&] {
      CHalvorin_ISO9660FileTreeRawPQ view(&source.chain, 1, 0, tracks.get(), false, false);
    });
    EXPECT_EQ(t.Status(), 2) << count;
    EXPECT_NE(t.Text().find("Number of tracks"), std::string::npos);
  }
  EXPECT_EQ(Catch([&] {
              CHalvorin_ISO9660FileTreeRawRawPW view(&source.chain, 1, 0, nullptr, false, false);
            }).Status(),
            2);
  // Track numbers are two BCD digits in Q: 1..99.
  struct Numbers {
    std::uint8_t first;
    std::int32_t count;
    bool refused;
  } numbers[] = {{1, 99, false}, {99, 1, false}, {0, 1, true},
                 {99, 2, true},  {1, 100, true}, {255, 1, true}};
  for (const Numbers& n : numbers) {
    SCOPED_TRACE(std::to_string(n.first) + " + " + std::to_string(n.count));
    auto tracks = Tracks({{1, true}});
    tracks->m__LONG__NumberOfTracks = n.count;
    const Thrown t = Catch([&] {
      CHalvorin_ISO9660FileTreeRawPQ view(&source.chain, n.first, 0, tracks.get(), false, false);
    });
    EXPECT_EQ(t.thrown, n.refused);
    if (n.refused) {
      EXPECT_EQ(t.Status(), 2);
      EXPECT_NE(t.Text().find("are not 1..99"), std::string::npos) << t.Text();
    }
  }
}

TEST(RawViewTest, AddressesBeyondTheLastMinuteAreRefused) {
  // Three sectors from the start LBA: the last one (or all) outside -45150..449849, where
  // neither a header nor Q can hold the address.
  struct Case {
    const char* label;
    TrackSpec track;
    std::size_t unit;
    std::int32_t start;
    bool regenerate;
  } cases[] = {{"data past 99:59:74", {3, true}, 2048, 449848, false},
               {"audio past 99:59:74", {3, false}, 2352, 449848, false},
               {"raw, regenerated Q", {3, true, true}, 2448, 449848, true},
               {"data before the lead-in", {3, true}, 2048, -45151, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Source source(Pattern(3 * c.unit, 9));
    auto tracks = Tracks({c.track});
    CHalvorin_ISO9660FileTreeRawPQ view(&source.chain, 1, c.start, tracks.get(), false,
                                        c.regenerate);
    Bytes out(view.GetSizeInUCHARs());
    ASSERT_EQ(out.size(), 3u * 2368);
    const Thrown t = Catch([&] { view.Read(out.size(), out.data()); });
    EXPECT_EQ(t.Status(), 2);
    EXPECT_NE(t.Text().find("CHalvorin_ISO9660FileTreeRawPQ::"), std::string::npos) << t.Text();
    EXPECT_NE(t.Text().find("Absolute LBA " + std::to_string(c.start < 0 ? c.start : 449850) +
                            " is outside -45150..449849"),
              std::string::npos)
        << t.Text();
  }
  // The last sector of 99:59:74 is still written.
  Source source(Pattern(2048, 9));
  auto tracks = Tracks({{1, true}});
  CHalvorin_ISO9660FileTreeRawPQ view(&source.chain, 1, 449849, tracks.get(), false, false);
  const Bytes out = ReadAll(view);
  EXPECT_EQ(Hex(&out[2352 + 7], 3), "99 59 74");
}

TEST(SubchannelTest, PackingMatchesTheRecorderAndWorksInPlace) {
  std::uint8_t pq[16];
  HalvorinI_FormatPQBlock(pq, kHalvorinControlAdrData, 0x01, 0x01, 0, 0, true);
  EXPECT_EQ(Hex(pq, 16), "41 01 01 00 00 00 00 00 02 00 28 32 00 00 00 80");
  for (bool p : {false, true}) {
    pq[15] = p ? kHalvorinPFlag : 0;
    std::uint8_t ours[96], recorder[96];
    PackSubchannelPQ(pq, ours);
    platform::aspi::vr::InterleaveSubchannel(p, pq, recorder);
    EXPECT_EQ(std::memcmp(ours, recorder, 96), 0);
    std::uint8_t channels[96];
    DeinterleaveSubchannelPW(ours, channels);
    EXPECT_EQ(std::count(channels, channels + 12, p ? 0xFF : 0), 12);
    EXPECT_EQ(Hex(channels + 12, 12), Hex(pq, 12));
    EXPECT_EQ(std::count(channels + 24, channels + 96, 0), 72);
    EXPECT_EQ(HalvorinI_IsPSet(ours), p);
  }
  // In place: the 16 bytes become the 96.
  std::uint8_t buffer[96] = {};
  std::memcpy(buffer, pq, 16);
  std::uint8_t expected[96];
  PackSubchannelQ(pq, expected);
  PackSubchannelQ(buffer, buffer);
  EXPECT_EQ(std::memcmp(buffer, expected, 96), 0);
  EXPECT_EQ(Hex(expected, 8), "00 40 00 00 00 00 00 40");  // 0x41, most significant bit first
}

TEST(SubchannelTest, Mode2UnitExpansions) {
  const Bytes blocks = Pattern(2 * 2048, 8);
  Bytes units(2 * 2336, 0xEE);
  CookedToMode2Form1(blocks.data(), units.data(), 2, kHalvorinVideoCDDataSubHeader);
  EXPECT_EQ(Hex(&units[2336], 8), "00 00 08 00 00 00 08 00");
  EXPECT_EQ(std::memcmp(&units[2336 + 8], &blocks[2048], 2048), 0);

  Bytes form2(2 * 2332);
  for (std::size_t i = 0; i < form2.size(); ++i) form2[i] = static_cast<std::uint8_t>(i % 251 + 1);
  Bytes out(2 * 2336, 0xEE);
  Mode2Form2UnitsTo2336(form2.data(), out.data(), 2);
  for (int u = 0; u < 2; ++u) {
    EXPECT_EQ(std::memcmp(&out[u * 2336], &form2[u * 2332], 4), 0);
    EXPECT_EQ(std::memcmp(&out[u * 2336 + 4], &form2[u * 2332], 4), 0);
    EXPECT_EQ(std::memcmp(&out[u * 2336 + 8], &form2[u * 2332 + 8], 2324), 0);
    EXPECT_EQ(Hex(&out[u * 2336 + 2332], 4), "00 00 00 00");
  }
}

// A data CD from a file tree: the raw view's main data, descrambled, as .bin + .cue.
class RawViewToolsTest : public isotest::IsoTest {};

TEST_F(RawViewToolsTest, CdInfoAndBchunkReadTheDescrambledView) {
  WriteFile(dir_.P("src/readme.txt"), std::string(70000, 'r'));
  WriteFile(dir_.P("src/data.bin"), std::string(150000, 'd'));
  ASSERT_EQ(Create(true), 0u);
  ASSERT_EQ(Add(dir_.W("src/readme.txt")), 0u) << text_;
  ASSERT_EQ(Add(dir_.W("src/data.bin")), 0u) << text_;
  ASSERT_EQ(Build(0), 0u) << text_;
  ASSERT_EQ(WriteImage(dir_.P("tree.iso")), 0u) << text_;
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_SeekToBegin(tree_, text_, sizeof text_, &error_), 0u);
  auto* tree = dynamic_cast<CHalvorin_ISO9660FileTree*>(static_cast<CHalvorin_Object*>(tree_));
  ASSERT_NE(tree, nullptr);
  const std::uint64_t sectors = ImageSize() / 2048;
  auto tracks = Tracks({{static_cast<std::int32_t>(sectors), true}});
  CHalvorin_ISO9660FileTreeRawPQ view(tree, 1, 0, tracks.get(), false, false);
  const Bytes raw = ReadAll(view);
  ASSERT_EQ(raw.size(), sectors * 2368);
  std::string bin;
  for (std::uint64_t i = 0; i < sectors; ++i) {
    std::uint8_t sector[2352];
    std::memcpy(sector, &raw[i * 2368], 2352);
    ScrambleSector(sector);
    bin.append(reinterpret_cast<char*>(sector), 2352);
  }
  WriteFile(dir_.P("disc.bin"), bin);
  WriteFile(dir_.P("disc.cue"),
            "FILE \"disc.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
  std::string out;
  EXPECT_EQ(RunCommand("cd-info --no-device-info --no-cddb --cue-file " + dir_.P("disc.cue"), &out),
            0)
      << out;
  // One Mode 1 data track holding the ISO 9660 tree, all of it.
  EXPECT_NE(out.find("Disc mode is listed as: CD-DATA (Mode 1)"), std::string::npos) << out;
  EXPECT_NE(out.find("1: 00:02:00  000000 data"), std::string::npos) << out;
  EXPECT_NE(out.find("CD-ROM with ISO 9660 filesystem"), std::string::npos) << out;
  EXPECT_NE(out.find("ISO 9660: " + std::to_string(sectors) + " blocks, label `QUORVABACKUP'"),
            std::string::npos)
      << out;
  EXPECT_EQ(RunCommand("cd " + dir_.P("") + " && bchunk disc.bin disc.cue track", &out), 0) << out;
  EXPECT_EQ(RunCommand("cmp " + dir_.P("track01.iso") + " " + dir_.P("tree.iso"), &out), 0) << out;
}

}  // namespace
}  // namespace libtest
