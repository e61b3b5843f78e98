// What the burn benchmarks share: a temporary program folder with its one virtual recorder,
// source files of written data, the underrun count, and sizes taken from the environment.
#pragma once

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/aspi/testing.h"

class CHalvorin_CdvdBurnerGrabber;

namespace bench {

// The variable's number, else the fallback.
std::uint64_t SizeFromEnvironment(const char* variable, std::uint64_t fallback);

// Buffer underruns of the run: CountUnderruns adds the callback's, the benchmark the
// recorder's protected ones.
extern std::atomic<int> underruns;
// The library's callback; counts reason 25.
void CountUnderruns(uint32_t reason, void*, void*, void*);

// "/tmp/a" as the program names it: "Z:\tmp\a".
std::string WindowsPath(const std::string& posix);

// A file of `bytes` bytes of counted 64-bit words (written, not sparse); with `sync` it is
// on disk before the call returns.
bool WriteCountedFile(const std::string& file, std::uint64_t bytes, bool sync);

// Copies a file in the drive's transfer size through `buffer`, without the library.
bool CopyInTransferSize(const std::string& from, const std::string& to,
                        std::vector<std::uint8_t>& buffer);

// A temporary program folder (QUORVA_HOME and XDG_CONFIG_HOME point into it) that goes, with
// the recorders, when the object goes.
class TempProgramFolder {
 public:
  // `pattern` ends in XXXXXX.
  explicit TempProgramFolder(const char* pattern);
  ~TempProgramFolder();
  TempProgramFolder(const TempProgramFolder&) = delete;
  TempProgramFolder& operator=(const TempProgramFolder&) = delete;

  bool Ok() const { return ok_; }
  const std::string& Path() const { return home_; }
  // One blank recorder "Bench" holding the medium.
  void FreshRecorder(platform::aspi::testing::Media media);

 private:
  std::string home_;
  bool ok_ = false;
};

// How every burn benchmark is measured: one iteration (a whole disc), in real time with the
// process's CPU time, in milliseconds. For BENCHMARK(...)->Apply.
void OnceInRealTime(benchmark::internal::Benchmark* b);

// Each iteration burns to a fresh blank recorder (untimed) after the underrun count was
// cleared; the first error text stops the run as the benchmark's error.
void BurnEachIteration(benchmark::State& state, TempProgramFolder& home,
                       platform::aspi::testing::Media media,
                       const std::function<std::string()>& burn);

// One write on a burner handle of its own (a 64 MB cache, CountUnderruns its callback) while
// the recorder drains `sectorsPerSecond` 2352-byte sectors a second (0 unthrottled). The error
// text, empty on success; `withSense` adds the drive's command and sense where it refused. The
// recorder's protected underruns are added to the count.
std::string BurnOnOwnBurner(std::uint64_t sectorsPerSecond, bool withSense,
                            const std::function<void(CHalvorin_CdvdBurnerGrabber&)>& write);

}  // namespace bench
