// Helpers of the VideoCD tests: a library folder of the test's own with freshly built
// templates, MPEG streams from ffmpeg, the fixture that writes both tracks, and the disc read
// back by outside tools. The fixture is built on the burner fixture it is given (the write
// exports' table takes it on the grab fixture).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "lib/core/library_folder.h"
#include "lib/mastering/videocd/mpeg12_track.h"
#include "lib/mastering/videocd/videocd_data_track.h"
#include "lib/mastering/videocd/videocd_template.h"
#include "tests/lib/burner/session_test_support.h"

namespace burnertest {

template <class Base>
class VideoCDOn : public Base {
 protected:
  using Base::dir;
  using Base::EjectAndReadCue;
  using Base::ImageBase;
  using Base::Run;

  void SetUp() override {
    Base::SetUp();
    std::filesystem::create_directories(dir.P("libdir"));
    for (bool super : {false, true}) {
      const auto image = HalvorinI_BuildVideoCDTemplate(super);
      WriteFile(LibFile(super ? kHalvorinSuperVideoCDTemplateName : kHalvorinVideoCDTemplateName),
                std::string(image.begin(), image.end()));
    }
    HalvorinI_SetLibraryFolderForTesting(dir.W("libdir"));
  }
  void TearDown() override {
    HalvorinI_SetLibraryFolderForTesting("");
    Base::TearDown();
  }
  std::string LibFile(const std::string& name) { return dir.P("libdir/" + name); }
  // An MPEG program stream of ffmpeg's test picture and tone.
  std::string Mpeg(const std::string& name, const std::string& options) {
    Run("ffmpeg -v error -y -f lavfi -i testsrc -f lavfi -i sine -t 3 " + options + " " +
        dir.P(name));
    return dir.P(name);
  }
  // The ffprobe duration of a file, in seconds.
  double Duration(const std::string& path) {
    return std::stod(Run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + path));
  }
  // A stream as each kind of disc plays it: MPEG-1 for a VideoCD, MPEG-2 for a Super VideoCD.
  std::string DiscStream(const std::string& name, bool super) {
    return Mpeg(name, super ? "-target ntsc-svcd" : "-target ntsc-vcd");
  }

  // What outside tools read of the ejected disc: cd-info and vcd-info of its .cue, bchunk's
  // track 1 (2048-byte blocks), and the MPEG payload of track 2 (bchunk's raw sectors from
  // the first MPEG unit on, 2324 bytes each behind the sync, header and subheader).
  struct ReadBack {
    std::string cdInfo, vcdInfo;
    Bytes track01, payload;
  };
  ReadBack EjectAndReadVideoCD(std::uint64_t mpegUnits) {
    ReadBack r;
    r.cdInfo = EjectAndReadCue();
    const std::string folder = dir.P("home/VirtualRecorders/Recorder0");
    r.vcdInfo = Run("vcd-info -B -c " + ImageBase() + ".cue 2>&1");
    const std::string out = dir.P("readback");
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out + "/raw");
    Run("cd " + folder + " && bchunk Recorder0-0001.bin Recorder0-0001.cue " + out + "/track");
    Run("cd " + folder + " && bchunk -r Recorder0-0001.bin Recorder0-0001.cue " + out +
        "/raw/track");
    r.track01 = Slurp(out + "/track01.iso");
    const Bytes raw = Slurp(out + "/raw/track02.iso");
    for (std::uint64_t k = 0; k < mpegUnits; ++k) {
      const std::size_t at = (kHalvorinMPEG12PaddingUnits + k) * 2352;
      if (at + 2352 > raw.size()) break;
      r.payload.insert(r.payload.end(), raw.begin() + at + 24, raw.begin() + at + 24 + 2324);
    }
    return r;
  }
};

using VideoCD = VideoCDOn<SessionAtOnce>;

}  // namespace burnertest
