// Rules session- and disc-at-once share: at most 99 tracks, refused before the drive hears a
// command (99 written and read back); the session format follows the tracks (an audio list
// with the XA flag is CD-DA); a full cache awaited before every track and progress only when
// its interval has passed; the texts of the raw session export's early failures and of a
// track's wait for the cache.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "halvorin.h"
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/mastering/raw/iso9660_file_tree_raw.h"
#include "tests/aspi/aspi_test_support.h"
#include "tests/lib/burner/read_back_support.h"

namespace burnertest {
namespace {

class WriteModeRules : public SessionAtOnce {
 protected:
  // A fresh recorder with a blank CD-R, a burner of the given cache (0: the default).
  void Fresh(std::uint32_t cacheMB = 0) {
    if (burner) Halvorin_Destroy(&burner);
    at::ConfigureRecorders({});
    std::filesystem::remove_all(dir.P("home"));
    std::filesystem::remove_all(dir.P("out"));
    Devices({Media::CdR});
    events = {};
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure,
                                                &Record, &events, 0, 0, 0, 0, cacheMB),
              0u)
        << text;
  }
  SAO_TRACK_ARRAY* Sao(const std::vector<std::string>& names) {
    std::memset(&sao, 0, sizeof sao);
    for (const std::string& n : names)
      std::snprintf(sao.m__SAO_TRACK_ENTRY__Tracks[sao.m__LONG__NumberOfTracks++].m__CHAR__FileName,
                    260, "%s", dir.W(n).c_str());
    return &sao;
  }
  TRACK_ARRAY* Dao(const std::vector<std::string>& names) {
    std::memset(&dao, 0, sizeof dao);
    for (const std::string& n : names)
      std::snprintf(dao.m__TRACK_ENTRY__Tracks[dao.m__LONG__NumberOfTracks++].m__CHAR__FileName,
                    260, "%s", dir.W(n).c_str());
    return &dao;
  }
  // A WAV file of sox's tone and its PCM (behind sox's 44-byte header).
  Bytes Wav(const std::string& name, const std::string& seconds, const std::string& tone) {
    Run("sox -n -r 44100 -c 2 -b 16 " + dir.P(name) + " synth " + seconds + " sine " + tone +
        " vol 0.5");
    const Bytes wav = Slurp(dir.P(name));
    EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
    return Bytes(wav.begin() + 44, wav.end());
  }
  // The disc type of READ DISC INFORMATION: 00h CD-DA or CD-ROM, 20h CD-ROM XA.
  std::uint8_t DiscType() {
    const aspitest::Reply r = aspitest::Cmd(0, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
    EXPECT_TRUE(r.Good()) << aspitest::SenseText(r);
    return r.Good() ? r.data.at(8) : 0xFF;
  }
  // The PCM of bchunk's WAV of track n, behind its 44-byte header.
  Bytes TrackPcm(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "out/track%02d.wav", n);
    const Bytes wav = Slurp(dir.P(name));
    return wav.size() > 44 ? Bytes(wav.begin() + 44, wav.end()) : Bytes{};
  }
  std::int64_t Count(std::uint32_t reason) {
    return std::count(events.reasons.begin(), events.reasons.end(), reason);
  }
  SAO_TRACK_ARRAY sao;
  TRACK_ARRAY dao;
};

// Track numbers are two BCD digits: 100 tracks are refused with 2 in every form before any
// command, whoever calls.
TEST_F(WriteModeRules, HundredTracksAreRefusedBeforeAnyCommand) {
  Fresh();
  MemorySource source(Bytes(2352 * 300, 1));
  struct Row {
    const char* name;
    std::function<libtest::Thrown()> call;
  };
  const Row rows[] = {
      {"session",
       [&] {
         auto list = List({{&source.chain, true}});
         list->m__LONG__NumberOfTracks = 100;
         return Write(list.get());
       }},
      {"raw session of 100 tracks in the image",
       [&] {
         auto list = List({{&source.chain, false, false, true}});
         list->m__LONG__NumberOfRawTracks = 100;
         return Write(list.get());
       }},
      {"disc PQ",
       [&] {
         TRACK_ARRAY tracks{};
         tracks.m__LONG__NumberOfTracks = 100;
         return libtest::Catch(
             [&] { Burner()->DiscAtOncePQ(&source.chain, false, false, false, 0, 0, &tracks); });
       }},
      {"disc raw P-W",
       [&] {
         TRACK_ARRAY tracks{};
         tracks.m__LONG__NumberOfTracks = 100;
         return libtest::Catch(
             [&] { Burner()->DiscAtOnceRawPW(&source.chain, false, false, false, 0, 0, &tracks); });
       }},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    at::ClearCdbLog(0);
    const libtest::Thrown t = r.call();
    EXPECT_EQ(t.Status(), 2) << t.Text();
    EXPECT_NE(t.Text().find("1..99"), std::string::npos) << t.Text();
    EXPECT_TRUE(at::CdbLog(0).empty()) << at::CdbLog(0).size() << " commands";
  }
}

// The most a disc holds: 99 tracks, one file listed 99 times, written and read back.
TEST_F(WriteModeRules, NinetyNineTracksAreWrittenAndReadBack) {
  Fresh();
  const Bytes pcm = Wav("tone.wav", "1", "523");
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_SessionAtOnce(
                BURNER_ARGS, Sao(std::vector<std::string>(99, "tone.wav")), 0, 0, 0, 0, 0),
            0u)
      << text;
  const std::string info = EjectAndReadCue();
  EXPECT_NE(info.find(" 99: "), std::string::npos) << info;
  EXPECT_EQ(info.find("100: "), std::string::npos) << info;
  BchunkRaw(ImageBase(), dir.P("out"));
  Bytes padded = pcm;
  padded.resize((pcm.size() + 2351) / 2352 * 2352, 0);
  for (int n : {1, 2, 50, 98}) EXPECT_TRUE(TrackPcm(n) == padded) << n;
  Bytes last = padded;  // the post-gap's silence after the last track
  last.resize(last.size() + 600 * 2352, 0);
  EXPECT_TRUE(TrackPcm(99) == last);
}

// The XA flag makes data tracks Mode 2; a list of audio tracks alone stays CD-DA in each form
// (session format 00h in page 05h, disc type 00h in the lead-in's A0), its PCM read back as it
// was. A data track under the flag makes the disc CD-ROM XA, its blocks Mode 2 Form 1.
TEST_F(WriteModeRules, TheDiscTypeFollowsTheTracks) {
  const Bytes a = Wav("a.wav", "2", "440"), b = Wav("b.wav", "1.5", "660");
  const std::string data(2048 * 100, 'd');
  WriteFile(dir.P("data.bin"), data);
  struct Row {
    const char* name;
    std::function<HALVORIN_STATUS()> write;
    std::uint8_t type;
    bool isData;     // track 1 is data.bin, the audio tracks follow it
    bool isSession;  // the last track is followed by the session's post-gap of 600 sectors
  };
  const Row rows[] = {
      {"session, audio",
       [&] {
         return Halvorin_CdvdBurnerGrabber_SessionAtOnce(BURNER_ARGS, Sao({"a.wav", "b.wav"}), 1, 0,
                                                         0, 0, 0);
       },
       0x00, false, true},
      {"disc PQ, audio",
       [&] {
         return Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(
             BURNER_ARGS, Dao({"a.wav", "b.wav"}), 1, 0, 0, 0, 0, 0);
       },
       0x00, false, false},
      {"disc raw P-W, audio",
       [&] {
         return Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile(
             BURNER_ARGS, Dao({"a.wav", "b.wav"}), 1, 0, 0, 0, 0, 0);
       },
       0x00, false, false},
      {"session, data and audio",
       [&] {
         return Halvorin_CdvdBurnerGrabber_SessionAtOnce(
             BURNER_ARGS, Sao({"data.bin", "a.wav", "b.wav"}), 1, 0, 0, 0, 0);
       },
       0x20, true, true},
      {"disc PQ, data",
       [&] {
         return Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(BURNER_ARGS, Dao({"data.bin"}), 1,
                                                                0, 0, 0, 0, 0);
       },
       0x20, true, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Fresh();
    ASSERT_EQ(r.write(), 0u) << text;
    EXPECT_EQ(DiscType(), r.type);
    EjectAndReadCue();
    BchunkRaw(ImageBase(), dir.P("out"));
    if (r.isData) {
      // Its 100 blocks; the pause of an audio track behind it is no data sector.
      Bytes raw = Slurp(dir.P("out/track01.iso"));
      ASSERT_GE(raw.size(), 100u * 2352);
      raw.resize(100 * 2352);
      std::string why;
      const Bytes blocks = Form1UserData(raw, &why);
      EXPECT_EQ(why, "");
      EXPECT_TRUE(blocks == Bytes(data.begin(), data.end()));
    }
    const bool isAudio = !r.isData || r.isSession;
    for (int k = 0; isAudio && k < 2; ++k) {
      const int n = (r.isData ? 2 : 1) + k;
      Bytes expected = k == 0 ? a : b;
      expected.resize((expected.size() + 2351) / 2352 * 2352, 0);
      if (k == 1 && r.isSession) expected.resize(expected.size() + 600 * 2352, 0);
      EXPECT_TRUE(TrackPcm(n) == expected) << n;
    }
  }
}

// A session waits for a full cache before each track (reasons 6 and 7 around the wait, before
// that track's first write) and reports progress only when its interval has passed; so does a
// disc, once. With the drive's clock standing still, no interval passes.
TEST_F(WriteModeRules, CacheAndProgressReportsAsTheyAreDue) {
  for (bool clockRuns : {false, true}) {
    SCOPED_TRACE(clockRuns ? "clock runs" : "clock stands");
    // Sources larger than the cache: they are read while the drive is written, and each read
    // takes the drive's clock on.
    Fresh(1);
    const std::size_t more = Burner()->GetCacheSizeInUCHARs() + (2 << 20);
    auto fake = clock;
    auto tick = [&](std::uint64_t) {
      if (clockRuns) fake->Advance(std::chrono::milliseconds(400));
    };
    const std::int64_t dataLBs = static_cast<std::int64_t>(more / 2048);
    MemorySource data(Bytes(more / 2048 * 2048, 3), tick), one(Bytes(2352 * 600, 4), tick),
        two(Bytes(2352 * 500 + 7, 5), tick);
    std::vector<std::size_t> writesAtWait;
    events.onReason = [&](std::uint32_t reason) {
      if (reason != WAIT_CACHE_FULL_BEGIN) return;
      std::size_t n = 0;
      for (const auto& r : at::CdbLog(0)) n += r.cdb.at(0) == 0x2A;
      writesAtWait.push_back(n);
    };
    auto list = List({{&data.chain}, {&one.chain, true}, {&two.chain, true}});
    at::ClearCdbLog(0);
    const auto t = Write(list.get());  // progress every second
    ASSERT_FALSE(t.thrown) << t.Text();
    EXPECT_EQ(Count(WAIT_CACHE_FULL_BEGIN), 3);
    EXPECT_EQ(Count(WAIT_CACHE_FULL_END), 3);
    ASSERT_EQ(writesAtWait.size(), 3u);
    // The first before any write, each of the others after the track before it.
    EXPECT_EQ(writesAtWait[0], 0u);
    EXPECT_LT(writesAtWait[0], writesAtWait[1]);
    EXPECT_LT(writesAtWait[1], writesAtWait[2]);
    for (std::size_t i = 0; i + 1 < events.reasons.size(); ++i) {
      if (events.reasons[i] == WAIT_CACHE_FULL_BEGIN) {
        EXPECT_EQ(events.reasons[i + 1], WAIT_CACHE_FULL_END) << i;
      }
    }
    const std::int64_t sessionReports = Count(HALVORIN_CALLBACK_REASON_WRITE_PROGRESS);
    if (clockRuns) {
      EXPECT_GT(sessionReports, 0);
      EXPECT_EQ(events.lastTotal, dataLBs + 600 + 501);
    } else {
      EXPECT_EQ(sessionReports, 0);
    }

    Fresh(1);
    MemorySource cooked(Bytes(more / 2048 * 2048, 6), tick);
    auto tracks = std::make_unique<TRACK_ARRAY>();
    std::memset(tracks.get(), 0, sizeof *tracks);
    tracks->m__LONG__NumberOfTracks = 1;
    tracks->m__TRACK_ENTRY__Tracks[0].m__LONG__TrackSizeInLBs = static_cast<std::int32_t>(dataLBs);
    tracks->m__TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsData = 1;
    CHalvorin_ISO9660FileTreeRawPQ view(&cooked.chain, 1, 0, tracks.get(), false, false);
    const auto d = libtest::Catch(
        [&] { Burner()->DiscAtOncePQ(&view, false, false, false, 1, 0, tracks.get()); });
    ASSERT_FALSE(d.thrown) << d.Text();
    EXPECT_EQ(Count(WAIT_CACHE_FULL_BEGIN), 1);
    if (clockRuns) {
      EXPECT_GT(Count(HALVORIN_CALLBACK_REASON_WRITE_PROGRESS), 0);
    } else {
      EXPECT_EQ(Count(HALVORIN_CALLBACK_REASON_WRITE_PROGRESS), 0);
    }
  }
}

// The raw session export's failures before the drive is touched, in their own words: the path
// of the descriptor, and the descriptor itself.
TEST_F(WriteModeRules, RawSessionTextsOfPathAndDescriptor) {
  Fresh();
  struct Row {
    std::string descriptor;
    std::string text;
  };
  const Row rows[] = {
      {"",
       "\nHalvorin:Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW(): GetFullPathName( ... ) "
       "failed, status 22 ( 0x16 )!!!\n"},
      {dir.W("missing.mds"),
       "\nHalvorin:Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW(): HalvorinI_ParseMDS( ... ) "
       "failed, status 2 ( 0x2 )!!!\n"},
  };
  for (const Row& r : rows) {
    at::ClearCdbLog(0);
    EXPECT_EQ(Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW(BURNER_ARGS, r.descriptor.c_str(), 0,
                                                               0, 0, 0),
              5u);
    EXPECT_EQ(std::string(text), r.text);
    EXPECT_TRUE(at::CdbLog(0).empty());
  }
}

// The wait for a full cache is a step of each track, in the track's words: a cancel while the
// second track waits ends the write with 14 there, after the first track's data.
TEST_F(WriteModeRules, ACancelWhileATrackWaitsForTheCacheEndsThatStep) {
  Fresh();
  void* handle = burner;
  int waits = 0;
  events.onReason = [&](std::uint32_t reason) {
    if (reason == WAIT_CACHE_FULL_BEGIN && ++waits == 2) Halvorin_CdvdBurnerGrabber_Cancel(handle);
  };
  MemorySource data(Bytes(2048 * 300, 8)), audio(Bytes(2352 * 300, 9));
  auto list = List({{&data.chain}, {&audio.chain, true}});
  at::ClearCdbLog(0);
  const auto t = Write(list.get());
  EXPECT_EQ(t.Status(), 14) << t.Text();
  EXPECT_EQ(t.Text(), "CHalvorin_CdvdBurnerGrabber::SessionAtOnceTrack(): Cancel set!!!");
  EXPECT_EQ(waits, 2);
  EXPECT_EQ(Count(WAIT_CACHE_FULL_END), 1);
  // Track 1 was written, then the cache synchronised and the disc ejected.
  std::int64_t written = 0;
  bool synced = false, ejected = false;
  for (const auto& r : at::CdbLog(0)) {
    if (r.cdb.at(0) == 0x2A) written += r.cdb[7] << 8 | r.cdb[8];
    synced = synced || r.cdb.at(0) == 0x35;
    ejected = ejected || (synced && r.cdb.at(0) == 0x1B);
  }
  EXPECT_EQ(written, 150 + 300);
  EXPECT_TRUE(ejected);
}

}  // namespace
}  // namespace burnertest
