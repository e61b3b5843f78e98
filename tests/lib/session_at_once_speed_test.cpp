// Session-at-once at a simulated 52x (3,900 sectors a second) from a source only 1.5 times as
// fast as the drive, across two track boundaries: the cache never runs dry and the drive never
// underruns. It runs on the real clock, alone (RUN_SERIAL), up to three times, and is skipped on
// a machine loaded four times over by other work, where no real-time result means anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/aspi/clock.h"
#include "tests/lib/session_test_support.h"

namespace burnertest {
namespace {

// Four times as many runnable threads as cores: other work has the machine.
bool MachineIsOverloaded() {
  std::ifstream in("/proc/loadavg");
  double load = 0;
  in >> load;
  return load > 4.0 * static_cast<double>(std::thread::hardware_concurrency());
}

struct Outcome {
  bool ok = false;
  std::string why;
};

TEST_F(SessionAtOnce, FiftyTwoSpeedFromASlowSourceKeepsTheDriveFed) {
  if (MachineIsOverloaded())
    GTEST_SKIP() << "the machine's load leaves no core for a real-time run";
  platform::aspi::SetClock(std::make_shared<platform::aspi::SystemClock>());
  constexpr double kSectorsPerSecond = 3900;
  // One run of three audio tracks; a busy machine may stall one run, so three are allowed. A
  // writer that lets the cache run dry at a boundary fails every run.
  auto attempt = [&]() -> Outcome {
    Devices({Media::CdR});
    events = Events();
    // A cache of 4 MB, a quarter of the session: the next track is read while one is written.
    if (Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, &Record,
                                          &events, 0, 0, 0, 0, 4) != 0)
      return {false, text};
    at::SetDrainSpeed(0, static_cast<std::uint64_t>(kSectorsPerSecond * 2352));
    std::atomic<std::int64_t> start{0};
    std::atomic<std::uint64_t> delivered{0};
    auto throttle = [&](std::uint64_t bytes) {
      const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
      std::int64_t expected = 0;
      start.compare_exchange_strong(expected, now);
      delivered += bytes;
      const auto due =
          std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(start.load())) +
          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
              std::chrono::duration<double>(static_cast<double>(delivered) /
                                            (1.5 * kSectorsPerSecond * 2352)));
      std::this_thread::sleep_until(due);
    };
    MemorySource a(Bytes(2352 * 2500, 1), throttle), b(Bytes(2352 * 2500, 2), throttle),
        c(Bytes(2352 * 2500, 3), throttle);
    auto list = List({{&a.chain, true}, {&b.chain, true}, {&c.chain, true}});
    const auto t = Write(list.get());
    Outcome o;
    if (t.thrown) {
      const CDB_FAILURE_INFORMATION* f =
          t.exception ? t.exception->GetFailureInformation() : nullptr;
      o.why = t.Text() + " " + (f ? SenseOf(*f) : std::string());
    } else if (std::count(events.reasons.begin(), events.reasons.end(),
                          HALVORIN_CALLBACK_REASON_BUFFER_UNDERRUN) > 0) {
      o.why = "the cache ran dry (reason 25)";
    } else if (at::Recorder(0).ProtectedUnderruns() > 0 ||
               at::Recorder(0).CurrentDisc().tracks.back().damaged) {
      o.why = "the recorder underran";
    } else {
      o.ok = true;
    }
    Halvorin_Destroy(&burner);
    at::ConfigureRecorders({});
    std::filesystem::remove_all(dir.P("home"));
    return o;
  };
  std::string failures;
  for (int i = 0; i < 3; ++i) {
    const Outcome o = attempt();
    if (o.ok) return;
    failures += "run " + std::to_string(i + 1) + ": " + o.why + "\n";
  }
  ADD_FAILURE() << failures;
}

}  // namespace
}  // namespace burnertest
