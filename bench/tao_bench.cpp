// Track-at-once through the exports to a virtual DVD-R, from a file tree holding one file of
// written data (not sparse: reading holes costs the kernel a page clear per page): unthrottled
// next to a plain file copy of the same bytes (the page cache's own limit in the same run)
// (MB/s and process CPU time), and at 16x DVD with a 64 MB cache, where the "underruns" counter
// must stay 0. QUORVA_BENCH_BYTES and QUORVA_BENCH_16X_BYTES set the sizes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "lib/api/halvorin.h"
#include "platform/aspi/testing.h"

namespace {

namespace at = platform::aspi::testing;

std::uint64_t Bytes(const char* variable, std::uint64_t fallback) {
  if (const char* v = std::getenv(variable)) return std::strtoull(v, nullptr, 10);
  return fallback;
}

std::atomic<int> underruns{0};

void Count(uint32_t reason, void*, void*, void*) {
  if (reason == HALVORIN_CALLBACK_REASON_BUFFER_UNDERRUN) ++underruns;
}

// A temporary program folder with one virtual DVD-R and a sparse source file.
class Setup {
 public:
  explicit Setup(std::uint64_t bytes) {
    home_ = (std::filesystem::temp_directory_path() / "qvtaobench-XXXXXX").string();
    if (!mkdtemp(home_.data())) return;
    setenv("QUORVA_HOME", home_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home_ + "/config").c_str(), 1);
    std::filesystem::create_directories(home_ + "/src");
    const std::string file = home_ + "/src/QUORVABACKUP";
    const int fd = open(file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) return;
    bool sized = true;
    std::vector<std::uint64_t> block(1 << 17);
    for (std::uint64_t at = 0; sized && at < bytes;) {
      for (std::size_t i = 0; i < block.size(); ++i) block[i] = at + i * 8;
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(bytes - at, block.size() * 8));
      sized = write(fd, block.data(), n) == static_cast<ssize_t>(n);
      at += n;
    }
    // Written back before the timed part, so its dirty pages do not throttle the recorder's.
    sized = sized && fsync(fd) == 0;
    close(fd);
    windowsFile_ = "Z:" + file;
    for (auto& c : windowsFile_)
      if (c == '/') c = '\\';
    ok_ = sized;
  }
  ~Setup() {
    at::ConfigureRecorders({});
    std::error_code ignored;
    if (!home_.empty()) std::filesystem::remove_all(home_, ignored);
  }
  bool Ok() const { return ok_; }
  const std::string& WindowsFile() const { return windowsFile_; }
  const std::string& Home() const { return home_; }
  void FreshRecorder() {
    at::RecorderConfig c;
    c.name = "Bench";
    c.media = at::Media::DvdR;
    at::ConfigureRecorders({c});
    std::filesystem::remove_all(home_ + "/VirtualRecorders/Bench");
  }

 private:
  std::string home_, windowsFile_;
  bool ok_ = false;
};

// One write of the tree; the error text, empty on success.
std::string Burn(const Setup& setup, std::uint32_t cacheMB, std::uint64_t drainBytesPerSecond) {
  char text[512] = {};
  uint32_t error = 0;
  CDB_FAILURE_INFORMATION failure{};
  void* tree = nullptr;
  void* burner = nullptr;
  std::string result;
  if (Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &error, nullptr, nullptr, 0,
                                            0, 1, 1) != 0)
    return text;
  void* parent = nullptr;
  if (Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &error,
                                         setup.WindowsFile().c_str(), nullptr, 2, &parent) ||
      Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &error, 0,
                                                Halvorin_ISO9660JolietFileTree_GetLevel(tree), 1,
                                                "QUORVABACKUP", "QB.exe", "QB.exe") ||
      Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, &Count,
                                        nullptr, 0, 0, 0, 0, cacheMB)) {
    result = text;
  } else {
    at::SetDrainSpeed(0, drainBytesPerSecond);
    if (Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(burner, text, sizeof text, &error, &failure,
                                                       tree, 1, 0, 0, 0, 0))
      result = text[0] ? text : "write failed";
  }
  Halvorin_Destroy(&burner);
  Halvorin_Destroy(&tree);
  return result;
}

void Run(benchmark::State& state, std::uint64_t bytes, std::uint32_t cacheMB, std::uint64_t drain) {
  Halvorin_UpStart();
  Setup setup(bytes);
  if (!setup.Ok()) {
    state.SkipWithError("no temporary source");
    return;
  }
  underruns = 0;
  for (auto _ : state) {
    state.PauseTiming();
    setup.FreshRecorder();
    state.ResumeTiming();
    const std::string why = Burn(setup, cacheMB, drain);
    if (!why.empty()) {
      state.SkipWithError(why.c_str());
      break;
    }
  }
  const double total = static_cast<double>(state.iterations() * bytes);
  state.SetBytesProcessed(static_cast<std::int64_t>(total));
  state.counters["MB/s"] = benchmark::Counter(total / 1e6, benchmark::Counter::kIsRate);
  state.counters["underruns"] = underruns.load();
}

// A file of 4 GiB less one sector: the largest a single ISO9660 extent describes.
void TaoUnthrottled(benchmark::State& state) {
  Run(state, Bytes("QUORVA_BENCH_BYTES", (4ull << 30) - 2048), 0, 0);
}

// The same bytes copied file to file in the drive's transfer size, without the library: what
// the machine's page cache allows the recorder's store in this run.
void PlainCopyPeer(benchmark::State& state) {
  const std::uint64_t bytes = Bytes("QUORVA_BENCH_BYTES", (4ull << 30) - 2048);
  Setup setup(bytes);
  if (!setup.Ok()) {
    state.SkipWithError("no temporary source");
    return;
  }
  std::vector<std::uint8_t> buffer(61440);
  for (auto _ : state) {
    const int in = open((setup.Home() + "/src/QUORVABACKUP").c_str(), O_RDONLY);
    const int out = open((setup.Home() + "/copy").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    bool ok = in >= 0 && out >= 0;
    for (off_t at = 0; ok;) {
      const ssize_t n = pread(in, buffer.data(), buffer.size(), at);
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      ok = pwrite(out, buffer.data(), static_cast<size_t>(n), at) == n;
      at += n;
    }
    if (in >= 0) close(in);
    if (out >= 0) close(out);
    if (!ok) {
      state.SkipWithError("copy failed");
      break;
    }
  }
  const double total = static_cast<double>(state.iterations() * bytes);
  state.SetBytesProcessed(static_cast<std::int64_t>(total));
  state.counters["MB/s"] = benchmark::Counter(total / 1e6, benchmark::Counter::kIsRate);
}

void TaoAt16xDvd(benchmark::State& state) {
  Run(state, Bytes("QUORVA_BENCH_16X_BYTES", 512ull << 20), 64, 16 * at::kDvd1x);
}

BENCHMARK(TaoUnthrottled)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(PlainCopyPeer)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(TaoAt16xDvd)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// The console table, then the ratios the project aims at from the same run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      const auto rate = r.counters.find("MB/s");
      if (rate == r.counters.end()) continue;
      const std::string name = r.benchmark_name();
      if (name.rfind("TaoUnthrottled", 0) == 0) tao_ = rate->second.value;
      if (name.rfind("PlainCopyPeer", 0) == 0) copy_ = rate->second.value;
      if (name.rfind("TaoAt16xDvd", 0) == 0) {
        const auto u = r.counters.find("underruns");
        underruns16x_ = u == r.counters.end() ? -1 : static_cast<int>(u->second.value);
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (tao_ > 0 && copy_ > 0)
      std::printf("goal: track-at-once unthrottled / plain copy = %.3f (>= 0.8: %s)\n",
                  tao_ / copy_, tao_ / copy_ >= 0.8 ? "yes" : "no");
    if (underruns16x_ >= 0)
      std::printf("goal: underruns at 16x DVD = %d (0: %s)\n", underruns16x_,
                  underruns16x_ == 0 ? "yes" : "no");
  }

 private:
  double tao_ = 0, copy_ = 0;
  int underruns16x_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
