// Session-at-once on a virtual CD-R through SessionAtOnce: the cue sheets of the simple cases,
// a session of an ISO tree and sox PCM with gaps read back by cd-info and bchunk, an XA session,
// the raw P-W form from a grabbed image with and without the host-written lead-in, the
// refusals, cancel, the probe, the CD-Text export and the raw-sector routines.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "lib/api/export_frame.h"
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/mastering/iso9660/iso9660_file_tree.h"
#include "lib/mastering/raw/iso9660_file_tree_mode2.h"
#include "lib/mastering/tree/file_chain.h"
#include "lib/mastering/tree/file_objects.h"
#include "platform/aspi/clock.h"
#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/aspi/recorder/coding/vr_subchannel.h"
#include "tests/lib/burner/session_test_support.h"

namespace burnertest {
namespace {

TEST_F(SessionAtOnce, CueSheetsOfTheSimpleCases) {
  Devices({Media::CdR});
  ASSERT_EQ(Create(), 0u);
  std::uint8_t cue[1616];
  std::uint32_t length = 0;
  auto data = List({{nullptr}});
  data->m__SAO_TRACK_ENTRY__Tracks[0].m__LONG__SizeInLBs = 1000;  // 00:13:25 from LBA 1000
  Burner()->CompileCueSheet(data.get(), cue, &length, false, false);
  EXPECT_EQ(length, 32u);
  EXPECT_EQ(Bytes(cue, cue + 32), Bytes({0x41, 0x00, 0x00, 0x14, 0, 0, 0,  0,  //
                                         0x41, 0x01, 0x00, 0x10, 0, 0, 0,  0,  //
                                         0x41, 0x01, 0x01, 0x10, 0, 0, 2,  0,  //
                                         0x41, 0xAA, 0x01, 0x14, 0, 0, 15, 25}));
  auto audio = List({{nullptr, true}, {nullptr, false, false, false, 75, 150}});
  audio->m__SAO_TRACK_ENTRY__Tracks[0].m__LONG__SizeInLBs = 300;
  audio->m__SAO_TRACK_ENTRY__Tracks[1].m__LONG__SizeInLBs = 100;
  Burner()->CompileCueSheet(audio.get(), cue, &length, true, false);
  EXPECT_EQ(length, 48u);
  EXPECT_EQ(Bytes(cue, cue + 48), Bytes({0x01, 0x00, 0x00, 0x01, 0, 0, 0,  0,  //
                                         0x01, 0x01, 0x00, 0x00, 0, 0, 0,  0,  //
                                         0x01, 0x01, 0x01, 0x00, 0, 0, 2,  0,  //
                                         0x41, 0x02, 0x00, 0x20, 0, 0, 6,  0,  //
                                         0x41, 0x02, 0x01, 0x20, 0, 0, 9,  0,  //
                                         0x41, 0xAA, 0x01, 0x24, 0, 0, 12, 25}));
  // Raw P-W with the host-written lead-in: 41h in the lead-in, 40h for the track.
  auto raw = List({{nullptr, false, false, true}});
  raw->m__SAO_TRACK_ENTRY__Tracks[0].m__LONG__SizeInLBs = 75;
  Burner()->CompileCueSheet(raw.get(), cue, &length, false, true);
  EXPECT_EQ(Bytes(cue, cue + 32), Bytes({0x41, 0x00, 0x00, 0x41, 0, 0, 0, 0,  //
                                         0x41, 0x01, 0x00, 0x40, 0, 0, 0, 0,  //
                                         0x41, 0x01, 0x01, 0x40, 0, 0, 2, 0,  //
                                         0x41, 0xAA, 0x01, 0x14, 0, 0, 3, 0}));
}

// A data track with a post-gap, an audio track of 4.5 s (its last sector partial) and a short
// one with an extra pre-gap: cd-info sees the cue sheet's tracks, bchunk gives back the ISO and
// the PCM.
TEST_F(SessionAtOnce, IsoAndPcmTracksReadBackByCdInfoAndBchunk) {
  Devices({Media::CdR});
  ASSERT_EQ(Create(), 0u);
  CHalvorin_FileChain* isoChain = IsoTree(300000);
  MemorySource tone(Pcm("a.raw", "4.5", "440"));
  MemorySource blip(Pcm("b.raw", "1", "880"));
  ASSERT_EQ(tone.Data().size() % 2352, 1176u);
  auto list = List({{isoChain}, {&tone.chain, true}, {&blip.chain, true, false, false, 75, 30}});
  const auto t = Write(list.get());
  ASSERT_FALSE(t.thrown) << t.Text();
  const std::int32_t isoLBs = static_cast<std::int32_t>(iso.size() / 2048);
  EXPECT_EQ(list->m__SAO_TRACK_ENTRY__Tracks[0].m__LONG__SizeInLBs, isoLBs);
  EXPECT_EQ(list->m__SAO_TRACK_ENTRY__Tracks[1].m__LONG__SizeInLBs, 338);  // counted, padded
  EXPECT_EQ(list->m__SAO_TRACK_ENTRY__Tracks[2].m__LONG__SizeInLBs, 75);
  EXPECT_EQ(list->m__LONG__NumberOfTracks, 3);
  // A wait for a full cache at each track; the one producer for the whole session keeps the
  // drive fed across the track boundaries.
  EXPECT_EQ(std::count(events.reasons.begin(), events.reasons.end(), WAIT_CACHE_FULL_BEGIN), 3);
  EXPECT_EQ(std::count(events.reasons.begin(), events.reasons.end(), WAIT_CACHE_FULL_END), 3);
  for (uint32_t r : events.reasons) EXPECT_NE(r, HALVORIN_CALLBACK_REASON_BUFFER_UNDERRUN);
  EXPECT_EQ(at::Recorder(0).CurrentDisc().qMismatches, 0);
  const std::int64_t track2 = isoLBs + 150, track3 = track2 + 338 + 225;
  const std::string info = EjectAndReadCue();
  auto row = [](int n, std::int64_t lsn, const char* kind) {
    char b[64];
    std::snprintf(b, sizeof b, "%3d: %02d:%02d:%02d  %06d %s", n, int((lsn + 150) / 4500),
                  int((lsn + 150) / 75 % 60), int((lsn + 150) % 75), int(lsn), kind);
    return std::string(b);
  };
  EXPECT_NE(info.find(row(1, 0, "data")), std::string::npos) << row(1, 0, "data") << "\n" << info;
  EXPECT_NE(info.find(row(2, track2, "audio")), std::string::npos) << info;
  EXPECT_NE(info.find(row(3, track3, "audio")), std::string::npos) << info;
  const Bytes cueBytes = Slurp(ImageBase() + ".cue");
  const std::string cue(cueBytes.begin(), cueBytes.end());
  EXPECT_NE(cue.find("TRACK 02 AUDIO\n    INDEX 00"), std::string::npos) << cue;
  std::filesystem::create_directories(dir.P("out"));
  Run("cd " + dir.P("home/VirtualRecorders/Recorder0") +
      " && bchunk -w Recorder0-0001.bin Recorder0-0001.cue " + dir.P("out/track"));
  EXPECT_EQ(Slurp(dir.P("out/track01.iso")), iso);
  for (auto [n, pcm] : {std::pair{2, &tone}, std::pair{3, &blip}}) {
    Bytes wav = Slurp(dir.P("out/track0" + std::to_string(n) + ".wav"));
    ASSERT_GT(wav.size(), 44u) << n;
    Bytes samples(wav.begin() + 44, wav.end());
    Bytes expected = pcm->Data();
    expected.resize((expected.size() + 2351) / 2352 * 2352, 0);
    if (n == 3) expected.resize(expected.size() + 30 * 2352, 0);  // the post-gap's silence
    EXPECT_EQ(samples.size(), expected.size()) << n;
    EXPECT_TRUE(samples == expected) << n;
  }
}

TEST_F(SessionAtOnce, XaSessionOfTheModeTwoView) {
  Devices({Media::CdR});
  ASSERT_EQ(Create(), 0u);
  CHalvorin_FileChain* isoChain = IsoTree(100000);
  CHalvorin_ISO9660FileTreeMode2 view(isoChain);
  auto list = List({{&view, false, true}});
  const auto t = Write(list.get(), true);
  ASSERT_FALSE(t.thrown) << t.Text();
  const std::string info = EjectAndReadCue();
  EXPECT_NE(info.find("XA"), std::string::npos) << info;
  const Bytes bin = Slurp(ImageBase() + ".bin");
  const std::size_t blocks = iso.size() / 2048;
  ASSERT_GE(bin.size(), blocks * 2352);
  for (std::size_t i = 0; i < blocks; ++i) {
    const std::uint8_t* s = bin.data() + i * 2352;
    ASSERT_EQ(s[15], 2) << i;
    ASSERT_EQ(std::memcmp(s + 24, iso.data() + i * 2048, 2048), 0) << i;
  }
  const Bytes cue = Slurp(ImageBase() + ".cue");
  EXPECT_NE(std::string(cue.begin(), cue.end()).find("MODE2/2352"), std::string::npos);
}

// The raw P-W form: an image of unscrambled 2448-byte sectors as a grab stores them, written
// as one track with host-made pre-gap sectors; with the flag the host writes the lead-in too.
TEST_F(SessionAtOnce, RawPWImageWithAndWithoutTheLeadIn) {
  for (bool leadIn : {false, true}) {
    SCOPED_TRACE(leadIn ? "lead-in" : "no lead-in");
    Devices({Media::CdR});
    ASSERT_EQ(Create(), 0u);
    CHalvorin_FileChain* isoChain = IsoTree(200000);
    const std::size_t blocks = iso.size() / 2048;
    Bytes image(blocks * 2448);
    for (std::size_t i = 0; i < blocks; ++i) {
      std::uint8_t* s = image.data() + i * 2448;
      vr::EncodeMode1(static_cast<std::int64_t>(i), iso.data() + i * 2048, s);
      vr::QPosition q;
      q.control = 4;
      q.track = 1;
      q.index = 1;
      q.relative = static_cast<std::int64_t>(i);
      q.lba = static_cast<std::int64_t>(i);
      std::uint8_t q12[12];
      vr::FormatQ(q, q12);
      vr::InterleaveSubchannel(false, q12, s + 2352);
    }
    (void)isoChain;
    MemorySource source(image);
    auto list = List({{&source.chain, false, false, true}});
    list->m__LONG__NumberOfRawTracks = 1;
    list->m__LONG__RawTrackSizeInLBs[0] = static_cast<std::int32_t>(blocks);
    at::ClearCdbLog(0);
    const auto t = Write(list.get(), false, leadIn);
    ASSERT_FALSE(t.thrown) << t.Text();
    EXPECT_EQ(at::Recorder(0).CurrentDisc().qMismatches, 0);
    bool leadInWritten = false;
    for (const auto& r : at::CdbLog(0))
      if (r.cdb.at(0) == 0x2A && (r.cdb.at(2) & 0x80)) {
        const std::int32_t lba =
            static_cast<std::int32_t>(r.cdb[2] << 24 | r.cdb[3] << 16 | r.cdb[4] << 8 | r.cdb[5]);
        if (lba < -150) leadInWritten = true;
        if (lba == -11634) {
          EXPECT_EQ(r.dataLength, 16u * 96);
        }
      }
    EXPECT_EQ(leadInWritten, leadIn);
    EjectAndReadCue();
    std::filesystem::create_directories(dir.P("raw"));
    Run("cd " + dir.P("home/VirtualRecorders/Recorder0") +
        " && bchunk Recorder0-0001.bin Recorder0-0001.cue " + dir.P("raw/track"));
    EXPECT_EQ(Slurp(dir.P("raw/track01.iso")), iso);
    Halvorin_Destroy(&burner);
    Halvorin_Destroy(&tree);
    at::ConfigureRecorders({});
    std::filesystem::remove_all(dir.P("home"));
    std::filesystem::remove_all(dir.P("raw"));
  }
}

// A raw P-W audio image behind an extra pre-gap of 20 sectors (which lie from LBA 0 on): the
// host's pause sectors are silence with a Q that counts down to the track, the samples are not
// scrambled, and bchunk gives the PCM back.
TEST_F(SessionAtOnce, RawPWAudioImageBehindASilentPreGap) {
  Devices({Media::CdR});
  ASSERT_EQ(Create(), 0u);
  Bytes pcm = Pcm("raw.raw", "2", "660");
  const std::size_t sectors = pcm.size() / 2352;
  Bytes image(sectors * 2448);
  for (std::size_t i = 0; i < sectors; ++i) {
    std::uint8_t* s = image.data() + i * 2448;
    std::memcpy(s, pcm.data() + i * 2352, 2352);
    vr::QPosition q;
    q.control = 0;
    q.relative = static_cast<std::int64_t>(i);
    q.lba = static_cast<std::int64_t>(i) + 20;
    std::uint8_t q12[12];
    vr::FormatQ(q, q12);
    vr::InterleaveSubchannel(false, q12, s + 2352);
  }
  MemorySource source(image);
  auto list = List({{&source.chain, true, false, true, 20}});
  list->m__LONG__NumberOfRawTracks = 1;
  list->m__LONG__RawTrackSizeInLBs[0] = static_cast<std::int32_t>(sectors);
  const auto t = Write(list.get());
  ASSERT_FALSE(t.thrown) << t.Text();
  EXPECT_EQ(at::Recorder(0).CurrentDisc().qMismatches, 0);
  EjectAndReadCue();
  const Bytes bin = Slurp(ImageBase() + ".bin");
  ASSERT_EQ(bin.size(), (sectors + 20) * 2352);
  EXPECT_TRUE(std::all_of(bin.begin(), bin.begin() + 20 * 2352, [](std::uint8_t b) { return !b; }));
  std::filesystem::create_directories(dir.P("wav"));
  Run("cd " + dir.P("home/VirtualRecorders/Recorder0") +
      " && bchunk -w Recorder0-0001.bin Recorder0-0001.cue " + dir.P("wav/track"));
  const Bytes wav = Slurp(dir.P("wav/track01.wav"));
  ASSERT_GT(wav.size(), 44u);
  pcm.resize(sectors * 2352);
  EXPECT_TRUE(Bytes(wav.begin() + 44, wav.end()) == pcm);
}

// The raw-sector routines: formatted Mode 1 sectors pass the recorder's check, scrambling is
// decided for each sector (audio samples stay as they are), and the Q made in channel order and
// interleaved reads back through the recorder's decoder.
TEST_F(SessionAtOnce, RawSectorRoutines) {
  Devices({Media::CdR});
  ASSERT_EQ(Create(), 0u);
  Bytes buffer(3 * 2448, 0);
  Burner()->FormatRawSectors(buffer.data(), 3, 2448, -150, 1);
  for (int b = 0; b < 2352; ++b) buffer[2448 + b] = static_cast<std::uint8_t>(b * 7 + 1);  // audio
  const Bytes before = buffer;
  Burner()->ScrambleRawSectors(buffer.data(), 3, 2448);
  for (int i : {0, 2}) {
    std::uint8_t sector[2352];
    std::memcpy(sector, buffer.data() + i * 2448, 2352);
    EXPECT_NE(0, std::memcmp(sector, before.data() + i * 2448, 2352)) << i;
    vr::Scramble(sector);
    EXPECT_TRUE(vr::IsValidMode1(sector)) << i;
    EXPECT_EQ(sector[12], 0x00);
    EXPECT_EQ(sector[13], 0x00);
    EXPECT_EQ(sector[14], i);
  }
  EXPECT_EQ(0, std::memcmp(buffer.data() + 2448, before.data() + 2448, 2352));
  CHalvorin_CdvdBurnerGrabber::FormatQSubChannel(2, -150, 4, 1, buffer.data(), true, false, true, 3,
                                                 true);
  CHalvorin_CdvdBurnerGrabber::InterleaveSubChannels(buffer.data(), 3);
  const auto d = vr::DecodeSubchannel(buffer, 96, 2448, 2352);
  ASSERT_EQ(d.frames.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    const auto& q = d.frames[i].q;
    EXPECT_TRUE(d.frames[i].crcOk) << i;
    EXPECT_TRUE(d.frames[i].p) << i;
    EXPECT_EQ(Bytes(q.begin(), q.begin() + 10),
              Bytes({0x41, 0x01, 0x00, 0, 0, static_cast<std::uint8_t>(2 - i), 0, 0, 0,
                     static_cast<std::uint8_t>(i)}))
        << i;
  }
}

TEST_F(SessionAtOnce, DvdIsRefusedBeforeAnythingWithoutEject) {
  Devices({Media::DvdR});
  ASSERT_EQ(Create(), 0u);
  MemorySource source(Bytes(2048 * 10, 1));
  auto list = List({{&source.chain}});
  at::ClearCdbLog(0);
  const auto t = Write(list.get());
  EXPECT_EQ(t.Status(), 10) << t.Text();
  EXPECT_NE(t.Text().find("not valid for SAO"), std::string::npos) << t.Text();
  for (const auto& r : at::CdbLog(0)) {
    EXPECT_NE(r.cdb.at(0), 0x2A);
    EXPECT_NE(r.cdb.at(0), 0x1B);
  }
}

TEST_F(SessionAtOnce, RefusalsBeforeAnythingIsWritten) {
  struct Case {
    const char* name;
    std::function<std::unique_ptr<SAO_TRACK_ARRAY>(MemorySource&, CHalvorin_FileChain&)> list;
    bool appendable;
    std::int32_t status;
    const char* text;
  };
  CHalvorin_MemoryFile hugeFile(nullptr, 0, 800ull << 20);
  CHalvorin_FileChain huge;
  huge.AddChainTail(&hugeFile);
  const std::vector<Case> cases = {
      {"appendable disc", [](MemorySource& s, auto&) { return List({{&s.chain}}); }, true, 10,
       "instead of ( -150 )"},
      {"over capacity", [](MemorySource&, CHalvorin_FileChain& h) { return List({{&h}}); }, false,
       10, "larger the free LBs"},
      {"null source",
       [](MemorySource& s, auto&) {
         return List({{&s.chain}, {nullptr, true}});
       },
       false, 2, "no source"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Devices({Media::CdR});
    ASSERT_EQ(Create(), 0u);
    if (c.appendable) {
      MemorySource first(Bytes(2048 * 300, 7));
      CHalvorin_TrackAtOnceOptions o;
      o.m__PCHalvorin_FileChain__Source = &first.chain;
      o.m__BOOLEAN__IsMultiSession = true;
      Burner()->TrackAtOnce(o);
      Burner()->CloseSession();
    }
    std::string expected = c.text;
    if (c.appendable)  // the text names the address the drive gave
      expected = "NWA not valid, " +
                 std::to_string(at::Recorder(0).CurrentDisc().Writable()->nextWritable) + " " +
                 expected;
    MemorySource source(Bytes(2048 * 20, 3));
    auto list = c.list(source, huge);
    at::ClearCdbLog(0);
    const auto t = Write(list.get());
    EXPECT_EQ(t.Status(), c.status) << t.Text();
    EXPECT_NE(t.Text().find(expected), std::string::npos) << expected << "\n" << t.Text();
    bool ejected = false;
    for (const auto& r : at::CdbLog(0)) {
      EXPECT_NE(r.cdb.at(0), 0x2A);
      EXPECT_NE(r.cdb.at(0), 0x5D);
      ejected = ejected || r.cdb.at(0) == 0x1B;
    }
    EXPECT_TRUE(ejected);
    Halvorin_Destroy(&burner);
    at::ConfigureRecorders({});
    std::filesystem::remove_all(dir.P("home"));
  }
}

TEST_F(SessionAtOnce, EmptySourceIsRefusedWithTwo) {
  Devices({Media::CdR});
  ASSERT_EQ(Create(), 0u);
  MemorySource empty(Bytes{});
  auto list = List({{&empty.chain}});
  const auto t = Write(list.get());
  EXPECT_EQ(t.Status(), 2) << t.Text();
}

TEST_F(SessionAtOnce, CancelEndsWithFourteenAfterSyncAndEject) {
  Devices({Media::CdR});
  // A cache of 1 MB: the cancel comes while the drive is being written.
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, &Record,
                                              &events, 0, 0, 0, 0, 1),
            0u);
  void* handle = burner;
  std::atomic<int> reads{0};
  // Past the objects that fill the cache, so that the drive has been written.
  const int cancelAt = Burner()->GetCacheManager()->GetCount() + 20;
  MemorySource source(Bytes(2352 * 26 * (cancelAt + 20), 0), [&](std::uint64_t) {
    if (++reads == cancelAt) Halvorin_CdvdBurnerGrabber_Cancel(handle);
  });
  auto list = List({{&source.chain, true}, {&source.chain, true}});
  at::ClearCdbLog(0);
  const auto t = Write(list.get());
  EXPECT_EQ(t.Status(), 14) << t.Text();
  bool synced = false, ejected = false;
  for (const auto& r : at::CdbLog(0)) {
    if (r.cdb.at(0) == 0x35) synced = true;
    if (r.cdb.at(0) == 0x1B) ejected = synced;
  }
  EXPECT_TRUE(ejected);
}

TEST_F(SessionAtOnce, ProbeReportsSessionAtOnceOnCdR) {
  Devices({Media::CdR});
  ASSERT_EQ(Create(), 0u);
  uint8_t tao = 0, sao = 0, daoPQ = 0, daoPW = 0;
  ASSERT_EQ(
      Halvorin_CdvdBurnerGrabber_ProbeSupportedWriteModes(BURNER_ARGS, &tao, &sao, &daoPQ, &daoPW),
      0u)
      << text;
  EXPECT_EQ(tao, 1);
  EXPECT_EQ(sao, 1);
}

TEST_F(SessionAtOnce, CdTextExportSetsTheBurnersTexts) {
  Devices({Media::CdR});
  ASSERT_EQ(Create(), 0u);
  char why[256] = {};
  uint32_t system = 0;
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_SetCDTextItem(burner, 1, "The Band", "A Song", why,
                                                     sizeof why, &system),
            0u);
  EXPECT_STREQ(Burner()->GetCDText().GetEntry(1)->m__CHAR__Title, "A_Song");
  EXPECT_STREQ(Burner()->GetCDText().GetEntry(1)->m__CHAR__Performer, "The_Band");
  EXPECT_EQ(
      Halvorin_CdvdBurnerGrabber_SetCDTextItem(burner, 100, "x", "y", why, sizeof why, &system),
      5u);
  EXPECT_EQ(system, 87u);
  EXPECT_NE(std::string(why).find("AddTrackInfo(...) failed, status 87"), std::string::npos) << why;
  EXPECT_EQ(
      Halvorin_CdvdBurnerGrabber_SetCDTextItem(nullptr, 1, "x", "y", why, sizeof why, &system), 2u);
}

}  // namespace
}  // namespace burnertest
