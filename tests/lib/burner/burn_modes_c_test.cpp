// Runs the cases of tests/lib/c/halvorin_burn_c.c, which write and grab every mode through
// halvorin.h and libhalvorin.so alone, each disc on a fresh blank of a virtual recorder, and
// reads what the recorder exported (.bin/.cue and .iso) and what the grabs wrote with outside
// tools: cd-info, bchunk, isoinfo, xorriso, bsdtar, iat and vcd-info.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "halvorin.h"
#include "tests/aspi/aspi_test_support.h"

namespace {

using aspitest::Media;
using Bytes = std::vector<char>;

std::string BuildDir() {
  const char* dir = std::getenv("QUORVA_BUILD_DIR");
  return dir ? dir : ".";
}

Bytes Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// `part` begins with `whole` and holds only zeros after it (sector padding, post-gaps).
bool BeginsWithThenZeros(const Bytes& part, const Bytes& whole) {
  if (part.size() < whole.size() || !std::equal(whole.begin(), whole.end(), part.begin()))
    return false;
  return std::all_of(part.begin() + static_cast<long>(whole.size()), part.end(),
                     [](char c) { return c == 0; });
}

// The samples of a canonical WAV file (its 44-byte header off).
Bytes Pcm(const Bytes& wav) {
  return Bytes(wav.begin() + std::min<size_t>(44, wav.size()), wav.end());
}

class BurnModesC : public aspitest::AspiTest {
 protected:
  void SetUp() override {
    aspitest::AspiTest::SetUp();
    for (int i = 0; i < 40; ++i) {
      std::string content(1000 + i * 997, '\0');
      for (size_t k = 0; k < content.size(); ++k) content[k] = static_cast<char>(k * 31 + i);
      WriteFile(dir.P("src/f" + std::to_string(i) + ".bin"), content);
    }
    WriteFile(dir.P("src/big.bin"), std::string(700 * 1024, 'q'));
    WriteFile(dir.P("tree/sub/leaf.txt"), "leaf\n");
    WriteFile(dir.P("tree/odd name.dat"), std::string(4097, 'o'));
    WriteFile(dir.P("tree/big.dat"), std::string(800 * 1024, 't'));
    Run("xorriso -as mkisofs -quiet -V QUORVA_DATA -o " + dir.P("data.iso") + " " + dir.P("src"));
    // 4.5 s is no whole number of sectors, 5 s is.
    Run("sox -n -r 44100 -c 2 -b 16 " + dir.P("a.wav") + " synth 4.5 sine 440 vol 0.5");
    Run("sox -n -r 44100 -c 2 -b 16 " + dir.P("b.wav") + " synth 5 sine 660 vol 0.5");
    iso = Slurp(dir.P("data.iso"));
    a = Pcm(Slurp(dir.P("a.wav")));
    b = Pcm(Slurp(dir.P("b.wav")));
    ASSERT_NE(a.size() % 2352, 0u);
    // An image of no whole number of raw sectors.
    std::string bad(2448 * 3 + 5, '\0');
    bad.replace(0, 12, std::string("\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0", 12));
    bad[15] = 1;
    WriteFile(dir.P("bad.qvf"), bad);
  }

  std::string Run(const std::string& command) {
    std::string out;
    EXPECT_EQ(RunCommand(command + " 2>&1", &out), 0) << command << "\n" << out;
    return out;
  }
  // Runs one case of the C program; its output is its failed checks.
  void Case(const std::string& name) {
    std::string out;
    const std::string command =
        BuildDir() + "/lib/halvorin_burn_c " + name + " '" + dir.Win() + "' 2>&1";
    EXPECT_EQ(RunCommand(command, &out), 0) << out;
    EXPECT_EQ(out, "");
  }
  std::string Disc(int serial, const std::string& extension, int recorder = 0) {
    char name[96];
    std::snprintf(name, sizeof name, "home/VirtualRecorders/Recorder%d/Recorder%d-%04d.%s",
                  recorder, recorder, serial, extension.c_str());
    return dir.P(name);
  }
  // cd-info's track list: numbers, addresses, kinds and the lead-out.
  static std::string TrackList(const std::string& info) {
    const size_t from = info.find("CD-ROM Track List"), to = info.find("Media Catalog");
    return from == std::string::npos ? info : info.substr(from, to - from);
  }
  std::string CdInfo(int serial) {
    return Run("cd-info --no-device-info --no-cddb --cue-file " + Disc(serial, "cue"));
  }
  // bchunk's tracks of a disc into out<serial>/t01.iso, t02.wav, ...
  std::string Bchunk(int serial, bool wav) {
    const std::string out = dir.P("out" + std::to_string(serial));
    std::filesystem::create_directories(out);
    Run("cd " + out + " && bchunk " + std::string(wav ? "-w " : "") + Disc(serial, "bin") + " " +
        Disc(serial, "cue") + " t");
    return out;
  }
  // xorriso, bsdtar and isoinfo read the image: the folder's files at its root ("src", the
  // data ISO's), or the folder itself there ("tree", added to a tree as a root folder).
  void ExpectIsoHolds(const std::string& image, const std::string& folder) {
    const std::string x = image + ".x", t = image + ".t";
    const std::string inside = folder == "src" ? "" : "/" + folder;
    Run("xorriso -osirrox on -indev " + image + " -extract / " + x);
    Run("diff -r " + dir.P(folder) + " " + x + inside);
    std::filesystem::create_directories(t);
    Run("bsdtar -xf " + image + " -C " + t);
    Run("diff -r " + dir.P(folder) + " " + t + inside);
    const std::string listing = Run("isoinfo -l -i " + image);
    EXPECT_NE(listing.find(folder == "src" ? "F0.BIN" : "BIG.DAT"), std::string::npos) << listing;
  }
  // A disc of two audio tracks of a.wav and b.wav: their PCM comes back from bchunk.
  void ExpectAudioDisc(int serial) {
    const std::string info = CdInfo(serial);
    EXPECT_NE(info.find("audio"), std::string::npos) << info;
    EXPECT_EQ(info.find("data"), std::string::npos) << info;
    const std::string out = Bchunk(serial, true);
    EXPECT_TRUE(BeginsWithThenZeros(Pcm(Slurp(out + "/t01.wav")), a));
    EXPECT_TRUE(BeginsWithThenZeros(Pcm(Slurp(out + "/t02.wav")), b));
  }

  Bytes iso, a, b;
};

TEST_F(BurnModesC, SessionAtOnceDataAudioXaAndAudioOnly) {
  Recorders({Media::CdR});
  Case("sao");
  // Disc 1: a Mode 1 track and two audio tracks.
  std::string info = CdInfo(1);
  EXPECT_NE(info.find("  1: 00:02:00  000000 data"), std::string::npos) << info;
  EXPECT_NE(info.find("  2: "), std::string::npos) << info;
  EXPECT_NE(info.find("  3: "), std::string::npos) << info;
  std::string out = Bchunk(1, true);
  EXPECT_TRUE(BeginsWithThenZeros(Slurp(out + "/t01.iso"), iso));
  EXPECT_TRUE(BeginsWithThenZeros(Pcm(Slurp(out + "/t02.wav")), a));
  EXPECT_TRUE(BeginsWithThenZeros(Pcm(Slurp(out + "/t03.wav")), b));
  ExpectIsoHolds(out + "/t01.iso", "src");
  // Disc 2: the same data as XA, read through the .iso export.
  info = CdInfo(2);
  EXPECT_NE(info.find("XA"), std::string::npos) << info;
  EXPECT_TRUE(BeginsWithThenZeros(Slurp(Disc(2, "iso")), iso));
  ExpectIsoHolds(Disc(2, "iso"), "src");
  // Disc 3: audio only; the last track's 600 post-gap sectors run to the lead-out.
  ExpectAudioDisc(3);
  const std::uint64_t sectorsA = (a.size() + 2351) / 2352, sectorsB = b.size() / 2352;
  EXPECT_EQ(Slurp(Disc(3, "bin")).size(), (sectorsA + 150 + sectorsB + 600) * 2352);
}

TEST_F(BurnModesC, TrackAtOnceAudioFilesAndAPipe) {
  Recorders({Media::CdR});
  Case("tao");
  ExpectAudioDisc(1);
  EXPECT_TRUE(BeginsWithThenZeros(Slurp(Disc(2, "iso")), iso));
  ExpectIsoHolds(Disc(2, "iso"), "src");
}

TEST_F(BurnModesC, DiscAtOnceFromFiles) {
  Recorders({Media::CdR});
  Case("dao");
  ExpectAudioDisc(1);
  ExpectAudioDisc(2);
  for (int serial : {3, 4}) {
    const std::string info = CdInfo(serial);
    EXPECT_NE(info.find("  1: 00:02:00  000000 data"), std::string::npos) << info;
    EXPECT_TRUE(BeginsWithThenZeros(Slurp(Disc(serial, "iso")), iso));
    ExpectIsoHolds(Disc(serial, "iso"), "src");
  }
}

TEST_F(BurnModesC, DiscAtOnceFromAGrabbedImageAndATree) {
  Recorders({Media::CdR});
  Case("dao-image");
  Run("cd " + dir.Posix() + " && iat g.qvf g-iat.iso");
  EXPECT_TRUE(BeginsWithThenZeros(Slurp(dir.P("g-iat.iso")), iso));
  for (int serial : {2, 3}) {
    EXPECT_TRUE(BeginsWithThenZeros(Slurp(Disc(serial, "iso")), iso)) << serial;
    ExpectIsoHolds(Disc(serial, "iso"), "src");
  }
  for (int serial : {4, 5}) ExpectIsoHolds(Disc(serial, "iso"), "tree");
  // The refused orders wrote nothing.
  EXPECT_FALSE(std::filesystem::exists(Disc(6, "iso")));
}

TEST_F(BurnModesC, RawRoundTripKeepsTocAndMainChannel) {
  Recorders({Media::CdR});
  Case("round-trip");
  const std::string first = TrackList(CdInfo(1));
  EXPECT_NE(first.find(" audio "), std::string::npos) << first;
  EXPECT_EQ(first, TrackList(CdInfo(2)));
  const Bytes bin1 = Slurp(Disc(1, "bin")), bin2 = Slurp(Disc(2, "bin"));
  EXPECT_EQ(bin1.size(), bin2.size());
  EXPECT_TRUE(bin1 == bin2);
  Run("cd " + dir.Posix() + " && iat rt.qvf rt-iat.iso");
  EXPECT_TRUE(std::equal(iso.begin(), iso.end(), Slurp(dir.P("rt-iat.iso")).begin()));
}

TEST_F(BurnModesC, VideoCDAndSuperVideoCDBothWays) {
  Recorders({Media::CdR});
  Run("ffmpeg -v error -y -f lavfi -i testsrc -f lavfi -i sine -t 3 -target ntsc-vcd " +
      dir.P("v.mpg"));
  Run("ffmpeg -v error -y -f lavfi -i testsrc -f lavfi -i sine -t 3 -target ntsc-svcd " +
      dir.P("s.mpg"));
  Case("videocd");
  for (int serial = 1; serial <= 4; ++serial) {
    SCOPED_TRACE(serial);
    const bool super = serial > 2;
    const std::string info = Run("vcd-info --no-ext-psd --cue-file " + Disc(serial, "cue"));
    EXPECT_NE(info.find(super ? "SVCD" : "VCD 2.0"), std::string::npos) << info;
    const std::string out = Bchunk(serial, false);
    const std::string listing = Run("isoinfo -l -i " + out + "/t01.iso");
    EXPECT_NE(listing.find(super ? "AVSEQ01.MPG;1" : "AVSEQ01.DAT;1"), std::string::npos)
        << listing;
  }
}

TEST_F(BurnModesC, EveryGrab) {
  Recorders({Media::CdR, Media::DvdR});
  std::string dvd(5 * 1024 * 1024 + 6144, '\0');
  for (size_t i = 0; i < dvd.size(); ++i) dvd[i] = static_cast<char>(i * 7 + i / 2048);
  WriteFile(dir.P("dvd.bin"), dvd);
  Case("grabs");
  EXPECT_TRUE(BeginsWithThenZeros(Slurp(dir.P("t1.iso")), iso));
  EXPECT_TRUE(BeginsWithThenZeros(Pcm(Slurp(dir.P("t2.wav"))), a));
  EXPECT_TRUE(Slurp(dir.P("range.bin")) == Bytes(iso.begin() + 16 * 2048, iso.begin() + 26 * 2048));
  // Read modes 2 and 3 see the disc's Q, so their images mark the pause before track 2 as the
  // disc has it; read mode 1 sees no Q: its image is the same but for that pause's Q.
  const Bytes cd1 = Slurp(dir.P("cd1.qvf")), cd3 = Slurp(dir.P("cd3.qvf"));
  EXPECT_TRUE(cd3 == Slurp(dir.P("cd2.qvf")));
  ASSERT_EQ(cd1.size(), cd3.size());
  for (std::size_t at = 0; at < cd1.size(); at += 2448)
    ASSERT_EQ(std::memcmp(cd1.data() + at, cd3.data() + at, 2352), 0) << at / 2448;
  Run("cd " + dir.Posix() + " && iat cd3.qvf cd3-iat.iso");
  EXPECT_TRUE(std::equal(iso.begin(), iso.end(), Slurp(dir.P("cd3-iat.iso")).begin()));
  // The DVD parts joined are the disc the recorder exported.
  Bytes joined = Slurp(dir.P("dvd.qvf"));
  for (int part = 1; std::filesystem::exists(dir.P("dvd.qv" + std::to_string(part))); ++part) {
    const Bytes p = Slurp(dir.P("dvd.qv" + std::to_string(part)));
    joined.insert(joined.end(), p.begin(), p.end());
  }
  EXPECT_GT(joined.size(), 2u * 1024 * 1024);
  EXPECT_TRUE(joined == Slurp(Disc(1, "iso", 1)));
}

TEST_F(BurnModesC, Refusals) {
  Recorders({Media::CdR});
  Run("ffmpeg -v error -y -f lavfi -i testsrc -t 1 -target ntsc-vcd " + dir.P("v.mpg"));
  Run("cp " + dir.P("v.mpg") + " " + dir.P("s.mpg"));
  Run("sox -n -r 44100 -c 2 -b 16 " + dir.P("long.wav") + " synth 100 sine 440 vol 0.5");
  Case("refusals");
}

// A VideoCD Ex mode above 1 gives 16 before the drive hears of it.
TEST_F(BurnModesC, VideoCDExModeAbove1SendsNoCommand) {
  Recorders({Media::CdR});
  Halvorin_UpStart();
  void* burner = nullptr;
  char text[256] = {};
  uint32_t error = 0;
  CDB_FAILURE_INFORMATION failure{};
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, nullptr,
                                              nullptr, 0, 0, 0, 0, 0),
            0u);
  platform::aspi::testing::ClearCdbLog(0);
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_VideoCDEx(burner, text, sizeof text, &error, &failure, 2,
                                                 "Z:\\none.mpg", "L", 1, 1, 0, 0, 0),
            16u);
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_SuperVideoCDEx(burner, text, sizeof text, &error, &failure,
                                                      3, "Z:\\none.mpg", "L", 1, 1, 0, 0, 0),
            16u);
  EXPECT_TRUE(platform::aspi::testing::CdbLog(0).empty());
  EXPECT_STREQ(text, "");
  Halvorin_Destroy(&burner);
}

}  // namespace
