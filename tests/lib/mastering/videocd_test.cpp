// VideoCD and Super VideoCD: the templates rebuilt and checked at every offset the data tracks
// rely on, the data track's patches and edge cases, and both kinds of disc from ffmpeg streams
// written session-at-once and track-at-once to a virtual CD-R, read back by cd-info, bchunk,
// isoinfo and ffprobe.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "tests/lib/mastering/videocd_test_support.h"

namespace burnertest {
namespace {

constexpr std::size_t kSector = 2048;

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint32_t Be32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}
std::string Str(const std::uint8_t* p, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(p), n);
}
bool Zero(const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

TEST_F(VideoCD, TemplatesRebuiltHoldEveryOffset) {
  for (bool super : {false, true}) {
    SCOPED_TRACE(super ? "Super VideoCD" : "VideoCD");
    const auto t = HalvorinI_BuildVideoCDTemplate(super);
    ASSERT_EQ(t.size(), 1224704u);
    ASSERT_EQ(t.size(), 598u * kSector);
    const std::uint8_t* pvd = t.data() + 16 * kSector;
    EXPECT_EQ(Str(pvd, 6), "\1CD001");
    EXPECT_EQ(Str(pvd + 8, 32), "CD-RTOS CD-BRIDGE" + std::string(15, ' '));
    EXPECT_EQ(Str(pvd + 1024, 8), "CD-XA001");
    EXPECT_EQ(Str(pvd + 40, 32),
              (super ? "SUPERVCD" : "VIDEOCD") + std::string(super ? 24 : 25, ' '));
    EXPECT_EQ(Str(pvd + 190, 128), std::string(128, ' '));
    EXPECT_EQ(Le32(pvd + 80), 598u);
    EXPECT_EQ(Be32(pvd + 84), 598u);
    // The MPEG folder at 21 (20): "." and ".." of 48 bytes, then the MPEG file, Form 2, at 750.
    const std::uint32_t offset = super ? 41056 : 43104;
    EXPECT_EQ(offset, super ? kHalvorinSuperVideoCDPatchOffset : kHalvorinVideoCDPatchOffset);
    const std::uint8_t* folder = t.data() + (super ? 20 : 21) * kSector;
    EXPECT_EQ(folder[0], 48);
    EXPECT_EQ(folder[48], 48);
    const std::uint8_t* record = t.data() + offset;
    EXPECT_EQ(Str(record + 33, record[32]), super ? "AVSEQ01.MPG;1" : "AVSEQ01.DAT;1");
    EXPECT_EQ(Le32(record + 2), 750u);
    EXPECT_EQ(Be32(record + 6), 750u);
    const std::uint8_t* xa = record + 33 + record[32] + (record[32] % 2 == 0);
    EXPECT_EQ(Str(xa + 6, 2), "XA");
    EXPECT_EQ(xa[4] & 0x10, 0x10);  // Mode 2 Form 2
    const std::uint8_t* info = t.data() + 150 * kSector;
    EXPECT_EQ(Str(info, 8), super ? "SUPERVCD" : "VIDEO_CD");
    EXPECT_EQ(info[8], super ? 1 : 2);
    EXPECT_EQ(Str(info + 10, 16), std::string(16, ' '));
    const std::uint8_t* entries = t.data() + 151 * kSector;
    EXPECT_EQ(Str(entries, 8), "ENTRYVCD");
    EXPECT_EQ(entries[8], super ? 1 : 2);
    EXPECT_EQ(entries[10] << 8 | entries[11], 1);
    // Track 2 at LBA 780, 00:12:30 with the 150-frame offset.
    EXPECT_EQ(Bytes(entries + 12, entries + 16), Bytes({0x02, 0x00, 0x12, 0x30}));
    if (super) {
      const std::uint8_t* tracks = t.data() + 211 * kSector;
      EXPECT_EQ(Str(tracks, 8), "TRACKSVD");
      EXPECT_EQ(tracks[10], 1);
      const std::uint8_t* search = t.data() + 212 * kSector;
      EXPECT_EQ(Bytes(search, search + 13),
                Bytes({'S', 'E', 'A', 'R', 'C', 'H', 'S', 'V', 1, 0, 0, 0, 1}));
    }
    for (std::uint32_t s :
         super ? std::vector<std::uint32_t>{210, 244} : std::vector<std::uint32_t>{245})
      EXPECT_TRUE(Zero(t.data() + s * kSector, kSector)) << s;
    // isoinfo reads the folders and files where the records say.
    const std::string path = dir.P(super ? "s.iso" : "v.iso");
    WriteFile(path, std::string(t.begin(), t.end()));
    const std::string listing = Run("isoinfo -l -i " + path);
    for (const char* f : {"/CDI/", "/EXT/", "/SEGMENT/", super ? "/MPEG2/" : "/MPEGAV/",
                          super ? "/SVCD/" : "/VCD/"})
      EXPECT_NE(listing.find(std::string("Directory listing of ") + f), std::string::npos) << f;
    EXPECT_NE(listing.find("[    750 00]  AVSEQ01"), std::string::npos) << listing;
    EXPECT_NE(listing.find(super ? "[    150 00]  INFO.SVD;1" : "[    150 00]  INFO.VCD;1"),
              std::string::npos)
        << listing;
    if (super) {
      EXPECT_NE(listing.find("[    211 00]  TRACKS.SVD;1"), std::string::npos);
      EXPECT_NE(listing.find("13 Jan  1 2000 [    212 00]  SEARCH.DAT;1"), std::string::npos)
          << listing;
    }
    // The build made the same images beside the library.
    const char* built = super ? kHalvorinSuperVideoCDTemplateName : kHalvorinVideoCDTemplateName;
    const std::string beside = std::string(std::getenv("QUORVA_BUILD_DIR")) + "/lib/" + built;
    EXPECT_TRUE(Slurp(beside) == t) << beside;
  }
}

// The data track's patches: the MPEG record counts every unit the file fills, the volume
// reaches the end of the MPEG track, labels are padded with spaces, numbers big-endian; the
// additional file from the library's folder only; a short template is refused.
TEST_F(VideoCD, DataTrackPatchesAndEdgeCases) {
  const std::string mpeg = dir.P("film.mpg");
  {
    std::ofstream f(mpeg, std::ios::binary);
    f.seekp(23240000 - 1);
    f.put('\0');
  }
  struct Case {
    bool super;
    std::string label;
    bool archive;
  };
  const Case cases[] = {{false, "FIVE5", false},
                        {false, "SIXTEEN_CHARS_16", true},
                        {false, "TWENTY_CHARACTERS_20", false},
                        {true, "FIVE5", true},
                        {true, "TWENTY_CHARACTERS_20", false}};
  std::filesystem::create_directories(dir.P("cwd"));
  WriteFile(dir.P("cwd/ARCHIVE.dat"), std::string(4000, 'C'));  // never taken
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.P("cwd"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label + (c.super ? " super" : "") + (c.archive ? " archive" : ""));
    std::filesystem::remove(LibFile("ARCHIVE.dat"));
    if (c.archive) WriteFile(LibFile("ARCHIVE.dat"), std::string(100, 'A'));
    std::unique_ptr<CHalvorin_VCDDATATrack> track;
    const auto t = libtest::Catch([&] {
      if (c.super)
        track =
            std::make_unique<CHalvorin_SVCDDATATrack>(dir.W("film.mpg").c_str(), c.label.c_str(), 3,
                                                      2, kHalvorinSuperVideoCDTemplateName, 41056);
      else
        track = std::make_unique<CHalvorin_VCDDATATrack>(dir.W("film.mpg").c_str(), c.label.c_str(),
                                                         3, 2, kHalvorinVideoCDTemplateName, 43104);
    });
    ASSERT_FALSE(t.thrown) << t.Text();
    const std::uint8_t* image = track->GetImage();
    const std::uint8_t* record = image + (c.super ? 41056 : 43104);
    EXPECT_EQ(Le32(record + 10), 20602880u);  // (10,000 + 60) × 2048
    EXPECT_EQ(Be32(record + 14), 20602880u);
    const std::uint8_t* pvd = image + 16 * kSector;
    EXPECT_EQ(Le32(pvd + 80), 750u + 10060u);
    EXPECT_EQ(Be32(pvd + 84), 750u + 10060u);
    std::string set = c.label, volume = c.label.substr(0, 32);
    set.resize(128, ' ');
    volume.resize(32, ' ');
    EXPECT_EQ(Str(pvd + 190, 128), set);
    EXPECT_EQ(Str(pvd + 40, 32), volume);
    const std::uint8_t* info = image + 150 * kSector;
    std::string album = c.label.substr(0, 16);
    album.resize(16, ' ');
    EXPECT_EQ(Str(info + 10, 16), album);
    EXPECT_EQ(Bytes(info + 26, info + 30), Bytes({0, 3, 0, 2}));
    const std::uint32_t extra = c.super ? 210 : 245;
    std::string expected(kSector, '\0');
    if (c.archive) std::fill(expected.begin(), expected.begin() + 100, 'A');
    EXPECT_EQ(Str(image + extra * kSector, kSector), expected);
    if (c.super) {
      // 23,240,000 bytes: 2 minutes and 12,268,480 / 10,485,760 × 60 → 12 seconds.
      const std::uint8_t* tracks = image + 211 * kSector;
      EXPECT_EQ(Bytes(tracks + 11, tracks + 14), Bytes({0x02, 0x12, 0x00}));
    }
    // The chain reads the patched image; its Mode 2 view the same blocks behind 00 00 08 00.
    std::vector<std::uint8_t> read(kHalvorinVideoCDTemplateSize);
    track->SeekToBegin();
    track->Read(read.size(), read.data());
    EXPECT_TRUE(std::memcmp(read.data(), image, read.size()) == 0);
  }
  std::filesystem::current_path(cwd);

  // Super VideoCD: with the additional file, sector 244 is cleared; without, it stays.
  auto marked = HalvorinI_BuildVideoCDTemplate(true);
  std::memset(marked.data() + 244 * kSector, 'M', kSector);
  WriteFile(LibFile("Marked.ISO"), std::string(marked.begin(), marked.end()));
  for (bool archive : {false, true}) {
    std::filesystem::remove(LibFile("ARCHIVE.dat"));
    if (archive) WriteFile(LibFile("ARCHIVE.dat"), std::string(5000, 'A'));
    CHalvorin_SVCDDATATrack track(dir.W("film.mpg").c_str(), "X", 1, 1, "Marked.ISO", 41056);
    EXPECT_EQ(Str(track.GetImage() + 244 * kSector, kSector),
              std::string(kSector, archive ? '\0' : 'M'));
    EXPECT_EQ(Str(track.GetImage() + 210 * kSector, kSector),
              std::string(kSector, archive ? 'A' : '\0'));
  }

  // 100.5 minutes at 10 MB a minute: the minutes stop at 99, the seconds are 30.
  {
    std::ofstream f(dir.P("long.mpg"), std::ios::binary);
    f.seekp(100 * 10485760 + 5242880 - 1);
    f.put('\0');
  }
  CHalvorin_SVCDDATATrack longTrack(dir.W("long.mpg").c_str(), "LONG", 1, 1,
                                    kHalvorinSuperVideoCDTemplateName, 41056);
  EXPECT_EQ(
      Bytes(longTrack.GetImage() + 211 * kSector + 11, longTrack.GetImage() + 211 * kSector + 14),
      Bytes({0x99, 0x30, 0x00}));

  // An MPEG file of a partial last payload: its unit counts.
  WriteFile(dir.P("odd.mpg"), std::string(2324 * 7 + 1, 'm'));
  CHalvorin_VCDDATATrack odd(dir.W("odd.mpg").c_str(), "ODD", 1, 1, kHalvorinVideoCDTemplateName,
                             43104);
  EXPECT_EQ(Le32(odd.GetImage() + 43104 + 10), (8u + 60u) * 2048u);
  CHalvorin_MPEG12Track mpegTrack(dir.W("odd.mpg").c_str());
  EXPECT_EQ(mpegTrack.GetSizeInUCHARs(), (8u + 60u) * 2332u);
  CHalvorin_MPEG12TrackMode2 mpegView(dir.W("odd.mpg").c_str());
  EXPECT_EQ(mpegView.GetSizeInUCHARs(), (8u + 60u) * 2336u);
  CHalvorin_VCDDATATrackMode2 dataView(dir.W("odd.mpg").c_str(), "ODD", 1, 1,
                                       kHalvorinVideoCDTemplateName, 43104);
  EXPECT_EQ(dataView.GetSizeInUCHARs(), 598u * 2336u);
  std::vector<std::uint8_t> unit(2336 * 17);
  dataView.Read(unit.size(), unit.data());
  EXPECT_EQ(Bytes(unit.data() + 16 * 2336, unit.data() + 16 * 2336 + 8),
            Bytes({0, 0, 8, 0, 0, 0, 8, 0}));
  EXPECT_TRUE(std::memcmp(unit.data() + 16 * 2336 + 8, odd.GetImage() + 16 * kSector, kSector) ==
              0);

  // A template one byte short: status 4; a name outside the library's folder: 2.
  auto shortImage = HalvorinI_BuildVideoCDTemplate(false);
  shortImage.pop_back();
  WriteFile(LibFile("Short.ISO"), std::string(shortImage.begin(), shortImage.end()));
  auto t = libtest::Catch(
      [&] { CHalvorin_VCDDATATrack x(dir.W("odd.mpg").c_str(), "S", 1, 1, "Short.ISO", 43104); });
  EXPECT_EQ(t.Status(), 4) << t.Text();
  EXPECT_NE(t.Text().find("1224703 instead of at least 1224704"), std::string::npos) << t.Text();
  for (const std::string& name : {dir.W("libdir/Halvorin_VideoCD.ISO"), std::string("..\\x.ISO")}) {
    t = libtest::Catch([&] {
      CHalvorin_VCDDATATrack x(dir.W("odd.mpg").c_str(), "S", 1, 1, name.c_str(), 43104);
    });
    EXPECT_EQ(t.Status(), 2) << name << " " << t.Text();
  }
  t = libtest::Catch([&] {
    CHalvorin_VCDDATATrack x(dir.W("missing.mpg").c_str(), "S", 1, 1, kHalvorinVideoCDTemplateName,
                             43104);
  });
  EXPECT_EQ(t.Status(), 5) << t.Text();
}

// Both kinds from ffmpeg streams (one of a size that is no multiple of 2,324), each written
// session-at-once and track-at-once (block types 10 and 13): cd-info names the kind, bchunk's
// track 01 is the patched image isoinfo reads, and the payloads from LBA 780 are the stream,
// which ffprobe plays for as long as the input.
TEST_F(VideoCD, DiscsFromFfmpegStreamsWrittenBothWays) {
  struct Stream {
    bool super;
    const char* name;
    const char* options;
  };
  const Stream streams[] = {
      {false, "vcd.mpg", "-target ntsc-vcd"},
      {true, "svcd.mpg", "-target ntsc-svcd"},
      {false, "odd.mpg", "-c:v mpeg1video -c:a mp2 -f mpeg"},
  };
  for (const Stream& s : streams) {
    const std::string mpeg = Mpeg(s.name, s.options);
    const Bytes input = Slurp(mpeg);
    if (std::string(s.name) == "odd.mpg") {
      ASSERT_NE(input.size() % 2324, 0u);
    }
    const std::uint64_t units = (input.size() + 2323) / 2324;
    const double duration = Duration(mpeg);
    for (bool sao : {true, false}) {
      SCOPED_TRACE(std::string(s.name) + (sao ? " session-at-once" : " track-at-once"));
      Devices({Media::CdR});
      ASSERT_EQ(Create(), 0u);
      const char* label = s.super ? "QUORVA_SUPER" : "QUORVA_VIDEO";
      const char* templ =
          s.super ? kHalvorinSuperVideoCDTemplateName : kHalvorinVideoCDTemplateName;
      const std::uint32_t offset = s.super ? 41056 : 43104;
      const std::string path = dir.W(s.name);
      libtest::Thrown t;
      if (sao) {
        std::unique_ptr<CHalvorin_VCDDATATrack> data;
        if (s.super)
          data = std::make_unique<CHalvorin_SVCDDATATrackMode2>(path.c_str(), label, 1, 1, templ,
                                                                offset);
        else
          data = std::make_unique<CHalvorin_VCDDATATrackMode2>(path.c_str(), label, 1, 1, templ,
                                                               offset);
        CHalvorin_MPEG12TrackMode2 track(path.c_str());
        auto list = List({{data.get(), false, true}, {&track, false, true, false, 2}});
        t = Write(list.get(), true);
      } else {
        std::unique_ptr<CHalvorin_VCDDATATrack> data;
        if (s.super)
          data =
              std::make_unique<CHalvorin_SVCDDATATrack>(path.c_str(), label, 1, 1, templ, offset);
        else
          data = std::make_unique<CHalvorin_VCDDATATrack>(path.c_str(), label, 1, 1, templ, offset);
        CHalvorin_MPEG12Track track(path.c_str());
        t = libtest::Catch([&] {
          CHalvorin_TrackAtOnceOptions o;
          o.m__PCHalvorin_FileChain__Source = data.get();
          o.m__BOOLEAN__IsXA = true;
          o.m__ULONG__TrackMode = 1;
          o.m__UCHAR__SubHeader[2] = 8;
          Burner()->TrackAtOnce(o);
          o.m__PCHalvorin_FileChain__Source = &track;
          o.m__ULONG__TrackMode = 3;
          o.m__UCHAR__SubHeader[2] = 0;
          Burner()->TrackAtOnce(o);
          Burner()->CloseSession();
        });
      }
      ASSERT_FALSE(t.thrown) << t.Text();
      const auto disc = at::Recorder(0).CurrentDisc();
      ASSERT_EQ(disc.tracks.size(), 2u);
      EXPECT_EQ(disc.tracks[1].start, 750);
      EXPECT_EQ(disc.tracks[1].written, static_cast<std::int64_t>(units + 60));
      EXPECT_EQ(disc.tracks[1].form, vr::SectorForm::Mode2);
      if (sao) {
        EXPECT_EQ(disc.tracks[1].pregap, 152);
      }
      if (!sao) {
        EXPECT_EQ(disc.tracks[0].form, vr::SectorForm::Mode2Form1);
        // Block type 10 (2,048 bytes a block) for the data track, 13 (2,332) for the MPEG one.
        std::int64_t blocks[2] = {0, 0};
        for (const auto& r : at::CdbLog(0)) {
          if (r.cdb.at(0) != 0x2A) continue;
          const std::uint32_t lba = Be32(r.cdb.data() + 2), n = r.cdb[7] << 8 | r.cdb[8];
          EXPECT_EQ(r.dataLength, n * (lba >= 750 ? 2332u : 2048u)) << lba;
          blocks[lba >= 750] += n;
        }
        EXPECT_EQ(blocks[0], 598);
        EXPECT_EQ(blocks[1], static_cast<std::int64_t>(units + 60));
      }
      const std::string info = EjectAndReadCue();
      EXPECT_NE(info.find(s.super ? "Super Video CD" : "Video CD"), std::string::npos) << info;
      EXPECT_EQ(info.find("Super Video CD") != std::string::npos, s.super) << info;

      std::filesystem::create_directories(dir.P("out"));
      Run("cd " + dir.P("home/VirtualRecorders/Recorder0") +
          " && bchunk Recorder0-0001.bin Recorder0-0001.cue " + dir.P("out/track"));
      const std::string iso = dir.P("out/track01.iso");
      // Track-at-once leaves the 2 run-out blocks of track 1 before the pre-gap of track 2.
      const Bytes track01 = Slurp(iso);
      ASSERT_EQ(track01.size(), (sao ? 598u : 600u) * 2048u);
      EXPECT_TRUE(std::all_of(track01.begin() + 598 * 2048, track01.end(),
                              [](std::uint8_t b) { return b == 0; }));
      const std::string listing = Run("isoinfo -l -i " + iso);
      char row[96];
      std::snprintf(row, sizeof row, "%u Jan  1 2000 [    750 00]  %s",
                    static_cast<unsigned>((units + 60) * 2048),
                    s.super ? "AVSEQ01.MPG;1" : "AVSEQ01.DAT;1");
      EXPECT_NE(listing.find(row), std::string::npos) << row << "\n" << listing;
      EXPECT_NE(
          listing.find(s.super ? "Directory listing of /MPEG2/" : "Directory listing of /MPEGAV/"),
          std::string::npos);
      const std::string d = Run("isoinfo -d -i " + iso);
      EXPECT_NE(d.find(std::string("Volume id: ") + label), std::string::npos) << d;
      EXPECT_NE(d.find(std::string("Volume set id: ") + label), std::string::npos) << d;
      EXPECT_NE(d.find("Volume size is: " + std::to_string(750 + units + 60)), std::string::npos)
          << d;

      const Bytes bin = Slurp(ImageBase() + ".bin");
      ASSERT_GE(bin.size(), (780 + units) * 2352);
      Bytes payload;
      for (std::uint64_t k = 0; k < units; ++k) {
        const std::uint8_t* sector = bin.data() + (780 + k) * 2352;
        payload.insert(payload.end(), sector + 24, sector + 24 + 2324);
      }
      Bytes expected = input;
      expected.resize(units * 2324, 0);
      EXPECT_TRUE(payload == expected);
      const std::string played = dir.P("out/played.mpg");
      WriteFile(played, std::string(payload.begin(), payload.end()));
      EXPECT_NEAR(Duration(played), duration, 0.05);
      Halvorin_Destroy(&burner);
      at::ConfigureRecorders({});
      std::filesystem::remove_all(dir.P("home"));
      std::filesystem::remove_all(dir.P("out"));
    }
  }
}

}  // namespace
}  // namespace burnertest
