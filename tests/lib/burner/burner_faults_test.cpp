// Failures of track-at-once writing: drive errors, cancel, empty and oversized sources, a
// source slower than the drive, and the producer thread that must never outlive a write.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "lib/api/export_frame.h"
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/mastering/tree/file_chain.h"
#include "tests/lib/burner/burner_test_support.h"

namespace burnertest {
namespace {

// A source of `size` bytes that calls `onRead` before each read (to throttle or cancel).
class ScriptedFile : public CHalvorin_File {
 public:
  ScriptedFile(std::uint64_t size, std::function<void(int)> onRead) : onRead_(std::move(onRead)) {
    m__ULONGLONG__SizeInUCHARs = size;
  }
  std::atomic<int> reads{0};

 protected:
  void RealRead(std::uint64_t count, std::uint8_t* buffer) override {
    onRead_(reads++);
    for (std::uint64_t i = 0; i < count; ++i) buffer[i] = static_cast<std::uint8_t>(i);
  }

 private:
  std::function<void(int)> onRead_;
};

class BurnerFaults : public BurnerTest {
 protected:
  CHalvorin_CdvdBurnerGrabber* Burner() {
    return HalvorinI_ObjectOf<CHalvorin_CdvdBurnerGrabber>(burner);
  }
  libtest::Thrown Write(CHalvorin_File* file, std::uint32_t progress = 1) {
    chain = std::make_unique<CHalvorin_FileChain>();
    chain->AddChainTail(file);
    CHalvorin_TrackAtOnceOptions o;
    o.m__PCHalvorin_FileChain__Source = chain.get();
    o.m__ULONG__ProgressInterval = progress;
    return libtest::Catch([&] { Burner()->TrackAtOnce(o); });
  }
  std::unique_ptr<CHalvorin_FileChain> chain;
};

TEST_F(BurnerFaults, DriveFailureMidWriteGivesStatus8WithItsCdbAndTheBurnerStaysUsable) {
  Devices({Media::CdR});
  WriteFile(dir.P("a.iso"), std::string(2048 * 200, 'a'));
  ASSERT_EQ(Create(), 0u);
  at::InjectHang(0, 1, 0x2A);
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(BURNER_ARGS, dir.W("a.iso").c_str(), 0,
                                                           0, 0, 1, 0),
            8u)
      << text;
  EXPECT_EQ(failure.m__UCHAR__IsValid, 1);
  EXPECT_EQ(failure.m__UCHAR__CDB[0], 0x2A);
  // The failed disc was ejected: a fresh blank takes the same write.
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(BURNER_ARGS, dir.W("a.iso").c_str(), 0,
                                                           0, 0, 1, 0),
            0u)
      << text;
  EXPECT_EQ(failure.m__UCHAR__IsValid, 0);
}

TEST_F(BurnerFaults, EmptyAndOversizedSourcesAreRefusedBeforeAnyWrite) {
  Devices({Media::CdR});
  WriteFile(dir.P("empty.iso"), "");
  ASSERT_EQ(Create(), 0u);
  at::ClearCdbLog(0);
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(BURNER_ARGS, dir.W("empty.iso").c_str(),
                                                           0, 0, 0, 1, 0),
            2u);
  ScriptedFile huge(4ull << 30, [](int) {});
  auto t = Write(&huge);
  EXPECT_EQ(t.Status(), 10) << t.Text();
  for (const auto& r : at::CdbLog(0)) EXPECT_NE(r.cdb.at(0), 0x2A);
  EXPECT_EQ(huge.reads.load(), 0);
}

TEST_F(BurnerFaults, CancelDuringTheWriteEndsItWithStatus14) {
  Devices({Media::DvdR});
  ASSERT_EQ(Create(), 0u);
  void* handle = burner;
  ScriptedFile file(50 * 61440, [&](int n) {
    if (n == 10) Halvorin_CdvdBurnerGrabber_Cancel(handle);
  });
  auto t = Write(&file);
  EXPECT_EQ(t.Status(), 14) << t.Text();
  EXPECT_LT(file.reads.load(), 50);
}

// Cancel at each wait of a write: the write ends with 14 at once, with no more than one WRITE
// sent after the cancel.
struct CancelPoint {
  const char* name;
  uint32_t reason;  // the callback reason that cancels
  int stallAt;      // the read that waits for the cancel (-1: none)
  int slowMs;       // the time every read takes
  bool padding;     // DVD padding on, with a small source
};

class CancelAt : public BurnerFaults, public ::testing::WithParamInterface<CancelPoint> {};

TEST_P(CancelAt, EndsTheWriteWith14) {
  const CancelPoint p = GetParam();
  Devices({Media::DvdR});
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, &Record,
                                              &events, 0, 0, 0, 0, 1),
            0u);
  const uint8_t padding = Halvorin_GetDVDPadding();
  Halvorin_SetDVDPadding(p.padding);
  void* handle = burner;
  auto fake = clock;
  std::atomic<bool> cancelled{false};
  events.onReason = [&](uint32_t reason) {
    if (reason != p.reason || cancelled) return;
    at::ClearCdbLog(0);
    Halvorin_CdvdBurnerGrabber_Cancel(handle);
    cancelled = true;
  };
  const int units = p.padding ? 10 : 400;
  ScriptedFile file(units * 61440, [&](int n) {
    if (p.slowMs) std::this_thread::sleep_for(std::chrono::milliseconds(p.slowMs));
    // Progress is reported once a second of the drive's clock has passed.
    if (p.reason == HALVORIN_CALLBACK_REASON_WRITE_PROGRESS)
      fake->Advance(std::chrono::milliseconds(50));
    if (n != p.stallAt) return;
    for (int i = 0; i < 1000 && !cancelled; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  auto t = Write(&file);
  Halvorin_SetDVDPadding(padding);
  ASSERT_TRUE(cancelled);
  EXPECT_EQ(t.Status(), 14) << t.Text();
  const auto log = at::CdbLog(0);
  EXPECT_LE(
      std::count_if(log.begin(), log.end(), [](const auto& r) { return r.cdb.at(0) == 0x2A; }), 1);
  if (!p.padding) {
    EXPECT_LT(file.reads.load(), units);
  }
  // The cancelled disc was ejected: the same burner writes the next blank.
  ScriptedFile next(5 * 61440, [](int) {});
  auto again = Write(&next);
  const CDB_FAILURE_INFORMATION* f =
      again.exception ? again.exception->GetFailureInformation() : nullptr;
  EXPECT_FALSE(again.thrown) << again.Text() << " CDB " << (f ? int{f->m__UCHAR__CDB[0]} : -1)
                             << " sense " << (f ? int{f->m__UCHAR__Sense[2]} : -1) << "/"
                             << (f ? int{f->m__UCHAR__Sense[12]} : -1);
}

INSTANTIATE_TEST_SUITE_P(
    Points, CancelAt,
    ::testing::Values(CancelPoint{"CacheFilling", WAIT_CACHE_FULL_BEGIN, -1, 20, false},
                      CancelPoint{"Writing", HALVORIN_CALLBACK_REASON_WRITE_PROGRESS, -1, 0, false},
                      CancelPoint{"CacheDry", HALVORIN_CALLBACK_REASON_BUFFER_UNDERRUN, 300, 0,
                                  false},
                      CancelPoint{"Padding", DVD_MEDIA_PADDING_BEGIN, -1, 0, true},
                      CancelPoint{"CacheFull", WAIT_CACHE_FULL_END, -1, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BurnerFaults, ShortCacheOnAMultiBufferSourceIsReusedAcrossWrites) {
  Devices({Media::DvdPlusRw});
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, &Record,
                                              &events, 0, 0, 0, 0, 1),
            0u);
  // More data than the cache holds, twice on the same burner.
  for (int round = 0; round < 2; ++round) {
    ScriptedFile file(300 * 61440 + 5, [](int) {});
    auto t = Write(&file);
    EXPECT_FALSE(t.thrown) << t.Text();
  }
}

// The source stalls once the cache is full: the cache runs dry (reason 25) and, while the host
// has no data, the drive empties its own buffer (the simulated clock jumps).
class Underrun : public BurnerFaults, public ::testing::WithParamInterface<bool> {};

TEST_P(Underrun, DryCacheIsReportedAndFailsTheDiscOnlyWithoutProtection) {
  const bool protection = GetParam();
  Devices({Media::DvdR});
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, &Record,
                                              &events, 0, 0, 0, 0, 1),
            0u);
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_SetBUP(BURNER_ARGS, protection), 0u) << text;
  at::SetDrainSpeed(0, at::kDvd1x);
  auto fake = clock;
  std::atomic<bool> dry{false};
  events.onReason = [&](uint32_t reason) {
    if (reason != HALVORIN_CALLBACK_REASON_BUFFER_UNDERRUN || dry) return;
    fake->Advance(std::chrono::seconds(30));
    dry = true;
  };
  // The cache holds twice the drive's buffer (about 70 objects): it is full long before the stall.
  ScriptedFile file(400 * 61440, [&](int n) {
    if (n != 300) return;
    for (int i = 0; i < 1000 && !dry; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  auto t = Write(&file);
  EXPECT_TRUE(dry) << "the cache never ran dry";
  if (protection) {
    EXPECT_FALSE(t.thrown) << t.Text();
    EXPECT_GT(at::Recorder(0).ProtectedUnderruns(), 0);
  } else {
    // The recorder's own underrun: sense key 3, ASC 0Ch, ASCQ 09h.
    EXPECT_EQ(t.Status(), 8) << t.Text();
    const CDB_FAILURE_INFORMATION* f = t.exception ? t.exception->GetFailureInformation() : nullptr;
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->m__UCHAR__CDB[0], 0x2A);
    EXPECT_EQ(f->m__UCHAR__Sense[2] & 0x0F, 3);
    EXPECT_EQ(f->m__UCHAR__Sense[12], 0x0C);
    EXPECT_EQ(f->m__UCHAR__Sense[13], 0x09);
  }
}

INSTANTIATE_TEST_SUITE_P(Protection, Underrun, ::testing::Bool());

}  // namespace
}  // namespace burnertest
