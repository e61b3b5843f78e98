// Runs the C program of tests/lib/c/halvorin_burn_c.c, which burns a folder through halvorin.h
// and libhalvorin.so alone, then reads the disc image the recorder ejected with outside tools.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "halvorin.h"
#include "tests/aspi/aspi_test_support.h"

namespace {

using aspitest::Media;

std::string BuildDir() {
  const char* dir = std::getenv("QUORVA_BUILD_DIR");
  return dir ? dir : ".";
}

struct BurnCase {
  Media media;
  const char* name;
  DISC_TYPE type;
};

class BurnCApi : public aspitest::AspiTest, public ::testing::WithParamInterface<BurnCase> {};

TEST_P(BurnCApi, BurnsAFolderWhoseEjectedImageOutsideToolsExtractUnchanged) {
  const BurnCase& c = GetParam();
  Recorders({c.media});
  // Several folders, an empty file and sizes off the sector boundary.
  std::string data(2048 * 37 + 5, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 13 + i / 2048);
  WriteFile(dir.P("in/src/QUORVABACKUP.qbk"), data);
  WriteFile(dir.P("in/src/a/b/leaf.txt"), "leaf\n");
  WriteFile(dir.P("in/src/a/odd name.dat"), std::string(4097, 'o'));
  WriteFile(dir.P("in/src/a/empty"), "");

  std::string out;
  const std::string command = BuildDir() + "/lib/halvorin_burn_c 0 " + std::to_string(c.type) +
                              " '" + dir.W("in/src") + "' QUORVABACKUP 2>&1";
  ASSERT_EQ(RunCommand(command, &out), 0) << out;
  EXPECT_EQ(out, "");

  const std::string iso = dir.P("home/VirtualRecorders/Recorder0/Recorder0-0001.iso");
  ASSERT_TRUE(std::filesystem::exists(iso)) << iso;
  const std::string x = dir.P("x-xorriso"), t = dir.P("x-bsdtar");
  EXPECT_EQ(
      RunCommand("xorriso -osirrox on -indev '" + iso + "' -extract / '" + x + "' 2>&1", &out), 0)
      << out;
  EXPECT_EQ(RunCommand("diff -r '" + dir.P("in") + "' '" + x + "'", &out), 0) << out;
  std::filesystem::create_directories(t);
  EXPECT_EQ(RunCommand("bsdtar -xf '" + iso + "' -C '" + t + "' 2>&1", &out), 0) << out;
  EXPECT_EQ(RunCommand("diff -r '" + dir.P("in") + "' '" + t + "'", &out), 0) << out;
  EXPECT_EQ(RunCommand("xorriso -indev '" + iso + "' -pvd_info 2>&1", &out), 0) << out;
  EXPECT_NE(out.find("QUORVABACKUP"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(Media, BurnCApi,
                         ::testing::Values(BurnCase{Media::CdR, "CdR", DISC_TYPE_CDR},
                                           BurnCase{Media::DvdR, "DvdR", DISC_TYPE_DVDR},
                                           BurnCase{Media::DvdPlusR, "DvdPlusR",
                                                    DISC_TYPE_DVDPLUSR}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
