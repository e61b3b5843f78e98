// The shared library exports the Halvorin_* functions and FreeTrackArrayObjects, nothing else,
// as `nm -D` sees it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

TEST(ExportedSymbols, OnlyTheHalvorinFunctions) {
  const char* build = std::getenv("QUORVA_BUILD_DIR");
  const std::string library = std::string(build ? build : ".") + "/lib/libhalvorin.so";
  std::string out;
  ASSERT_EQ(RunCommand("nm -D --defined-only " + library, &out), 0) << out;
  std::set<std::string> names;
  std::istringstream lines(out);
  std::string address, kind, name;
  while (lines >> address >> kind >> name) {
    EXPECT_TRUE(name.rfind("Halvorin_", 0) == 0 || name == "FreeTrackArrayObjects")
        << kind << " " << name;
    EXPECT_EQ(kind, "T") << name;
    names.insert(name);
  }
  for (const char* f : {"Halvorin_UpStart",
                        "Halvorin_DownShut",
                        "Halvorin_GetVersion",
                        "Halvorin_GetDVDPadding",
                        "Halvorin_SetDVDPadding",
                        "Halvorin_FindDevice",
                        "Halvorin_Destroy",
                        "Halvorin_GetDeviceNameByDeviceAddress",
                        "Halvorin_CdvdBurnerGrabber_SetCDTextItem",
                        "Halvorin_CdvdBurnerGrabber_GrabTrack",
                        "Halvorin_CdvdBurnerGrabber_GrabRange",
                        "Halvorin_CdvdBurnerGrabber_GrabCD",
                        "Halvorin_CdvdBurnerGrabber_GrabDVD",
                        "Halvorin_CdvdBurnerGrabber_SessionAtOnce",
                        "Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW",
                        "Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile",
                        "Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile",
                        "Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromTree",
                        "Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree",
                        "Halvorin_CdvdBurnerGrabber_VideoCD",
                        "Halvorin_CdvdBurnerGrabber_VideoCDEx",
                        "Halvorin_CdvdBurnerGrabber_SuperVideoCD",
                        "Halvorin_CdvdBurnerGrabber_SuperVideoCDEx",
                        "FreeTrackArrayObjects"})
    EXPECT_EQ(names.count(f), 1u) << f;
}

}  // namespace
