// The VideoCD and Super VideoCD exports, both forms: files that are no MPEG stream of the
// disc's kind and discs that cannot take the whole VideoCD refused before a sector is written;
// both kinds read back by vcd-info without a warning, their payload the stream; labels cut
// between characters; the stream check on pack headers of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "halvorin.h"
#include "lib/mastering/videocd/mpeg_program_stream.h"
#include "tests/lib/mastering/videocd_test_support.h"

namespace burnertest {
namespace {

// The export of each kind and form: track-at-once (the plain export), session-at-once (Ex 1).
struct Form {
  bool super, sao;
  std::string Name() const {
    return std::string(super ? "Super VideoCD" : "VideoCD") +
           (sao ? " session-at-once" : " track-at-once");
  }
};
constexpr Form kForms[] = {{false, false}, {false, true}, {true, false}, {true, true}};

class VideoCDExports : public VideoCD {
 protected:
  HALVORIN_STATUS Write(const Form& f, const std::string& mpeg, const std::string& label = "L") {
    const std::string name = dir.W(mpeg);
    if (f.super)
      return f.sao ? Halvorin_CdvdBurnerGrabber_SuperVideoCDEx(BURNER_ARGS, 1, name.c_str(),
                                                               label.c_str(), 1, 1, 0, 0, 0)
                   : Halvorin_CdvdBurnerGrabber_SuperVideoCD(BURNER_ARGS, name.c_str(),
                                                             label.c_str(), 1, 1, 0, 0, 0);
    return f.sao ? Halvorin_CdvdBurnerGrabber_VideoCDEx(BURNER_ARGS, 1, name.c_str(), label.c_str(),
                                                        1, 1, 0, 0, 0)
                 : Halvorin_CdvdBurnerGrabber_VideoCD(BURNER_ARGS, name.c_str(), label.c_str(), 1,
                                                      1, 0, 0, 0);
  }
  // Commands of the recorder's log that write the disc.
  int Writes() {
    int n = 0;
    for (const auto& r : at::CdbLog(0))
      if (r.cdb.at(0) == 0x2A || r.cdb.at(0) == 0x5D) ++n;
    return n;
  }
  // A fresh recorder holding a blank of this medium.
  void Fresh(Media media) {
    if (burner) Halvorin_Destroy(&burner);
    at::ConfigureRecorders({});
    std::filesystem::remove_all(dir.P("home"));
    Devices({media});
    ASSERT_EQ(Create(), 0u) << text;
  }
  // A sparse file whose first pack is that of the stream, `bytes` long.
  void Sparse(const std::string& name, const std::string& stream, std::uint64_t bytes) {
    const Bytes head = Slurp(dir.P(stream));
    std::ofstream f(dir.P(name), std::ios::binary);
    f.write(reinterpret_cast<const char*>(head.data()), 2324);
    f.seekp(static_cast<std::streamoff>(bytes - 1));
    f.put('\0');
  }
};

TEST(MPEGPackHeader, KindsOfTheFirstPack) {
  // The seeds' pack headers: MPEG-1, and MPEG-2 with two stuffing bytes; then a system header.
  const Bytes mpeg1{0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01,
                    0x80, 0x1B, 0x83, 0x00, 0x00, 0x01, 0xBB, 0x00, 0x09};
  const Bytes mpeg2{0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01,
                    0x89, 0xC3, 0xFA, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0xBB, 0x00, 0x12};
  struct Row {
    const char* name;
    Bytes bytes;
    int kind;
  };
  auto with = [](Bytes b, std::size_t at, std::uint8_t v) {
    b.at(at) = v;
    return b;
  };
  const Row rows[] = {
      {"MPEG-1", mpeg1, kHalvorinMPEG1Stream},
      {"MPEG-2", mpeg2, kHalvorinMPEG2Stream},
      {"empty", {}, kHalvorinNoMPEGStream},
      {"MPEG-1 cut in its header", Bytes(mpeg1.begin(), mpeg1.begin() + 11), kHalvorinNoMPEGStream},
      {"MPEG-1 without what follows", Bytes(mpeg1.begin(), mpeg1.begin() + 12),
       kHalvorinNoMPEGStream},
      {"MPEG-1, a marker bit clear", with(mpeg1, 9, 0x00), kHalvorinNoMPEGStream},
      {"MPEG-2, a marker bit clear", with(mpeg2, 12, 0xC1), kHalvorinNoMPEGStream},
      {"MPEG-2, stuffing not FFh", with(mpeg2, 15, 0x00), kHalvorinNoMPEGStream},
      {"MPEG-2, more stuffing than bytes", with(Bytes(mpeg2.begin(), mpeg2.begin() + 16), 13, 0xFF),
       kHalvorinNoMPEGStream},
      {"a pack followed by a picture start code", with(mpeg1, 15, 0x00), kHalvorinNoMPEGStream},
      {"a video elementary stream",
       {0x00, 0x00, 0x01, 0xB3, 0x16, 0x00, 0xF0, 0x13},
       kHalvorinNoMPEGStream},
      {"text", Bytes({'M', 'P', 'E', 'G', '-', '1', ' ', 's', 't', 'r', 'e', 'a', 'm', '\n'}),
       kHalvorinNoMPEGStream},
  };
  for (const Row& r : rows)
    EXPECT_EQ(HalvorinI_MPEGPackHeaderKind(r.bytes.data(), r.bytes.size()), r.kind) << r.name;
  EXPECT_EQ(HalvorinI_MPEGPackHeaderKind(nullptr, 20), kHalvorinNoMPEGStream);
}

// Whatever is not a program stream of the disc's kind is refused with 2, in both forms, before
// the drive hears a command; so is a file that does not exist (5).
TEST_F(VideoCDExports, FilesThatAreNoStreamOfTheKindAreRefusedBeforeAnyCommand) {
  DiscStream("vcd.mpg", false);
  DiscStream("svcd.mpg", true);
  std::string noise(200000, '\0');
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 7919 >> 3);
  WriteFile(dir.P("noise.mpg"), noise);
  WriteFile(dir.P("text.mpg"), "This is a text file, not a film.\n");
  WriteFile(dir.P("empty.mpg"), "");
  const Bytes vcd = Slurp(dir.P("vcd.mpg"));
  WriteFile(dir.P("cut.mpg"), std::string(vcd.begin(), vcd.begin() + 11));
  struct Row {
    const char* file;
    bool super;
    HALVORIN_STATUS status;
    std::string text;
  };
  const Row rows[] = {
      {"noise.mpg", false, 2, "is not an MPEG program stream"},
      {"noise.mpg", true, 2, "is not an MPEG program stream"},
      {"text.mpg", false, 2, "is not an MPEG program stream"},
      {"empty.mpg", true, 2, "is not an MPEG program stream"},
      {"cut.mpg", false, 2, "is not an MPEG program stream"},
      {"svcd.mpg", false, 2, "is an MPEG-2 program stream, a VideoCD takes MPEG-1"},
      {"vcd.mpg", true, 2, "is an MPEG-1 program stream, a Super VideoCD takes MPEG-2"},
      {"missing.mpg", false, 5, ""},
  };
  Fresh(Media::CdR);
  for (const Row& r : rows)
    for (bool sao : {false, true}) {
      const Form f{r.super, sao};
      SCOPED_TRACE(std::string(r.file) + ", " + f.Name());
      at::ClearCdbLog(0);
      std::memset(text, 0, sizeof text);
      EXPECT_EQ(Write(f, r.file), r.status) << text;
      EXPECT_NE(std::string(text).find(r.text), std::string::npos) << text;
      if (r.status == 2) {
        EXPECT_NE(std::string(text).find(dir.W(r.file)), std::string::npos) << text;
      }
      EXPECT_TRUE(at::CdbLog(0).empty()) << at::CdbLog(0).size() << " commands";
    }
  // The disc is still the blank it was: a VideoCD goes on it.
  ASSERT_EQ(Write({false, false}, "vcd.mpg"), 0u) << text;
}

// A disc that cannot take the whole VideoCD is refused before its first sector is written, so
// that a write-once disc stays blank: no CD, a disc that is not blank (the template's
// addresses start at LBA 0), an MPEG file larger than the disc.
TEST_F(VideoCDExports, DiscsThatCannotTakeItAreRefusedBeforeTheFirstSector) {
  DiscStream("vcd.mpg", false);
  DiscStream("svcd.mpg", true);
  Sparse("big1.mpg", "vcd.mpg", 900ull << 20);
  Sparse("big2.mpg", "svcd.mpg", 900ull << 20);
  struct Row {
    const char* name;
    Media media;
    bool appendable;
    bool big;
    HALVORIN_STATUS tao, sao;
    const char* taoText;
    const char* saoText;
  };
  const Row rows[] = {
      {"DVD-R", Media::DvdR, false, false, 10, 10, "not valid for a VideoCD", "not valid for SAO"},
      {"DVD+RW", Media::DvdPlusRw, false, false, 10, 10, "not valid for a VideoCD",
       "not valid for SAO"},
      {"appendable CD-R", Media::CdR, true, false, 2, 10, "is not empty, a VideoCD is laid out",
       "NWA not valid"},
      {"900 MB on a CD-R", Media::CdR, false, true, 10, 10, "is larger the free LBs",
       "is larger the free LBs"},
  };
  for (const Row& r : rows)
    for (const Form& f : kForms) {
      SCOPED_TRACE(std::string(r.name) + ", " + f.Name());
      Fresh(r.media);
      if (r.appendable) {
        WriteFile(dir.P("first.bin"), std::string(2048 * 300, 'f'));
        ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(
                      BURNER_ARGS, dir.W("first.bin").c_str(), 0, 0, 1, 0, 0),
                  0u)
            << text;
        ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
      }
      const auto before = at::Recorder(0).CurrentDisc();
      at::ClearCdbLog(0);
      const char* mpeg =
          r.big ? (f.super ? "big2.mpg" : "big1.mpg") : (f.super ? "svcd.mpg" : "vcd.mpg");
      EXPECT_EQ(Write(f, mpeg), f.sao ? r.sao : r.tao) << text;
      EXPECT_NE(std::string(text).find(f.sao ? r.saoText : r.taoText), std::string::npos) << text;
      EXPECT_EQ(Writes(), 0);
      // Track-at-once keeps the disc in the drive, as it was (session-at-once ejects it).
      if (!f.sao) {
        const auto after = at::Recorder(0).CurrentDisc();
        EXPECT_EQ(after.tracks, before.tracks);
        EXPECT_EQ(after.sessions, before.sessions);
      }
    }
}

// Both kinds in both forms through the exports: vcd-info finds the kind and no fault, the
// Super VideoCD's entries under their standard name and its search file; the payload of
// track 2 is the stream.
TEST_F(VideoCDExports, BothKindsReadBackByVcdInfoWithoutWarnings) {
  for (const Form& f : kForms) {
    SCOPED_TRACE(f.Name());
    const std::string mpeg = f.super ? "svcd.mpg" : "vcd.mpg";
    if (!std::filesystem::exists(dir.P(mpeg))) DiscStream(mpeg, f.super);
    const Bytes input = Slurp(dir.P(mpeg));
    const std::uint64_t units = (input.size() + 2323) / 2324;
    Fresh(Media::CdR);
    ASSERT_EQ(Write(f, mpeg, "QUORVA"), 0u) << text;
    const ReadBack r = EjectAndReadVideoCD(units);
    EXPECT_NE(r.cdInfo.find(f.super ? "Super Video CD" : "Video CD"), std::string::npos)
        << r.cdInfo;
    EXPECT_EQ(r.vcdInfo.find("WARN"), std::string::npos) << r.vcdInfo;
    EXPECT_EQ(r.vcdInfo.find("ERROR"), std::string::npos) << r.vcdInfo;
    EXPECT_NE(r.vcdInfo.find(f.super ? "SVCD detected" : "VCD 2.0 detected"), std::string::npos)
        << r.vcdInfo;
    EXPECT_NE(r.vcdInfo.find("ID: `ENTRYVCD'"), std::string::npos) << r.vcdInfo;
    EXPECT_NE(r.vcdInfo.find("album id: `QUORVA'"), std::string::npos) << r.vcdInfo;
    if (f.super) {
      EXPECT_NE(r.vcdInfo.find("SVCD/SEARCH.DAT"), std::string::npos) << r.vcdInfo;
      EXPECT_NE(r.vcdInfo.find("ID: `SEARCHSV'"), std::string::npos) << r.vcdInfo;
    }
    ASSERT_GE(r.track01.size(), 598u * 2048);
    Bytes expected = input;
    expected.resize(units * 2324, 0);
    EXPECT_EQ(r.payload.size(), expected.size());
    EXPECT_TRUE(r.payload == expected);
  }
}

// Labels longer than a field end before the character that does not fit whole: the album id
// (16 bytes), the volume id (32) and the volume set id (128), read back by vcd-info and isoinfo.
TEST_F(VideoCDExports, LabelsAreCutBetweenCharacters) {
  DiscStream("vcd.mpg", false);
  // "A" then two-byte characters: byte 16 and byte 32 fall inside one.
  std::string label = "A";
  for (int i = 0; i < 80; ++i) label += "\xC3\x84";  // U+00C4
  const std::string album = label.substr(0, 15), volume = label.substr(0, 31),
                    set = label.substr(0, 127);
  for (const Form& f : {kForms[0], kForms[1]}) {
    SCOPED_TRACE(f.Name());
    Fresh(Media::CdR);
    ASSERT_EQ(Write(f, "vcd.mpg", label), 0u) << text;
    const ReadBack r = EjectAndReadVideoCD(0);
    EXPECT_NE(r.vcdInfo.find("album id: `" + album + "'"), std::string::npos) << r.vcdInfo;
    const std::uint8_t* pvd = r.track01.data() + 16 * 2048;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 40), 32), volume + " ");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 190), 128), set + " ");
    const std::string iso = dir.P("readback/track01.iso");
    const std::string d = Run("isoinfo -d -i " + iso);
    EXPECT_NE(d.find("Volume id: " + volume + "\n"), std::string::npos) << d;
  }
}

}  // namespace
}  // namespace burnertest
