// DAO_RAW_PW of a 700 MB ISO tree to a virtual CD-R: the raw expansion alone on one core
// (sectors/s of the raw P-W view over the tree's image; the goal is 78,000, twenty times a 52x
// drive), the whole disc end to end unthrottled, and at a simulated 52x (3,900 sectors/s)
// where the "underruns" counter (callback reason 25 and the recorder's protected underruns)
// must stay 0. QUORVA_BENCH_DAO_MB and QUORVA_BENCH_52X_MB set the sizes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/burn_bench_fixture.h"
#include "halvorin.h"
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/mastering/raw/iso9660_file_tree_raw.h"
#include "lib/mastering/tree/file_chain.h"
#include "platform/aspi/testing.h"

namespace {

namespace at = platform::aspi::testing;

using bench::SizeFromEnvironment;
using bench::underruns;
using bench::WindowsPath;

// A temporary program folder with one file of written data and the ISO tree built over it.
class Setup {
 public:
  explicit Setup(std::uint64_t bytes) : home_("qvdaobench-XXXXXX") {
    if (!home_.Ok()) return;
    if (!bench::WriteCountedFile(home_.Path() + "/DATA.BIN", bytes, false)) return;
    char text[512] = {};
    uint32_t error = 0;
    if (Halvorin_ISO9660JolietFileTree_Create(&tree_, text, sizeof text, &error, nullptr, nullptr,
                                              1, 0, 1, 1))
      return;
    void* root = Halvorin_ISO9660JolietFileTree_GetRoot(tree_);
    if (Halvorin_ISO9660JolietFileTree_Add(tree_, text, sizeof text, &error,
                                           WindowsPath(home_.Path() + "/DATA.BIN").c_str(),
                                           "DATA.BIN", 2, &root) ||
        Halvorin_ISO9660JolietFileTree_BuildImage(tree_, text, sizeof text, &error, 0,
                                                  Halvorin_ISO9660JolietFileTree_GetLevel(tree_), 1,
                                                  "DAOBENCH", "QB", "QB"))
      return;
    chain_ = dynamic_cast<CHalvorin_FileChain*>(static_cast<CHalvorin_Object*>(tree_));
    blocks_ = static_cast<std::int32_t>(chain_->GetSizeInUCHARs() / 2048);
    std::memset(&list_, 0, sizeof list_);
    list_.m__LONG__NumberOfTracks = 1;
    list_.m__TRACK_ENTRY__Tracks[0].m__LONG__TrackSizeInLBs = blocks_;
    list_.m__TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsData = 1;
    ok_ = blocks_ > 0;
  }
  ~Setup() {
    if (tree_) Halvorin_Destroy(&tree_);
  }
  bool Ok() const { return ok_; }
  CHalvorin_FileChain* Chain() const { return chain_; }
  TRACK_ARRAY* List() { return &list_; }
  std::int32_t Blocks() const { return blocks_; }
  bench::TempProgramFolder& Home() { return home_; }

 private:
  bench::TempProgramFolder home_;
  void* tree_ = nullptr;
  CHalvorin_FileChain* chain_ = nullptr;
  TRACK_ARRAY list_;
  std::int32_t blocks_ = 0;
  bool ok_ = false;
};

// The raw P-W view read through in the cache thread's transfer size, on this thread alone.
void DaoExpansionAlone(benchmark::State& state) {
  Halvorin_UpStart();
  Setup setup(SizeFromEnvironment("QUORVA_BENCH_DAO_MB", 700) << 20);
  if (!setup.Ok()) {
    state.SkipWithError("no temporary tree");
    return;
  }
  const std::uint64_t unit = 26 * 2448;
  std::vector<std::uint8_t> buffer(unit);
  std::uint64_t sectors = 0;
  for (auto _ : state) {
    setup.Chain()->SeekToBegin();
    CHalvorin_ISO9660FileTreeRawRawPW view(setup.Chain(), 1, 0, setup.List(), false, false);
    for (std::uint64_t left = view.GetSizeInUCHARs(); left > 0;) {
      const std::uint64_t n = std::min(left, unit);
      view.Read(n, buffer.data());
      left -= n;
      sectors += n / 2448;
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.counters["sectors/s"] =
      benchmark::Counter(static_cast<double>(sectors), benchmark::Counter::kIsRate);
}

// One disc; the error text, empty on success.
std::string Burn(Setup& setup, std::uint64_t sectorsPerSecond) {
  return bench::BurnOnOwnBurner(sectorsPerSecond, true, [&](CHalvorin_CdvdBurnerGrabber& burner) {
    setup.Chain()->SeekToBegin();
    CHalvorin_ISO9660FileTreeRawRawPW view(setup.Chain(), 1, 0, setup.List(), false, false);
    burner.DiscAtOnceRawPW(&view, false, false, false, 0, 0, setup.List());
  });
}

void Run(benchmark::State& state, std::uint64_t megabytes, std::uint64_t sectorsPerSecond) {
  Halvorin_UpStart();
  Setup setup(megabytes << 20);
  if (!setup.Ok()) {
    state.SkipWithError("no temporary tree");
    return;
  }
  bench::BurnEachIteration(state, setup.Home(), at::Media::CdR,
                           [&] { return Burn(setup, sectorsPerSecond); });
  // Every sector the drive took: lead-in, pre-gap, program area and lead-out.
  const double sectors =
      static_cast<double>(state.iterations() * (11484 + 150 + setup.Blocks() + 6750));
  state.counters["sectors/s"] = benchmark::Counter(sectors, benchmark::Counter::kIsRate);
  state.counters["program sectors"] = setup.Blocks();
  state.counters["underruns"] = underruns.load();
}

void DaoRawPWEndToEnd(benchmark::State& state) {
  Run(state, SizeFromEnvironment("QUORVA_BENCH_DAO_MB", 700), 0);
}

void DaoRawPWAt52x(benchmark::State& state) {
  Run(state, SizeFromEnvironment("QUORVA_BENCH_52X_MB", 700), 3900);
}

BENCHMARK(DaoExpansionAlone)->Apply(bench::OnceInRealTime);
BENCHMARK(DaoRawPWEndToEnd)->Apply(bench::OnceInRealTime);
BENCHMARK(DaoRawPWAt52x)->Apply(bench::OnceInRealTime);

}  // namespace

BENCHMARK_MAIN();
