// Media operations of the burner/grabber through the exports: formatting by Blank, the tray
// and its lock, speeds, disc information, and cancel of a running write.
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "tests/lib/burner/burner_test_support.h"

namespace burnertest {
namespace {

struct FormatCase {
  Media media;
  const char* name;
  uint32_t begin, end;
};

class BlankFormats : public BurnerTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(BlankFormats, ReportsItsReasonsInOrderAndLeavesADiscThatTakesAWrite) {
  const FormatCase& c = GetParam();
  Devices({c.media});
  WriteFile(dir.P("src/QUORVABACKUP"), std::string(2048 * 20 + 3, 'f'));
  ASSERT_EQ(Create(), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Blank(BURNER_ARGS, 0), 0u) << text;
  EXPECT_EQ(events.reasons, (std::vector<uint32_t>{c.begin, c.end}));

  // Formatted once: the write that follows does not format again.
  events.reasons.clear();
  ASSERT_EQ(BuildTree(dir.W("src/QUORVABACKUP"), "QUORVABACKUP", 0), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 1, 0, 0, 1, 0), 0u)
      << text;
  EXPECT_EQ(std::count(events.reasons.begin(), events.reasons.end(), c.begin), 0);
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
  ExpectImageHolds(Image(), dir.P("src"), "QUORVABACKUP");
}

INSTANTIATE_TEST_SUITE_P(Media, BlankFormats,
                         ::testing::Values(FormatCase{Media::DvdPlusRw, "DvdPlusRw",
                                                      DVDPLUSRW_FORMAT_BEGIN, DVDPLUSRW_FORMAT_END},
                                           FormatCase{Media::DvdRam, "DvdRam",
                                                      HALVORIN_CALLBACK_REASON_DVDRAM_FORMAT_BEGIN,
                                                      HALVORIN_CALLBACK_REASON_DVDRAM_FORMAT_END}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BurnerTest, LockedTrayRefusesEjectUntilReleasedAndLoadTakesAFreshBlank) {
  Devices({Media::DvdR});
  ASSERT_EQ(Create(), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Lock(BURNER_ARGS), 0u) << text;
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 8u);
  EXPECT_EQ(failure.m__UCHAR__IsValid, 1);
  EXPECT_EQ(failure.m__UCHAR__CDB[0], 0x1B);
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_GetInsertedDiscType(burner), DISC_TYPE_DVDR);

  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Release(BURNER_ARGS), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
  EXPECT_EQ(failure.m__UCHAR__IsValid, 0);
  // The tray takes a fresh blank of the same medium.
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Load(BURNER_ARGS), 0u) << text;
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_GetInsertedDiscType(burner), DISC_TYPE_DVDR);
  TRACK_INFORMATION info{};
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetTrackInformation(BURNER_ARGS, 255, &info), 0u) << text;
  EXPECT_EQ(info.m__BOOLEAN__IsBlank, 1);
}

// The read-mode probe never fails: a blank CD-R has no TOC and reads only cooked; after a
// closed track the raw reads answer as well.
TEST_F(BurnerTest, ReadModeProbeOfABlankDiscGivesCookedOnly) {
  Devices({Media::CdR});
  ASSERT_EQ(Create(), 0u) << text;
  uint8_t modes[6] = {9, 9, 9, 9, 9, 9};
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_ProbeSupportedReadModes(
                BURNER_ARGS, &modes[0], &modes[1], &modes[2], &modes[3], &modes[4], &modes[5]),
            0u)
      << text;
  EXPECT_EQ(std::vector<uint8_t>(modes, modes + 6), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(failure.m__UCHAR__IsValid, 0);

  WriteFile(dir.P("src/QUORVABACKUP"), std::string(2048 * 20, 'r'));
  ASSERT_EQ(BuildTree(dir.W("src/QUORVABACKUP"), "QUORVABACKUP", 0), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 1, 0, 0, 1, 0), 0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_ProbeSupportedReadModes(
                BURNER_ARGS, &modes[0], &modes[1], &modes[2], &modes[3], &modes[4], &modes[5]),
            0u)
      << text;
  EXPECT_EQ(modes[0], 1);
  EXPECT_EQ(modes[1], 1) << "a written data sector reads raw";
}

TEST_F(BurnerTest, SetSpeedsPicksTheFastestSpeedNotAboveTheOneAsked) {
  Devices({Media::DvdR});
  ASSERT_EQ(Create(), 0u) << text;
  uint32_t cr = 0, mr = 0, cw = 0, mw = 0;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_SetSpeeds(BURNER_ARGS, 0xFFFF, 0xFFFF), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetSpeeds(BURNER_ARGS, &cr, &mr, &cw, &mw), 0u) << text;
  ASSERT_GT(mw, 0u);
  EXPECT_EQ(cr, mr);
  EXPECT_EQ(cw, mw);
  const uint32_t maxWrite = mw, maxRead = mr;

  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_SetSpeeds(BURNER_ARGS, maxRead - 1, maxWrite - 1), 0u);
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetSpeeds(BURNER_ARGS, &cr, &mr, &cw, &mw), 0u) << text;
  EXPECT_LT(cw, maxWrite);
  EXPECT_GT(cw, 0u);
  EXPECT_LT(cr, maxRead);
  EXPECT_EQ(mw, maxWrite);
  const uint32_t next = cw;
  // Below the slowest speed the drive keeps its slowest.
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_SetSpeeds(BURNER_ARGS, 1, 1), 0u);
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetSpeeds(BURNER_ARGS, &cr, &mr, &cw, &mw), 0u) << text;
  EXPECT_GT(cw, 0u);
  EXPECT_LE(cw, next);
  EXPECT_GT(cr, 0u);
}

struct InfoCase {
  Media media;
  const char* name;
  uint8_t erasable;
};

class DiscInformation : public BurnerTest, public ::testing::WithParamInterface<InfoCase> {};

TEST_P(DiscInformation, TellsABlankDiscFromAClosedOne) {
  const InfoCase& c = GetParam();
  Devices({c.media});
  WriteFile(dir.P("src/QUORVABACKUP"), std::string(9000, 'i'));
  ASSERT_EQ(Create(), 0u) << text;
  DISC_INFORMATION info{};
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetDiscInformation(BURNER_ARGS, &info), 0u) << text;
  EXPECT_EQ(info.m__UCHAR__IsValid, 1);
  EXPECT_EQ(info.m__UCHAR__DiscStatus, 0);  // blank
  EXPECT_EQ(info.m__BOOLEAN__IsErasable, c.erasable);

  ASSERT_EQ(BuildTree(dir.W("src/QUORVABACKUP"), "QUORVABACKUP", 0), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 1, 0, 0, 0, 0), 0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
  info = DISC_INFORMATION{};
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetDiscInformation(BURNER_ARGS, &info), 0u) << text;
  EXPECT_EQ(info.m__UCHAR__IsValid, 1);
  EXPECT_EQ(info.m__UCHAR__DiscStatus, 2);  // complete
  EXPECT_EQ(info.m__UCHAR__NumberOfSessions, 1);
  EXPECT_EQ(info.m__UCHAR__LastTrackInLastSession, 1);
}

INSTANTIATE_TEST_SUITE_P(Media, DiscInformation,
                         ::testing::Values(InfoCase{Media::CdR, "CdR", 0},
                                           InfoCase{Media::CdRw, "CdRw", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// Signals the test once the cache is full, that is once the write is under way.
struct Started {
  std::promise<void> promise;
  std::atomic<bool> isSet{false};
};

void SignalStarted(uint32_t reason, void* context, void*, void*) {
  auto* s = static_cast<Started*>(context);
  if (reason == WAIT_CACHE_FULL_END && !s->isSet.exchange(true)) s->promise.set_value();
}

TEST_F(BurnerTest, CancelFromAnotherThreadEndsARunningWriteWith14AndTheBurnerStaysUsable) {
  Devices({Media::DvdR});
  // Far more than the cache holds and sparse, so that only a missed cancel writes it all.
  const std::string big = dir.P("big.iso");
  {
    const int fd = open(big.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 2ll << 30), 0);
    close(fd);
  }
  Started started;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure,
                                              &SignalStarted, &started, 0, 0, 0, 0, 0),
            0u)
      << text;
  auto write = std::async(std::launch::async, [&] {
    return Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(BURNER_ARGS, dir.W("big.iso").c_str(), 0,
                                                          0, 0, 1, 0);
  });
  // Bounded waits that fail only on a hang.
  ASSERT_EQ(started.promise.get_future().wait_for(std::chrono::seconds(30)),
            std::future_status::ready);
  Halvorin_CdvdBurnerGrabber_Cancel(burner);
  ASSERT_EQ(write.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(write.get(), 14u) << text;

  // The cancelled disc was ejected; the next write goes to a fresh blank.
  WriteFile(dir.P("src/QUORVABACKUP"), std::string(2048 * 5 + 9, 'c'));
  ASSERT_EQ(BuildTree(dir.W("src/QUORVABACKUP"), "QUORVABACKUP", 0), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 1, 0, 0, 1, 0), 0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
  ExpectImageHolds(Image(2), dir.P("src"), "QUORVABACKUP");
}

}  // namespace
}  // namespace burnertest
