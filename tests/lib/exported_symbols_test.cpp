// The shared library exports the Halvorin_* functions and FreeTrackArrayObjects, nothing else,
// as `nm -D` sees it; the platform layers it calls are not inside it.
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

// The layers' state (the registry's connection, the debug sink, the adapters) is in their own
// shared library alone: neither the recording library nor the program holds a copy of it.
TEST(ExportedSymbols, PlatformLayersLiveInTheirOwnLibrary) {
  const char* build = std::getenv("QUORVA_BUILD_DIR");
  const std::string root = build ? build : ".";
  for (const std::string& file : {root + "/lib/libhalvorin.so", root + "/app/ui/QuorvaBackup"}) {
    SCOPED_TRACE(file);
    std::string out;
    ASSERT_EQ(RunCommand("readelf -d " + file, &out), 0) << out;
    EXPECT_NE(out.find("Shared library: [libquorva_platform.so]"), std::string::npos) << out;
    ASSERT_EQ(RunCommand("nm -C --defined-only " + file, &out), 0) << out;
    std::istringstream lines(out);
    std::string line;
    int symbols = 0;
    while (std::getline(lines, line)) {
      // "<address> <kind> <name>": data of the layers' namespace, or the guard of a static
      // of one of their functions.
      if (line.size() < 3) continue;
      ++symbols;
      const size_t kindAt = line.find(' ');
      if (kindAt == std::string::npos || kindAt + 3 > line.size()) continue;
      const char kind = line[kindAt + 1];
      const std::string name = line.substr(kindAt + 3);
      if (std::string("BbDdSsGg").find(kind) == std::string::npos) continue;
      EXPECT_NE(name.rfind("platform::", 0), 0u) << line;
      EXPECT_NE(name.rfind("guard variable for platform::", 0), 0u) << line;
    }
    EXPECT_GT(symbols, 100);
  }
}

}  // namespace
