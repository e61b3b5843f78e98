// The grab's fault paths in tables: errors that clear after some reads, that stay, that lie
// in a track's last 150 sectors or near a DVD part's end, and damaged sectors; retry depths 0
// to 2, Ignore and Force, in the cooked engine (GrabTrack, GrabRange, DVD parts) and the raw
// one (GrabCD), on a Mode 1 CD, an XA CD and a DVD. Each row gives the status, the reasons
// 18/19/20 in order with their LBAs and counts, what the file holds or that it is gone; page
// 01h is the drive's default after every grab. Then a region mismatch, cancel, and error
// correction switched off.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "tests/lib/grab/grab_test_support.h"

namespace grabtest {
namespace {

enum class Engine { Track, Range, Cd, DvdParts };
enum class Fault {
  ClearsAfter1,
  ClearsAfter2,
  Stays,
  ClearsNearTheEnd,
  StaysNearTheEnd,
  ClearsNearAPartEnd,
  StaysNearAPartEnd,
  Correctable,
  Uncorrectable
};

constexpr std::int32_t kBad = 100;
// 2-MB DVD parts hold 1,024 sectors: this one is 23 before the first part's end.
constexpr std::int32_t kPartBad = 1000;
constexpr std::uint32_t kRetry = HALVORIN_CALLBACK_REASON_GRAB_SECTOR_RETRY;
constexpr std::uint32_t kPattern = HALVORIN_CALLBACK_REASON_GRAB_SECTOR_PATTERN;
constexpr std::uint32_t kBadKept = HALVORIN_CALLBACK_REASON_GRAB_SECTOR_BAD_KEPT;

struct Row {
  const char* name;
  Engine engine;
  Fault fault;
  std::uint32_t retry;
  bool ignore, force;
  std::uint32_t status;
  // The reasons 18, 19 and 20 as (reason, LBA, count); `end` is the track's ending LBA.
  std::function<std::vector<Call>(std::int32_t end)> reasons;
  std::int32_t first = 90, last = 400;  // of a range
};

std::vector<Call> Fixed(std::initializer_list<Call> calls) {
  return std::vector<Call>(calls);
}
// Reason 18 for every single sector from `from` to `to`, after `before`.
std::vector<Call> PatternsFrom(std::vector<Call> before, std::int32_t from, std::int32_t to) {
  for (std::int32_t lba = from; lba <= to; ++lba) before.push_back({kPattern, lba, 1});
  return before;
}

std::string Show(const std::vector<Call>& calls) {
  std::string s;
  for (const Call& c : calls)
    s += std::to_string(c.reason) + "@" + std::to_string(c.a) + "/" + std::to_string(c.b) + " ";
  return s;
}

class GrabFaults : public GrabTest {
 protected:
  void ClearFaults() {
    at::Recorder(0).ChangeFaults([](vr::Faults& f) {
      f.mediumErrors.clear();
      f.reads = {};
    });
  }
  void Inject(Fault fault, std::int32_t end) {
    switch (fault) {
      case Fault::ClearsAfter1:
        at::InjectReadFault(0, kBad, 3, 0x11, 0x05, 1);
        break;
      case Fault::ClearsAfter2:
        at::InjectReadFault(0, kBad, 3, 0x11, 0x05, 2);
        break;
      case Fault::Stays:
        at::InjectReadFault(0, kBad, 3, 0x11, 0x05);
        break;
      case Fault::ClearsNearTheEnd:
        at::InjectReadFault(0, end - 50, 3, 0x11, 0x05, 1);
        break;
      case Fault::StaysNearTheEnd:
        at::InjectReadFault(0, end - 50, 3, 0x11, 0x05);
        break;
      case Fault::ClearsNearAPartEnd:
        at::InjectReadFault(0, kPartBad, 3, 0x11, 0x05, 1);
        break;
      case Fault::StaysNearAPartEnd:
        at::InjectReadFault(0, kPartBad, 3, 0x11, 0x05);
        break;
      case Fault::Correctable:
        at::InjectDamage(0, kBad, 5, true);
        break;
      case Fault::Uncorrectable:
        at::InjectDamage(0, kBad, 800, false);
        break;
    }
  }
  std::vector<Call> Substitutes() const {
    std::vector<Call> out;
    for (const Call& c : grab.calls)
      if (c.reason == kRetry || c.reason == kPattern || c.reason == kBadKept) out.push_back(c);
    return out;
  }
  // The parts "<name>.qvf", "<name>.qv1" ... joined.
  Bytes Parts(const std::string& name) {
    Bytes joined;
    for (int i = 0;; ++i) {
      const std::string part = dir.P(name + (i == 0 ? ".qvf" : ".qv" + std::to_string(i)));
      if (!std::filesystem::exists(part)) break;
      const Bytes b = Load(part);
      joined.insert(joined.end(), b.begin(), b.end());
    }
    return joined;
  }
  // The disc's one track read clean: its user data, and on a CD its raw image.
  void Clean(bool cd) {
    const TOC_INFORMATION toc = Toc();
    end = toc.m__TOC_TRACK_ENTRY__Tracks[0].m__LONG__EndLBA;
    ASSERT_GT(end, 500);
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GrabTrack(BURNER_ARGS, 1, dir.W("clean.dat").c_str(), 0, 0,
                                                   0, 0),
              0u)
        << text;
    cleanUser = Load(dir.P("clean.dat"));
    ASSERT_EQ(cleanUser.size(), static_cast<std::size_t>(end + 1) * 2048);
    if (!cd) return;
    ASSERT_EQ(GrabCD(dir.W("clean"), 1), 0u) << text;
    cleanRaw = Load(dir.P("clean.qvf"));
  }
  void Run(const std::vector<Row>& rows);

  std::int32_t end = 0;
  Bytes cleanUser, cleanRaw;
};

void GrabFaults::Run(const std::vector<Row>& rows) {
  using E = Engine;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ClearFaults();
    Inject(row.fault, end);
    grab.calls.clear();
    const std::string name = "row";
    for (const auto& e : std::filesystem::directory_iterator(dir.Posix()))
      if (e.path().filename().string().rfind(name, 0) == 0) std::filesystem::remove(e.path());
    HALVORIN_STATUS status = 0;
    switch (row.engine) {
      case E::Track:
        status = Halvorin_CdvdBurnerGrabber_GrabTrack(BURNER_ARGS, 1, dir.W(name).c_str(),
                                                      row.retry, row.ignore, row.force, 0);
        break;
      case E::Range:
        status = Halvorin_CdvdBurnerGrabber_GrabRange(BURNER_ARGS, row.first, row.last,
                                                      dir.W(name).c_str(), row.retry, row.ignore,
                                                      row.force, 0);
        break;
      case E::DvdParts:
        status = Halvorin_CdvdBurnerGrabber_GrabDVD(BURNER_ARGS, dir.W(name).c_str(), 2, row.retry,
                                                    row.ignore, row.force, 0);
        break;
      case E::Cd:
        status = GrabCD(dir.W(name), 1, row.retry, row.ignore, row.force);
        break;
    }
    EXPECT_EQ(status, row.status) << text;
    const std::vector<Call> expected = row.reasons(end), got = Substitutes();
    EXPECT_EQ(Show(got), Show(expected));
    EXPECT_EQ(Page01(0), Page01(2));
    const std::string file = dir.P(row.engine == E::Cd         ? name + ".qvf"
                                   : row.engine == E::DvdParts ? name + ".mds"
                                                               : name);
    if (status != 0) {
      EXPECT_NE(std::string(text).find("cannot be recovered!!!"), std::string::npos) << text;
      EXPECT_FALSE(std::filesystem::exists(file));
      EXPECT_FALSE(std::filesystem::exists(dir.P(name + ".mds")));
      continue;
    }
    const Bytes data = row.engine == E::DvdParts ? Parts(name) : Load(file);
    std::vector<bool> substituted(static_cast<std::size_t>(end) + 1), kept(substituted.size());
    for (const Call& c : got) {
      for (std::int64_t i = 0; c.reason == kPattern && i < c.b; ++i)
        substituted[static_cast<std::size_t>(c.a + i)] = true;
      if (c.reason == kBadKept) kept[static_cast<std::size_t>(c.a)] = true;
    }
    if (row.engine != E::Cd) {
      const std::int32_t first = row.engine == E::Range ? row.first : 0;
      const std::int32_t last = row.engine == E::Range ? row.last : end;
      ASSERT_EQ(data.size(), static_cast<std::size_t>(last - first + 1) * 2048);
      for (std::int32_t lba = first; lba <= last; ++lba) {
        const std::uint8_t* got2048 = data.data() + static_cast<std::size_t>(lba - first) * 2048;
        if (substituted[static_cast<std::size_t>(lba)])
          ASSERT_TRUE(std::all_of(got2048, got2048 + 2048, [](std::uint8_t b) { return !b; }))
              << lba;
        else
          ASSERT_EQ(std::memcmp(got2048, cleanUser.data() + lba * 2048, 2048), 0) << lba;
      }
    } else {
      ASSERT_EQ(data.size(), cleanRaw.size());
      for (std::int32_t lba = 0; lba <= end; ++lba) {
        const std::uint8_t* s = data.data() + static_cast<std::size_t>(lba) * 2448;
        const std::uint8_t* c = cleanRaw.data() + static_cast<std::size_t>(lba) * 2448;
        if (substituted[static_cast<std::size_t>(lba)]) {
          ASSERT_EQ(std::memcmp(s, c, 16), 0) << lba;  // sync, header, the track's mode
          ASSERT_TRUE(std::all_of(s + 16, s + 2352, [](std::uint8_t b) { return b == 0xCC; }));
          ASSERT_EQ(std::memcmp(s + 2352, c + 2352, 96), 0) << lba;
        } else if (kept[static_cast<std::size_t>(lba)]) {
          ASSERT_NE(std::memcmp(s, c, 2352), 0) << lba;  // damaged as read
          ASSERT_EQ(std::memcmp(s + 2352, c + 2352, 96), 0) << lba;
        } else {
          ASSERT_EQ(std::memcmp(s, c, 2448), 0) << lba;
        }
      }
    }
  }
}

using F = Fault;
using E = Engine;

TEST_F(GrabFaults, Table) {
  Devices({Media::CdR});
  WriteDataCd(1900000, false);
  Clean(true);
  ASSERT_TRUE(cleanUser == iso);
  Run({
      // Cooked: a failed transfer of 30 is read again sector by sector, and each failing sector
      // of that pass one level deeper, down to retry depth + 1.
      {"track, clears after 1", E::Track, F::ClearsAfter1, 0, false, false, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, 90, -1}});
       }},
      {"track, clears after 2, retry 0", E::Track, F::ClearsAfter2, 0, false, false, 10,
       [](std::int32_t) {
         return Fixed({{kRetry, 90, -1}});
       }},
      {"track, clears after 2", E::Track, F::ClearsAfter2, 2, false, false, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, 90, -1}, {kRetry, kBad, -1}});
       }},
      {"track, clears after 2, Ignore", E::Track, F::ClearsAfter2, 2, true, false, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, 90, -1}, {kRetry, kBad, -1}});
       }},
      {"track, stays, retry 2", E::Track, F::Stays, 2, false, false, 10,
       [](std::int32_t) {
         return Fixed({{kRetry, 90, -1}, {kRetry, kBad, -1}, {kRetry, kBad, -1}});
       }},
      // Only the bad sector is substituted; the 19 after it in its transfer are read.
      {"track, stays, Ignore", E::Track, F::Stays, 0, true, false, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, 90, -1}, {kPattern, kBad, 1}});
       }},
      {"track, stays, Force", E::Track, F::Stays, 0, false, true, 10,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, -1}});
       }},
      {"track, clears after 1, Force", E::Track, F::ClearsAfter1, 0, false, true, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, -1}});
       }},
      // Within a CD track's last 150 sectors a failure at depth 0 is the run-out: no retry.
      {"track, near the end", E::Track, F::StaysNearTheEnd, 2, false, false, 10,
       [](std::int32_t) { return Fixed({}); }},
      {"track, near the end, Ignore", E::Track, F::StaysNearTheEnd, 2, true, false, 0,
       [](std::int32_t e) { return PatternsFrom({}, e - 50, e); }},
      {"track, correctable", E::Track, F::Correctable, 0, false, false, 0,
       [](std::int32_t) { return Fixed({}); }},
      {"track, uncorrectable", E::Track, F::Uncorrectable, 0, false, false, 10,
       [](std::int32_t) {
         return Fixed({{kRetry, 90, -1}});
       }},
      // A range is read sector by sector from the start, one level deeper than a track; its end
      // near or not, it retries to the depth asked.
      {"range, clears after 1", E::Range, F::ClearsAfter1, 0, false, false, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, -1}});
       }},
      {"range, stays, Ignore", E::Range, F::Stays, 0, true, false, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, -1}, {kPattern, kBad, 1}});
       }},
      {"short range, clears after 1", E::Range, F::ClearsAfter1, 0, false, false, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, -1}});
       },
       90, 149},
      {"short range, clears after 2, retry 1", E::Range, F::ClearsAfter2, 1, false, false, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, -1}, {kRetry, kBad, -1}});
       },
       90, 149},
      {"short range, stays, Ignore", E::Range, F::Stays, 0, true, false, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, -1}, {kPattern, kBad, 1}});
       },
       90, 149},
      // Raw: transfers of 25; a nested pass retries down to retry depth + 1.
      {"CD, clears after 1", E::Cd, F::ClearsAfter1, 0, false, false, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, 25}});
       }},
      {"CD, clears after 2, retry 0", E::Cd, F::ClearsAfter2, 0, false, false, 10,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, 25}});
       }},
      {"CD, clears after 2, retry 0, Ignore", E::Cd, F::ClearsAfter2, 0, true, false, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, 25}, {kPattern, kBad, 1}});
       }},
      {"CD, clears after 2, retry 2", E::Cd, F::ClearsAfter2, 2, false, false, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, 25}, {kRetry, kBad, 1}});
       }},
      {"CD, stays, retry 2", E::Cd, F::Stays, 2, false, false, 10,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, 25}, {kRetry, kBad, 1}, {kRetry, kBad, 1}});
       }},
      {"CD, stays, retry 2, Ignore", E::Cd, F::Stays, 2, true, false, 0,
       [](std::int32_t) {
         return Fixed(
             {{kRetry, kBad, 25}, {kRetry, kBad, 1}, {kRetry, kBad, 1}, {kPattern, kBad, 1}});
       }},
      // A deep retry depth: one read a level, the stack no deeper for it.
      {"CD, stays, retry 20000, Ignore", E::Cd, F::Stays, 20000, true, false, 0,
       [](std::int32_t) {
         std::vector<Call> calls = {{kRetry, kBad, 25}};
         calls.insert(calls.end(), 20000, {kRetry, kBad, 1});
         calls.push_back({kPattern, kBad, 1});
         return calls;
       }},
      {"CD, stays, Force, Ignore", E::Cd, F::Stays, 0, true, true, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, 1}, {kPattern, kBad, 1}});
       }},
      {"CD, near the end", E::Cd, F::StaysNearTheEnd, 2, false, false, 10,
       [](std::int32_t) { return Fixed({}); }},
      {"CD, near the end, Ignore", E::Cd, F::StaysNearTheEnd, 2, true, false, 0,
       [](std::int32_t e) { return PatternsFrom({}, e - 50, e); }},
      {"CD, correctable", E::Cd, F::Correctable, 0, false, false, 0,
       [](std::int32_t) { return Fixed({}); }},
      {"CD, uncorrectable, retry 0", E::Cd, F::Uncorrectable, 0, false, false, 10,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, 25}});
       }},
      {"CD, uncorrectable, retry 2, Ignore", E::Cd, F::Uncorrectable, 2, true, false, 0,
       [](std::int32_t) {
         return Fixed(
             {{kRetry, kBad, 25}, {kRetry, kBad, 1}, {kRetry, kBad, 1}, {kBadKept, kBad, 1}});
       }},
  });
}

// Form 1 sectors: the recorder's uncorrectable damage flips bit 0x20 of both subheader copies,
// so the sector reads as Form 2 with a wrong EDC: damaged, retried and kept as read, not taken
// as good. The drive's correctable damage hits the subheader's first byte: Form 1 correction
// mends it.
TEST_F(GrabFaults, XaTable) {
  Devices({Media::CdR});
  WriteDataCd(1900000, true);
  Clean(true);
  ASSERT_TRUE(cleanUser == iso);
  Run({
      {"XA CD, correctable", E::Cd, F::Correctable, 0, false, false, 0,
       [](std::int32_t) { return Fixed({}); }},
      {"XA CD, uncorrectable, retry 0", E::Cd, F::Uncorrectable, 0, false, false, 10,
       [](std::int32_t) {
         return Fixed({{kRetry, kBad, 25}});
       }},
      {"XA CD, uncorrectable, retry 2, Ignore", E::Cd, F::Uncorrectable, 2, true, false, 0,
       [](std::int32_t) {
         return Fixed(
             {{kRetry, kBad, 25}, {kRetry, kBad, 1}, {kRetry, kBad, 1}, {kBadKept, kBad, 1}});
       }},
      {"XA track, uncorrectable", E::Track, F::Uncorrectable, 0, false, false, 10,
       [](std::int32_t) {
         return Fixed({{kRetry, 90, -1}});
       }},
  });
}

// A DVD has no run-out: GrabTrack near the disc's end and every part near its own end retry to
// the depth asked, and with Ignore only the bad sector becomes zeros.
TEST_F(GrabFaults, DvdTable) {
  const Bytes disc = Blocks(3000);
  WriteFile(dir.P("disc.iso"), std::string(disc.begin(), disc.end()));
  Pressed(Media::DvdRom, dir.W("disc.iso"));
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  Clean(false);
  ASSERT_TRUE(cleanUser == disc);
  Run({
      {"DVD track, near the end, clears after 1", E::Track, F::ClearsNearTheEnd, 0, false, false, 0,
       [](std::int32_t e) {
         return Fixed({{kRetry, e - 50, -1}});
       }},
      {"DVD track, near the end, stays, Ignore", E::Track, F::StaysNearTheEnd, 0, true, false, 0,
       [](std::int32_t e) {
         return Fixed({{kRetry, e - 50, -1}, {kPattern, e - 50, 1}});
       }},
      {"DVD parts, near a part's end, clears after 1", E::DvdParts, F::ClearsNearAPartEnd, 0, false,
       false, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, kPartBad, -1}});
       }},
      {"DVD parts, near a part's end, stays, retry 1", E::DvdParts, F::StaysNearAPartEnd, 1, false,
       false, 10,
       [](std::int32_t) {
         return Fixed({{kRetry, kPartBad, -1}, {kRetry, kPartBad, -1}});
       }},
      {"DVD parts, near a part's end, stays, Ignore", E::DvdParts, F::StaysNearAPartEnd, 0, true,
       false, 0,
       [](std::int32_t) {
         return Fixed({{kRetry, kPartBad, -1}, {kPattern, kPartBad, 1}});
       }},
  });
}

// A DVD part keeps its transfers of 30 at depth 1 and retries one sector at a time below it;
// a failure in the third part keeps the two finished parts, removes the third and the
// descriptor.
TEST_F(GrabFaults, DvdPartsRetryAndKeepWhatIsFinished) {
  const Bytes disc = Blocks(3000);
  WriteFile(dir.P("disc.iso"), std::string(disc.begin(), disc.end()));
  Pressed(Media::DvdRom, dir.W("disc.iso"));
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  at::InjectReadFault(0, kBad, 3, 0x11, 0x05, 1);
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GrabDVD(BURNER_ARGS, dir.W("ok").c_str(), 2, 0, 0, 0, 0), 0u)
      << text;
  EXPECT_EQ(Show(Substitutes()), Show(Fixed({{kRetry, 90, -1}})));
  Bytes joined;
  for (const char* n : {"ok.qvf", "ok.qv1", "ok.qv2"}) {
    const Bytes part = Load(dir.P(n));
    joined.insert(joined.end(), part.begin(), part.end());
  }
  EXPECT_TRUE(joined == disc);
  EXPECT_EQ(Page01(0), Page01(2));

  at::InjectReadFault(0, 2100, 3, 0x11, 0x05);
  grab.calls.clear();
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_GrabDVD(BURNER_ARGS, dir.W("bad").c_str(), 2, 0, 0, 0, 0),
            10u);
  EXPECT_NE(std::string(text).find("LBA 2100 cannot be recovered!!!"), std::string::npos) << text;
  EXPECT_TRUE(std::filesystem::exists(dir.P("bad.qvf")));
  EXPECT_TRUE(std::filesystem::exists(dir.P("bad.qv1")));
  EXPECT_FALSE(std::filesystem::exists(dir.P("bad.qv2")));
  EXPECT_FALSE(std::filesystem::exists(dir.P("bad.mds")));
  EXPECT_EQ(grab.Of(HALVORIN_CALLBACK_REASON_SPLIT_SECTION_END).size(), 2u);
}

// A region mismatch is passed on at once: no retry, no substitute, the sense in the failure
// block, nothing left.
TEST_F(GrabFaults, RegionMismatchIsRethrownAtOnce) {
  const Bytes disc = Blocks(1000);
  WriteFile(dir.P("disc.iso"), std::string(disc.begin(), disc.end()));
  Pressed(Media::DvdRom, dir.W("disc.iso"));
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  at::InjectReadFault(0, kBad, 5, 0x6F, 0x04, 0, 0x28);
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_GrabDVD(BURNER_ARGS, dir.W("r").c_str(), 4, 2, 1, 0, 0), 8u);
  EXPECT_EQ(failure.m__UCHAR__CDB[0], 0x28);
  EXPECT_EQ(failure.m__UCHAR__Sense[2] & 0x0F, 5);
  EXPECT_EQ(failure.m__UCHAR__Sense[12], 0x6F);
  EXPECT_EQ(failure.m__UCHAR__Sense[13], 0x04);
  EXPECT_TRUE(Substitutes().empty());
  EXPECT_FALSE(std::filesystem::exists(dir.P("r.qvf")));
  EXPECT_FALSE(std::filesystem::exists(dir.P("r.mds")));
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_GrabTrack(BURNER_ARGS, 1, dir.W("t").c_str(), 2, 1, 0, 0),
            8u);
  EXPECT_FALSE(std::filesystem::exists(dir.P("t")));
}

// Cancel during a grab gives 14 and removes its files; with error correction off, the drive's
// page 01h comes back after success, failure and cancel alike.
TEST_F(GrabFaults, CancelAndErrorCorrectionOff) {
  Devices({Media::CdR});
  WriteDataCd(600000, false);
  const Bytes defaults = Page01(2);
  ASSERT_FALSE(defaults.empty());
  // While the grab runs with correction off, the page is the one asked for.
  Bytes during;
  grab.onReason = [&](std::uint32_t reason) {
    if (reason == HALVORIN_CALLBACK_REASON_GRAB_TRACK_BEGIN) during = Page01(0);
  };
  ASSERT_EQ(GrabCD(dir.W("off"), 1, 0, false, false, true), 0u) << text;
  ASSERT_GE(during.size(), 4u);
  EXPECT_EQ(during[2], 0x01);
  EXPECT_EQ(during[3], 0x00);
  EXPECT_EQ(Page01(0), defaults);

  grab.onReason = [&](std::uint32_t reason) {
    if (reason == HALVORIN_CALLBACK_REASON_GRAB_TRACK_BEGIN)
      Halvorin_CdvdBurnerGrabber_Cancel(burner);
  };
  EXPECT_EQ(GrabCD(dir.W("cancel"), 1, 0, false, false, true), 14u);
  EXPECT_NE(std::string(text).find("Cancel set at LBA offset 0!!!"), std::string::npos) << text;
  EXPECT_FALSE(std::filesystem::exists(dir.P("cancel.qvf")));
  EXPECT_FALSE(std::filesystem::exists(dir.P("cancel.mds")));
  EXPECT_EQ(Page01(0), defaults);
  grab.onReason = {};

  at::InjectReadFault(0, 50, 3, 0x11, 0x05);
  EXPECT_EQ(GrabCD(dir.W("fail"), 1, 0, false, false, true), 10u);
  EXPECT_EQ(Page01(0), defaults);

  // Cancel from another thread ends GrabTrack the same way; the next grab starts afresh.
  at::InjectReadFault(0, 50, 3, 0x11, 0x05, 0);
  grab.onReason = [&](std::uint32_t reason) {
    if (reason == HALVORIN_CALLBACK_REASON_GRAB_SECTOR_RETRY) {
      std::thread([&] { Halvorin_CdvdBurnerGrabber_Cancel(burner); }).join();
    }
  };
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_GrabTrack(BURNER_ARGS, 1, dir.W("t").c_str(), 0, 1, 0, 0),
            14u);
  EXPECT_FALSE(std::filesystem::exists(dir.P("t")));
  grab.onReason = {};
  at::Recorder(0).ChangeFaults([](vr::Faults& f) { f.reads = {}; });
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_GrabTrack(BURNER_ARGS, 1, dir.W("t").c_str(), 0, 1, 0, 0),
            0u)
      << text;

  // Cancel is seen between the retries of one raw sector, however deep they go.
  at::InjectReadFault(0, 50, 3, 0x11, 0x05);
  int retries = 0;
  grab.onReason = [&](std::uint32_t reason) {
    if (reason == HALVORIN_CALLBACK_REASON_GRAB_SECTOR_RETRY && ++retries == 5)
      Halvorin_CdvdBurnerGrabber_Cancel(burner);
  };
  EXPECT_EQ(GrabCD(dir.W("deep"), 3, 1000000, true), 14u) << text;
  EXPECT_LT(retries, 10);
  EXPECT_FALSE(std::filesystem::exists(dir.P("deep.qvf")));
  grab.onReason = {};
}

}  // namespace
}  // namespace grabtest
