// Track-at-once through the exports to a virtual DVD-R, from a file tree holding one file of
// written data (not sparse: reading holes costs the kernel a page clear per page): unthrottled
// next to a plain file copy of the same bytes (the page cache's own limit in the same run)
// (MB/s and process CPU time), and at 16x DVD with a 64 MB cache, where the "underruns" counter
// must stay 0. QUORVA_BENCH_BYTES and QUORVA_BENCH_16X_BYTES set the sizes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/burn_bench_fixture.h"
#include "halvorin.h"
#include "platform/aspi/testing.h"

namespace {

namespace at = platform::aspi::testing;

using bench::CountUnderruns;
using bench::SizeFromEnvironment;
using bench::underruns;

// A temporary program folder with one virtual DVD-R and a sparse source file.
class Setup {
 public:
  explicit Setup(std::uint64_t bytes) : home_("qvtaobench-XXXXXX") {
    if (!home_.Ok()) return;
    std::filesystem::create_directories(home_.Path() + "/src");
    const std::string file = home_.Path() + "/src/QUORVABACKUP";
    // Written back before the timed part, so its dirty pages do not throttle the recorder's.
    if (!bench::WriteCountedFile(file, bytes, true)) return;
    windowsFile_ = bench::WindowsPath(file);
    ok_ = true;
  }
  bool Ok() const { return ok_; }
  const std::string& WindowsFile() const { return windowsFile_; }
  bench::TempProgramFolder& Home() { return home_; }

 private:
  bench::TempProgramFolder home_;
  std::string windowsFile_;
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
      Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure,
                                        &CountUnderruns, nullptr, 0, 0, 0, 0, cacheMB)) {
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
  bench::BurnEachIteration(state, setup.Home(), at::Media::DvdR,
                           [&] { return Burn(setup, cacheMB, drain); });
  const double total = static_cast<double>(state.iterations() * bytes);
  state.SetBytesProcessed(static_cast<std::int64_t>(total));
  state.counters["MB/s"] = benchmark::Counter(total / 1e6, benchmark::Counter::kIsRate);
  state.counters["underruns"] = underruns.load();
}

// A file of 4 GiB less one sector: the largest a single ISO9660 extent describes.
void TaoUnthrottled(benchmark::State& state) {
  Run(state, SizeFromEnvironment("QUORVA_BENCH_BYTES", (4ull << 30) - 2048), 0, 0);
}

// The same bytes copied file to file in the drive's transfer size, without the library: what
// the machine's page cache allows the recorder's store in this run.
void PlainCopyPeer(benchmark::State& state) {
  const std::uint64_t bytes = SizeFromEnvironment("QUORVA_BENCH_BYTES", (4ull << 30) - 2048);
  Setup setup(bytes);
  if (!setup.Ok()) {
    state.SkipWithError("no temporary source");
    return;
  }
  std::vector<std::uint8_t> buffer(61440);
  for (auto _ : state) {
    const std::string& home = setup.Home().Path();
    if (!bench::CopyInTransferSize(home + "/src/QUORVABACKUP", home + "/copy", buffer)) {
      state.SkipWithError("copy failed");
      break;
    }
  }
  const double total = static_cast<double>(state.iterations() * bytes);
  state.SetBytesProcessed(static_cast<std::int64_t>(total));
  state.counters["MB/s"] = benchmark::Counter(total / 1e6, benchmark::Counter::kIsRate);
}

void TaoAt16xDvd(benchmark::State& state) {
  Run(state, SizeFromEnvironment("QUORVA_BENCH_16X_BYTES", 512ull << 20), 64, 16 * at::kDvd1x);
}

BENCHMARK(TaoUnthrottled)->Apply(bench::OnceInRealTime);
BENCHMARK(PlainCopyPeer)->Apply(bench::OnceInRealTime);
BENCHMARK(TaoAt16xDvd)->Apply(bench::OnceInRealTime);

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
