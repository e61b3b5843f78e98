// GrabDVD of a pressed DVD-ROM and of a DVD-R written track-at-once: the parts joined are the
// recorder's own .iso export; 2-MB parts of a 30-MB disc run to "<base>.qv14", each named in
// full in the descriptor; a part size below 2 MB and the wrong medium are refused first; a
// primary volume descriptor that claims more than the disc holds does not move the disc's end.
#include <gtest/gtest.h>

#include "platform/debug/debug.h"
#include "tests/lib/grab/grab_test_support.h"

namespace grabtest {
namespace {

class GrabDvd : public GrabTest {
 protected:
  HALVORIN_STATUS GrabDVD(const std::string& base, uint32_t mb) {
    return Halvorin_CdvdBurnerGrabber_GrabDVD(BURNER_ARGS, base.c_str(), mb, 0, 0, 0, 0);
  }
  // The parts "<base>.qvf", "<base>.qv1" ... joined; their count.
  Bytes Joined(const std::string& base, std::size_t* parts) {
    Bytes joined;
    *parts = 0;
    for (std::size_t i = 0;; ++i) {
      const std::string name = base + (i == 0 ? ".qvf" : ".qv" + std::to_string(i));
      if (!std::filesystem::exists(dir.P(name))) break;
      const Bytes part = Load(dir.P(name));
      joined.insert(joined.end(), part.begin(), part.end());
      ++*parts;
    }
    return joined;
  }
};

TEST_F(GrabDvd, PressedThirtyMegabytesInTwoMegabyteParts) {
  const Bytes disc = Blocks(15360);
  WriteFile(dir.P("disc.iso"), std::string(disc.begin(), disc.end()));
  Pressed(Media::DvdRom, dir.W("disc.iso"));
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  ASSERT_EQ(GrabDVD(dir.W("d"), 2), 0u) << text;
  std::size_t parts = 0;
  const Bytes joined = Joined("d", &parts);
  EXPECT_EQ(parts, 15u);
  at::Recorder(0).ExportIso(dir.W("export.iso"));
  EXPECT_TRUE(joined == Load(dir.P("export.iso")));
  EXPECT_TRUE(joined == disc);
  const Bytes mds = Load(dir.P("d.mds"));
  const std::string names(mds.end() - (6 * 10 + 7 * 5), mds.end());
  std::string expected;
  for (int i = 0; i < 15; ++i) expected += (i == 0 ? "d.qvf" : "d.qv" + std::to_string(i)) + '\0';
  EXPECT_EQ(names, expected);
  // Parts 16 and 17 of the callbacks: index and count for each part, in order.
  const auto begins = grab.Of(HALVORIN_CALLBACK_REASON_SPLIT_SECTION_BEGIN);
  const auto ends = grab.Of(HALVORIN_CALLBACK_REASON_SPLIT_SECTION_END);
  ASSERT_EQ(begins.size(), 15u);
  ASSERT_EQ(ends.size(), 15u);
  for (int i = 0; i < 15; ++i) {
    EXPECT_EQ(begins[i].a, i);
    EXPECT_EQ(begins[i].b, 15);
    EXPECT_EQ(ends[i].a, i);
  }
}

TEST_F(GrabDvd, DvdRWrittenTrackAtOnce) {
  Devices({Media::DvdR});
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  IsoTree(5000000);
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 0, 0, 0, 0, 0), 0u)
      << text;
  ASSERT_EQ(GrabDVD(dir.W("r"), 4), 0u) << text;
  std::size_t parts = 0;
  const Bytes joined = Joined("r", &parts);
  EXPECT_EQ(parts, (iso.size() + 2048 * 2048 - 1) / (2048 * 2048));
  EXPECT_TRUE(joined == iso);
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
  // The drive closed the track on a whole ECC block of 16 sectors; the grab reads the volume
  // as its primary volume descriptor gives it, the padding's zeros not.
  const Bytes exported = Load(Image());
  ASSERT_GE(exported.size(), joined.size());
  EXPECT_LT(exported.size() - joined.size(), 16u * 2048);
  EXPECT_TRUE(std::equal(joined.begin(), joined.end(), exported.begin()));
  EXPECT_TRUE(std::all_of(exported.begin() + static_cast<std::ptrdiff_t>(joined.size()),
                          exported.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(GrabDvd, RefusalsBeforeAnyFile) {
  Bytes disc(3000 * 2048, 7);
  WriteFile(dir.P("disc.iso"), std::string(disc.begin(), disc.end()));
  Pressed(Media::DvdRom, dir.W("disc.iso"));
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  for (uint32_t mb : {0u, 1u}) {
    EXPECT_EQ(GrabDVD(dir.W("small"), mb), 2u);
    EXPECT_NE(std::string(text).find("below 2 MB"), std::string::npos) << text;
  }
  EXPECT_EQ(GrabCD(dir.W("cd"), 1), 10u);
  EXPECT_NE(std::string(text).find("DVD media is unsupported!!!"), std::string::npos) << text;
  // An odd size counts as the even one below it: 3 MB parts hold 1,024 sectors.
  ASSERT_EQ(GrabDVD(dir.W("odd"), 3), 0u) << text;
  std::size_t parts = 0;
  EXPECT_TRUE(Joined("odd", &parts) == disc);
  EXPECT_EQ(parts, 3u);
  for (const auto& e : std::filesystem::directory_iterator(dir.Posix()))
    EXPECT_EQ(e.path().filename().string().rfind("small", 0), std::string::npos) << e.path();
  EXPECT_FALSE(std::filesystem::exists(dir.P("cd.mds")));

  at::ConfigureRecorders({});
  Halvorin_Destroy(&burner);
  Devices({Media::CdR});
  WriteDataCd(50000, false);
  EXPECT_EQ(GrabDVD(dir.W("dvd"), 2), 10u);
  EXPECT_NE(std::string(text).find("Non-DVD media is unsupported!!!"), std::string::npos) << text;
  EXPECT_FALSE(std::filesystem::exists(dir.P("dvd.mds")));
  EXPECT_EQ(GrabCD(dir.W("cd"), 4), 10u);
  EXPECT_NE(std::string(text).find("Read mode is unsupported !!!"), std::string::npos) << text;
}

// A pressed DVD of 64 sectors whose volume descriptor at sector 16 gives a volume space size:
// the TOC's end is the volume's last sector when the disc holds it, else READ CAPACITY's last
// LBA (traced). GrabTrack with Ignore and GrabDVD read exactly the sectors up to that end.
TEST_F(GrabDvd, VolumeSizeBoundedByTheDisc) {
  constexpr std::uint32_t kDisc = 64;
  struct Case {
    const char* what;
    bool signature;
    std::uint32_t volume;   // blocks
    std::uint32_t sectors;  // grabbed
    bool traced;            // "beyond the last LBA"
  } cases[] = {
      {"the disc's size", true, kDisc, kDisc, false},
      {"smaller than the disc", true, 40, 40, false},
      {"one block more", true, kDisc + 1, kDisc, true},
      {"900,000 past the disc", true, kDisc + 900000, kDisc, true},
      {"the largest size", true, 0xFFFFFFFFu, kDisc, true},
      {"no volume descriptor", false, 1000000, kDisc, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes disc = Blocks(kDisc);
    std::uint8_t* pvd = disc.data() + 16 * 2048;
    pvd[0] = 1;
    std::memcpy(pvd + 1, c.signature ? "CD001" : "CD002", 5);
    pvd[6] = 1;
    for (int i = 0; i < 4; ++i) {
      pvd[80 + i] = static_cast<std::uint8_t>(c.volume >> (8 * i));
      pvd[87 - i] = static_cast<std::uint8_t>(c.volume >> (8 * i));
    }
    WriteFile(dir.P("disc.iso"), std::string(disc.begin(), disc.end()));
    if (burner) Halvorin_Destroy(&burner);
    Pressed(Media::DvdRom, dir.W("disc.iso"));
    ASSERT_EQ(CreateGrabber(), 0u) << text;
    platform::debug::Capture capture;
    const TOC_INFORMATION toc = Toc();
    EXPECT_EQ(toc.m__TOC_TRACK_ENTRY__Tracks[0].m__LONG__EndLBA,
              static_cast<std::int32_t>(c.sectors) - 1);
    EXPECT_EQ(capture.Text().find("WARNING! PVD volume space size " + std::to_string(c.volume) +
                                  " is beyond the last LBA 63") != std::string::npos,
              c.traced)
        << capture.Text();
    const Bytes expected(disc.begin(), disc.begin() + c.sectors * 2048);
    grab.calls.clear();
    ASSERT_EQ(
        Halvorin_CdvdBurnerGrabber_GrabTrack(BURNER_ARGS, 1, dir.W("track").c_str(), 0, 1, 0, 0),
        0u)
        << text;
    EXPECT_TRUE(Load(dir.P("track")) == expected);
    ASSERT_EQ(GrabDVD(dir.W("parts"), 2), 0u) << text;
    std::size_t parts = 0;
    EXPECT_TRUE(Joined("parts", &parts) == expected);
    EXPECT_EQ(parts, 1u);
    EXPECT_TRUE(grab.Of(HALVORIN_CALLBACK_REASON_GRAB_SECTOR_PATTERN).empty());
    EXPECT_TRUE(grab.Of(HALVORIN_CALLBACK_REASON_GRAB_SECTOR_RETRY).empty());
    // The descriptor's session ends after the last sector grabbed (one layer: at 88 + 4100).
    const Bytes mds = Load(dir.P("parts.mds"));
    ASSERT_GE(mds.size(), 88u + 4100 + 24);
    const std::uint8_t* session = mds.data() + 88 + 4100;
    EXPECT_EQ(session[4] | session[5] << 8 | session[6] << 16 | session[7] << 24,
              static_cast<int>(c.sectors));
  }
}

}  // namespace
}  // namespace grabtest
