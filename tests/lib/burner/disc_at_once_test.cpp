// Disc-at-once on a virtual CD-R through DiscAtOncePQ and DiscAtOnceRawPW: an ISO tree (Mode 1
// and XA) and three sox PCM tracks written through the raw views, the lead-in the recorder
// decodes into its TOC, the images read back by cd-info and bchunk, CD-Text in the raw P-W
// lead-in only, the probe, the refusals before anything is written (lead-in starts that are
// no lead-in among them), a partial last sector, a dry cache, a failure in the lead-in and a
// cancel in the program area.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/mastering/raw/iso9660_file_tree_raw.h"
#include "lib/mastering/tree/file_chain.h"
#include "lib/mastering/tree/file_objects.h"
#include "tests/lib/burner/session_test_support.h"

namespace burnertest {
namespace {

constexpr std::int64_t kLeadIn = 11484;  // from 97:26:66 (LBA -11634) to -151

struct TrackSpec {
  std::int32_t size;
  bool data;
};

std::unique_ptr<TRACK_ARRAY> Tracks(std::initializer_list<TrackSpec> specs) {
  auto list = std::make_unique<TRACK_ARRAY>();
  std::memset(list.get(), 0, sizeof *list);
  std::int32_t start = 0;
  for (const TrackSpec& s : specs) {
    TRACK_ENTRY& e = list->m__TRACK_ENTRY__Tracks[list->m__LONG__NumberOfTracks++];
    e.m__LONG__TrackSizeInLBs = s.size;
    e.m__LONG__TrackStartInLBs = start;
    e.m__BOOLEAN__IsData = s.data;
    start += s.size;
  }
  return list;
}

struct WriteCounts {
  std::int64_t first = 0, sectors = 0, leadInPackets = 0, leadInLast = 0;
};

// What the WRITE(10)s of the log covered.
WriteCounts CountWrites() {
  WriteCounts c;
  bool any = false;
  for (const auto& r : at::CdbLog(0)) {
    if (r.cdb.at(0) != 0x2A) continue;
    const std::int32_t lba =
        static_cast<std::int32_t>(r.cdb[2] << 24 | r.cdb[3] << 16 | r.cdb[4] << 8 | r.cdb[5]);
    const std::int64_t n = r.cdb[7] << 8 | r.cdb[8];
    if (!any) c.first = lba, any = true;
    c.sectors += n;
    if (lba < -150 && n == 16) ++c.leadInPackets;
    if (lba < -150 && n != 16) c.leadInLast = n;
  }
  return c;
}

class DiscAtOnce : public SessionAtOnce {
 protected:
  libtest::Thrown Dao(bool rawPW, CHalvorin_FileChain* source, TRACK_ARRAY* list, bool xa) {
    return libtest::Catch([&] {
      if (rawPW)
        Burner()->DiscAtOnceRawPW(source, xa, false, false, 1, 0, list);
      else
        Burner()->DiscAtOncePQ(source, xa, false, false, 1, 0, list);
    });
  }
  // The raw view of the mode over a source of the list's tracks.
  std::unique_ptr<CHalvorin_ISO9660FileTreeRaw> View(bool rawPW, CHalvorin_FileChain* source,
                                                     const TRACK_ARRAY* list, bool xa) {
    if (rawPW)
      return std::make_unique<CHalvorin_ISO9660FileTreeRawRawPW>(source, 1, 0, list, xa, false);
    return std::make_unique<CHalvorin_ISO9660FileTreeRawPQ>(source, 1, 0, list, xa, false);
  }
  std::string Row(int n, std::int64_t lsn, const char* kind) {
    char b[64];
    std::snprintf(b, sizeof b, "%3d: %02d:%02d:%02d  %06d %s", n, int((lsn + 150) / 4500),
                  int((lsn + 150) / 75 % 60), int((lsn + 150) % 75), int(lsn), kind);
    return b;
  }
  void Reset() {
    Halvorin_Destroy(&burner);
    if (tree) Halvorin_Destroy(&tree);
    at::ConfigureRecorders({});
    std::filesystem::remove_all(dir.P("home"));
    std::filesystem::remove_all(dir.P("out"));
  }
};

// Both modes, Mode 1 and XA: the lead-in from 97:26:66 in 717 packets of 16 and one of 12,
// lead-in + 150 + program + 6,750 sectors, the TOC decoded as the list says, no Q mismatch,
// and bchunk gives back the ISO.
TEST_F(DiscAtOnce, IsoTreeInBothModesReadsBackThroughCdInfoAndBchunk) {
  for (bool rawPW : {false, true})
    for (bool xa : {false, true}) {
      SCOPED_TRACE(std::string(rawPW ? "DAO_RAW_PW" : "DAO_PQ") + (xa ? " XA" : " Mode 1"));
      Devices({Media::CdR});
      ASSERT_EQ(Create(), 0u);
      CHalvorin_FileChain* isoChain = IsoTree(250000);
      const std::int32_t lbs = static_cast<std::int32_t>(iso.size() / 2048);
      auto list = Tracks({{lbs, true}});
      auto view = View(rawPW, isoChain, list.get(), xa);
      at::ClearCdbLog(0);
      const auto t = Dao(rawPW, view.get(), list.get(), xa);
      ASSERT_FALSE(t.thrown) << t.Text();
      EXPECT_EQ(Burner()->GetLastWriteMode(), kHalvorinWriteModeDiscAtOnce);
      const WriteCounts c = CountWrites();
      EXPECT_EQ(c.first, -11634);
      EXPECT_EQ(c.leadInPackets, 717);
      EXPECT_EQ(c.leadInLast, 12);
      EXPECT_EQ(c.sectors, kLeadIn + 150 + lbs + 6750);
      const auto disc = at::Recorder(0).CurrentDisc();
      EXPECT_EQ(disc.qMismatches, 0);
      ASSERT_EQ(disc.tracks.size(), 1u);
      EXPECT_EQ(disc.tracks[0].start, 0);
      EXPECT_EQ(disc.tracks[0].written, lbs);
      EXPECT_EQ(disc.tracks[0].trackMode, 4);
      EXPECT_FALSE(disc.tracks[0].damaged);
      ASSERT_EQ(disc.sessions.size(), 1u);
      EXPECT_EQ(disc.sessions[0].leadOut, lbs);
      EXPECT_EQ(disc.sessions[0].format, xa ? 0x20 : 0x00);
      EXPECT_TRUE(disc.finalized);
      EXPECT_TRUE(disc.cdText.empty());
      TOC_INFORMATION toc{};
      ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetTOCInformation(BURNER_ARGS, &toc), 0u) << text;
      EXPECT_EQ(toc.m__TOC_TRACK_ENTRY__Tracks[0].m__LONG__StartLBA, 0);
      const std::string info = EjectAndReadCue();
      EXPECT_NE(info.find(Row(1, 0, xa ? "XA" : "data")), std::string::npos) << info;
      EXPECT_NE(info.find(Row(170, lbs, "leadout")), std::string::npos) << info;
      EXPECT_EQ(info.find("CD-TEXT for Disc"), std::string::npos) << info;
      std::filesystem::create_directories(dir.P("out"));
      Run("cd " + dir.P("home/VirtualRecorders/Recorder0") +
          " && bchunk -w Recorder0-0001.bin Recorder0-0001.cue " + dir.P("out/track"));
      EXPECT_TRUE(Slurp(dir.P("out/track01.iso")) == iso);
      Reset();
    }
}

// Three sox tones as audio tracks, each padded to whole sectors: both modes decode the TOC of
// three audio tracks; the raw P-W lead-in carries the CD-Text cd-info shows, the PQ one none.
TEST_F(DiscAtOnce, ThreePcmTracksWithCdTextInTheRawPWLeadIn) {
  const Bytes pcm[3] = {Pcm("a.raw", "2.3", "440"), Pcm("b.raw", "1.1", "660"),
                        Pcm("c.raw", "3", "880")};
  for (bool rawPW : {false, true}) {
    SCOPED_TRACE(rawPW ? "DAO_RAW_PW" : "DAO_PQ");
    Devices({Media::CdR});
    ASSERT_EQ(Create(), 0u);
    std::vector<Bytes> padded;
    CHalvorin_FileChain chain;
    std::vector<std::unique_ptr<CHalvorin_MemoryFile>> files;
    for (const Bytes& p : pcm) {
      padded.push_back(p);
      padded.back().resize((p.size() + 2351) / 2352 * 2352, 0);
    }
    for (Bytes& p : padded) {
      files.push_back(std::make_unique<CHalvorin_MemoryFile>(p.data(), p.size()));
      chain.AddChainTail(files.back().get());
    }
    chain.SeekToBegin();
    const auto sizes = [&](int i) { return static_cast<std::int32_t>(padded[i].size() / 2352); };
    auto list = Tracks({{sizes(0), false}, {sizes(1), false}, {sizes(2), false}});
    Burner()->AddCDTextForTrack(0, "Quorva Band", "Disc Of Tones");
    Burner()->AddCDTextForTrack(1, "Ann", "First Tone");
    Burner()->AddCDTextForTrack(2, "Bob", "Second Tone");
    Burner()->AddCDTextForTrack(3, "Cy", "Third Tone");
    auto view = View(rawPW, &chain, list.get(), false);
    at::ClearCdbLog(0);
    const auto t = Dao(rawPW, view.get(), list.get(), false);
    ASSERT_FALSE(t.thrown) << t.Text();
    const std::int64_t total = sizes(0) + sizes(1) + sizes(2);
    EXPECT_EQ(CountWrites().sectors, kLeadIn + 150 + total + 6750);
    const auto disc = at::Recorder(0).CurrentDisc();
    EXPECT_EQ(disc.qMismatches, 0);
    ASSERT_EQ(disc.tracks.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(disc.tracks[i].start, list->m__TRACK_ENTRY__Tracks[i].m__LONG__TrackStartInLBs);
      EXPECT_EQ(disc.tracks[i].trackMode, 0);
      EXPECT_EQ(disc.tracks[i].form, vr::SectorForm::Audio);
    }
    EXPECT_EQ(disc.sessions.at(0).leadOut, total);
    EXPECT_EQ(disc.sessions.at(0).format, 0x00);
    EXPECT_EQ(disc.cdText.empty(), !rawPW);
    if (rawPW) {
      // READ TOC format 5 answers the packs the lead-in's R-W carried: the burner's own.
      const CHalvorin_CDText& packs = Burner()->GetCDText();
      EXPECT_TRUE(disc.cdText ==
                  Bytes(packs.GetPackData(), packs.GetPackData() + packs.GetPackDataSize()));
    }
    const std::string info = EjectAndReadCue();
    EXPECT_NE(info.find(Row(1, 0, "audio")), std::string::npos) << info;
    EXPECT_NE(info.find(Row(2, sizes(0), "audio")), std::string::npos) << info;
    EXPECT_NE(info.find(Row(3, sizes(0) + sizes(1), "audio")), std::string::npos) << info;
    if (rawPW) {
      for (const char* line :
           {"CD-TEXT for Disc:\n\tTITLE: Disc_Of_Tones\n\tPERFORMER: Quorva_Band",
            "CD-TEXT for Track  1:\n\tTITLE: First_Tone\n\tPERFORMER: Ann",
            "CD-TEXT for Track  2:\n\tTITLE: Second_Tone\n\tPERFORMER: Bob",
            "CD-TEXT for Track  3:\n\tTITLE: Third_Tone\n\tPERFORMER: Cy"})
        EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
    } else {
      EXPECT_EQ(info.find("CD-TEXT for Disc"), std::string::npos) << info;
      EXPECT_FALSE(std::filesystem::exists(ImageBase() + ".cdt"));
    }
    std::filesystem::create_directories(dir.P("out"));
    Run("cd " + dir.P("home/VirtualRecorders/Recorder0") +
        " && bchunk -w Recorder0-0001.bin Recorder0-0001.cue " + dir.P("out/track"));
    for (int i = 0; i < 3; ++i) {
      const Bytes wav = Slurp(dir.P("out/track0" + std::to_string(i + 1) + ".wav"));
      ASSERT_GT(wav.size(), 44u) << i;
      EXPECT_TRUE(Bytes(wav.begin() + 44, wav.end()) == padded[i]) << i;
    }
    Reset();
  }
}

TEST_F(DiscAtOnce, ProbeReportsBothModesOnCdR) {
  Devices({Media::CdR});
  ASSERT_EQ(Create(), 0u);
  uint8_t tao = 0, sao = 0, daoPQ = 0, daoPW = 0;
  ASSERT_EQ(
      Halvorin_CdvdBurnerGrabber_ProbeSupportedWriteModes(BURNER_ARGS, &tao, &sao, &daoPQ, &daoPW),
      0u)
      << text;
  EXPECT_EQ(daoPQ, 1);
  EXPECT_EQ(daoPW, 1);
}

// Refused before a single WRITE: a DVD (without eject), an appendable CD, a list of data and
// audio, a program area larger than the disc.
TEST_F(DiscAtOnce, RefusalsBeforeAnythingIsWritten) {
  struct Case {
    const char* name;
    Media media;
    bool appendable, mixed, huge;
    std::int32_t status;
    const char* text;
    bool ejects;
  };
  const Case cases[] = {
      {"DVD", Media::DvdR, false, false, false, 10, "not valid for DAO", false},
      {"appendable CD", Media::CdR, true, false, false, 10, "not empty", true},
      {"mixed list", Media::CdR, false, true, false, 2, "mixed mode", true},
      {"over capacity", Media::CdR, false, false, true, 10, "larger the free LBs", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Devices({c.media});
    ASSERT_EQ(Create(), 0u);
    if (c.appendable) {
      MemorySource first(Bytes(2048 * 300, 7));
      CHalvorin_TrackAtOnceOptions o;
      o.m__PCHalvorin_FileChain__Source = &first.chain;
      o.m__BOOLEAN__IsMultiSession = true;
      Burner()->TrackAtOnce(o);
      Burner()->CloseSession();
    }
    const std::int32_t lbs = c.huge ? 360000 : 40;
    CHalvorin_MemoryFile file(nullptr, 0, std::uint64_t{2048} * lbs);
    CHalvorin_FileChain chain;
    chain.AddChainTail(&file);
    auto list = c.mixed ? Tracks({{20, true}, {20, false}}) : Tracks({{lbs, true}});
    auto view = View(true, &chain, list.get(), false);
    at::ClearCdbLog(0);
    const auto t = Dao(true, view.get(), list.get(), false);
    EXPECT_EQ(t.Status(), c.status) << t.Text();
    EXPECT_NE(t.Text().find(c.text), std::string::npos) << t.Text();
    bool ejected = false;
    for (const auto& r : at::CdbLog(0)) {
      EXPECT_NE(r.cdb.at(0), 0x2A);
      ejected = ejected || r.cdb.at(0) == 0x1B;
    }
    EXPECT_EQ(ejected, c.ejects);
    Reset();
  }
}

// A lead-in start that is no lead-in of a blank disc: a time before 90:00:00 (the lead-in would
// lie behind LBA 0, as far as 404,849) or fields out of range. Refused before any WRITE.
TEST_F(DiscAtOnce, LeadInStartsThatAreNoLeadInAreRefused) {
  const std::array<std::uint8_t, 3> starts[] = {
      {0, 2, 0}, {89, 59, 74}, {97, 60, 0}, {97, 26, 75}, {0xFF, 0xFF, 0xFF}};
  for (const auto& msf : starts) {
    SCOPED_TRACE(std::to_string(msf[0]) + ":" + std::to_string(msf[1]) + ":" +
                 std::to_string(msf[2]));
    Devices({Media::CdR});
    ASSERT_EQ(Create(), 0u);
    at::InjectLeadInStart(0, msf);
    MemorySource source(Bytes(2048 * 40, 3));
    auto list = Tracks({{40, true}});
    auto view = View(false, &source.chain, list.get(), false);
    at::ClearCdbLog(0);
    const auto t = Dao(false, view.get(), list.get(), false);
    EXPECT_EQ(t.Status(), 10) << t.Text();
    EXPECT_NE(t.Text().find("is not a lead-in"), std::string::npos) << t.Text();
    for (const auto& r : at::CdbLog(0)) EXPECT_NE(r.cdb.at(0), 0x2A);
    Reset();
  }
}

// A program area that ends inside its last sector: the sector is written padded and counts,
// so A2 and the lead-out's Q lie where the lead-out is written; only the padded sector's Q is
// lost.
TEST_F(DiscAtOnce, PartialLastSectorCountsInTheTocAndTheLeadOut) {
  Devices({Media::CdR});
  ASSERT_EQ(Create(), 0u);
  CHalvorin_FileChain* isoChain = IsoTree(50000);
  const std::int32_t lbs = static_cast<std::int32_t>(iso.size() / 2048);
  auto list = Tracks({{lbs, true}});
  auto view = View(false, isoChain, list.get(), false);
  Bytes raw(view->GetSizeInUCHARs());
  for (std::size_t at = 0; at < raw.size(); at += 26 * 2368)
    view->Read(std::min<std::size_t>(26 * 2368, raw.size() - at), raw.data() + at);
  raw.resize(raw.size() - 100);
  MemorySource cut(raw);
  at::ClearCdbLog(0);
  const auto t = Dao(false, &cut.chain, list.get(), false);
  ASSERT_FALSE(t.thrown) << t.Text();
  EXPECT_EQ(CountWrites().sectors, kLeadIn + 150 + lbs + 6750);
  const auto disc = at::Recorder(0).CurrentDisc();
  EXPECT_EQ(disc.qMismatches, 1);
  ASSERT_EQ(disc.tracks.size(), 1u);
  EXPECT_EQ(disc.tracks[0].written, lbs);
  EXPECT_EQ(disc.sessions.at(0).leadOut, lbs);
  EXPECT_TRUE(disc.finalized);
}

// The producer stalls in the program area: the dry cache is reported (reason 25), the writer
// waits for the producer's next object and the disc is complete.
TEST_F(DiscAtOnce, DryCacheInTheProgramAreaWaitsForTheProducer) {
  Devices({Media::CdR});
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, &Record,
                                              &events, 0, 0, 0, 0, 1),
            0u);
  std::atomic<bool> dry{false};
  events.onReason = [&](uint32_t reason) {
    if (reason == HALVORIN_CALLBACK_REASON_BUFFER_UNDERRUN) dry = true;
  };
  std::atomic<int> reads{0};
  const int stallAt = Burner()->GetCacheManager()->GetCount() + 20;
  const std::int32_t lbs = 25 * (stallAt + 20);
  MemorySource source(Bytes(std::size_t{2048} * lbs, 6), [&](std::uint64_t) {
    if (++reads != stallAt) return;
    for (int i = 0; i < 1000 && !dry; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  auto list = Tracks({{lbs, true}});
  auto view = View(true, &source.chain, list.get(), false);
  const auto t = Dao(true, view.get(), list.get(), false);
  ASSERT_FALSE(t.thrown) << t.Text();
  EXPECT_TRUE(dry);
  EXPECT_GE(std::count(events.reasons.begin(), events.reasons.end(),
                       HALVORIN_CALLBACK_REASON_BUFFER_UNDERRUN),
            1);
  const auto disc = at::Recorder(0).CurrentDisc();
  EXPECT_EQ(disc.qMismatches, 0);
  EXPECT_EQ(disc.tracks.at(0).written, lbs);
  EXPECT_TRUE(disc.finalized);
}

// The first lead-in write fails: the disc is ejected at once, the cache is not synchronised.
TEST_F(DiscAtOnce, FailureInTheLeadInEjectsWithoutSynchronising) {
  Devices({Media::CdR});
  ASSERT_EQ(Create(), 0u);
  CHalvorin_FileChain* isoChain = IsoTree(50000);
  auto list = Tracks({{static_cast<std::int32_t>(iso.size() / 2048), true}});
  auto view = View(false, isoChain, list.get(), false);
  at::InjectHang(0, 1, 0x2A);
  at::ClearCdbLog(0);
  const auto t = Dao(false, view.get(), list.get(), false);
  EXPECT_EQ(t.Status(), 8) << t.Text();
  bool synced = false, ejected = false;
  for (const auto& r : at::CdbLog(0)) {
    synced = synced || r.cdb.at(0) == 0x35;
    ejected = ejected || r.cdb.at(0) == 0x1B;
  }
  EXPECT_FALSE(synced);
  EXPECT_TRUE(ejected);
}

TEST_F(DiscAtOnce, CancelInTheProgramAreaEndsWithFourteenAfterSyncAndEject) {
  Devices({Media::CdR});
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, &Record,
                                              &events, 0, 0, 0, 0, 1),
            0u);
  void* handle = burner;
  std::atomic<int> reads{0};
  const int cancelAt = Burner()->GetCacheManager()->GetCount() + 20;
  const std::int32_t lbs = 25 * (cancelAt + 20);
  MemorySource source(Bytes(std::size_t{2048} * lbs, 5), [&](std::uint64_t) {
    if (++reads == cancelAt) Halvorin_CdvdBurnerGrabber_Cancel(handle);
  });
  auto list = Tracks({{lbs, true}});
  auto view = View(true, &source.chain, list.get(), false);
  at::ClearCdbLog(0);
  const auto t = Dao(true, view.get(), list.get(), false);
  EXPECT_EQ(t.Status(), 14) << t.Text();
  bool synced = false, ejected = false, programWritten = false;
  for (const auto& r : at::CdbLog(0)) {
    if (r.cdb.at(0) == 0x2A && !(r.cdb[2] & 0x80)) programWritten = true;
    if (r.cdb.at(0) == 0x35) synced = true;
    if (r.cdb.at(0) == 0x1B) ejected = synced;
  }
  EXPECT_TRUE(programWritten);
  EXPECT_TRUE(ejected);
}

}  // namespace
}  // namespace burnertest
