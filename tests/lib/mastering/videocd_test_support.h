// Helpers of the VideoCD tests: a library folder of the test's own with freshly built
// templates, MPEG streams from ffmpeg, and the fixture that writes both tracks.
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

class VideoCD : public SessionAtOnce {
 protected:
  void SetUp() override {
    SessionAtOnce::SetUp();
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
    SessionAtOnce::TearDown();
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
};

}  // namespace burnertest
