// Helpers of the burner tests: the backup program's burn sequence through the exports, the
// callbacks it records, and the exported image compared with the source by outside tools.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "halvorin.h"
#include "tests/lib/lib_test_support.h"

namespace burnertest {

using libtest::Media;
namespace at = platform::aspi::testing;

struct Events {
  std::vector<uint32_t> reasons;
  int64_t lastTotal = 0, lastWritten = 0;
  std::function<void(uint32_t)> onReason;  // called after the reason is recorded
};

inline void Record(uint32_t reason, void* context, void* p1, void* p2) {
  auto* e = static_cast<Events*>(context);
  if (!e) return;
  e->reasons.push_back(reason);
  if (reason == HALVORIN_CALLBACK_REASON_WRITE_PROGRESS) {
    e->lastTotal = *static_cast<int64_t*>(p1);
    e->lastWritten = *static_cast<int64_t*>(p2);
  }
  if (e->onReason) e->onReason(reason);
}

class BurnerTest : public libtest::LibTest {
 protected:
  void SetUp() override {
    libtest::LibTest::SetUp();
    Halvorin_UpStart();
  }
  void TearDown() override {
    if (burner) Halvorin_Destroy(&burner);
    if (tree) Halvorin_Destroy(&tree);
    libtest::LibTest::TearDown();
  }

#define BURNER_ARGS burner, text, sizeof text, &error, &failure
  HALVORIN_STATUS Create(uint8_t target = 0) {
    return Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, &Record,
                                             &events, 0, 0, target, 0, 0);
  }

  // A tree of one file named `label` holding `bytes`, built at `start`.
  HALVORIN_STATUS BuildTree(const std::string& file, const std::string& label, int32_t start) {
    if (tree) Halvorin_Destroy(&tree);
    HALVORIN_STATUS s = Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &error,
                                                              nullptr, nullptr, 1, 0, 1, 1);
    if (s) return s;
    void* root = Halvorin_ISO9660JolietFileTree_GetRoot(tree);
    s = Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &error, file.c_str(),
                                           label.c_str(), 2, &root);
    if (s) return s;
    const uint32_t level = Halvorin_ISO9660JolietFileTree_GetLevel(tree);
    return Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &error, start, level,
                                                     1, label.c_str(), "QB.exe", "QB.exe");
  }

  // The disc destination's sequence for one volume; the first failing status.
  HALVORIN_STATUS BurnVolume(const std::string& winFile, const std::string& label, bool erase,
                             uint8_t multiSession = 0) {
    HALVORIN_STATUS s = Create();
    if (s) return s;
    if (erase) Halvorin_CdvdBurnerGrabber_Blank(BURNER_ARGS, 0);
    if ((s = Halvorin_CdvdBurnerGrabber_TestUnitReady(BURNER_ARGS))) return s;
    uint8_t enabled = 0, supported = 0;
    if (Halvorin_CdvdBurnerGrabber_GetBUP(BURNER_ARGS, &enabled, &supported) == 0 && supported)
      Halvorin_CdvdBurnerGrabber_SetBUP(BURNER_ARGS, 1);
    Halvorin_CdvdBurnerGrabber_SetSpeeds(BURNER_ARGS, 0xFFFF, 0xFFFF);
    TRACK_INFORMATION info{};
    Halvorin_CdvdBurnerGrabber_GetTrackInformation(BURNER_ARGS, 255, &info);
    start = info.m__LONG__NextWritableAddress;
    if ((s = BuildTree(winFile, label, start))) return s;
    Halvorin_CdvdBurnerGrabber_SendOPC(BURNER_ARGS);
    if ((s = Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 1, 0, multiSession,
                                                            1, 5)))
      return s;
    Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS);
    Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS);
    Halvorin_Destroy(&burner);
    Halvorin_Destroy(&tree);
    return 0;
  }

  // The image the recorder left for disc `serial`.
  std::string Image(int serial = 1) {
    char name[64];
    std::snprintf(name, sizeof name, "home/VirtualRecorders/Recorder0/Recorder0-%04d.iso", serial);
    return dir.P(name);
  }

  // Extracts the Joliet tree with xorriso and bsdtar (and one file with isoinfo) and compares
  // each with the source folder.
  void ExpectImageHolds(const std::string& iso, const std::string& sourceDir,
                        const std::string& label, int32_t sessionStart = 0,
                        const std::string& jolietVersion = ";1") {
    std::string out;
    const std::string x = dir.P("x-xorriso" + std::to_string(sessionStart));
    const std::string t = dir.P("x-bsdtar" + std::to_string(sessionStart));
    std::filesystem::create_directories(t);
    if (sessionStart == 0) {
      EXPECT_EQ(RunCommand("xorriso -osirrox on -indev " + iso + " -extract / " + x, &out), 0)
          << out;
      EXPECT_EQ(RunCommand("diff -r " + sourceDir + " " + x, &out), 0) << out;
      EXPECT_EQ(RunCommand("bsdtar -xf " + iso + " -C " + t, &out), 0) << out;
      EXPECT_EQ(RunCommand("diff -r " + sourceDir + " " + t, &out), 0) << out;
    }
    EXPECT_EQ(RunCommand("isoinfo -d -i " + iso + " -T " + std::to_string(sessionStart), &out), 0)
        << out;
    EXPECT_NE(out.find("Volume id: " + label), std::string::npos) << out;
    EXPECT_EQ(RunCommand("isoinfo -J -i " + iso + " -T " + std::to_string(sessionStart) + " -x '/" +
                             label + jolietVersion + "' | cmp - " + sourceDir + "/" + label,
                         &out),
              0)
        << out;
  }

  void* burner = nullptr;
  void* tree = nullptr;
  char text[1024] = {};
  uint32_t error = 0;
  CDB_FAILURE_INFORMATION failure{};
  Events events;
  int32_t start = 0;
};

}  // namespace burnertest
