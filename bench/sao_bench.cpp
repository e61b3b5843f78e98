// Session-at-once of about 700 MB to a virtual CD-R: four audio tracks and one data track read
// from files of written data, unthrottled (sectors/s; the goal is 39,000, ten times a 52x
// drive) next to a plain file copy of the same bytes, and at a simulated 52x (3,900 sectors/s)
// where the "underruns" counter (callback reason 25 and the recorder's protected underruns)
// must stay 0. QUORVA_BENCH_SAO_MB and QUORVA_BENCH_52X_MB set the sizes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/burn_bench_fixture.h"
#include "halvorin.h"
#include "lib/api/export_frame.h"
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/mastering/tree/file_chain.h"
#include "lib/mastering/tree/file_objects.h"
#include "platform/aspi/testing.h"

namespace {

namespace at = platform::aspi::testing;

constexpr int kAudioTracks = 4;

using bench::SizeFromEnvironment;
using bench::underruns;
using bench::WindowsPath;

// A temporary program folder with the five source files: the data track (2048-byte blocks)
// and the audio tracks (2352-byte sectors), 20 % and 80 % of the bytes.
class Setup {
 public:
  explicit Setup(std::uint64_t bytes) : home_("qvsaobench-XXXXXX") {
    if (!home_.Ok()) return;
    const std::uint64_t data = bytes / 5 / 2048 * 2048;
    const std::uint64_t audio = (bytes - data) / kAudioTracks / 2352 * 2352;
    ok_ = bench::WriteCountedFile(home_.Path() + "/data.bin", data, true);
    for (int i = 0; i < kAudioTracks && ok_; ++i)
      ok_ = bench::WriteCountedFile(home_.Path() + "/audio" + std::to_string(i) + ".raw", audio,
                                    true);
    total_ = data + kAudioTracks * audio;
    sectors_ = data / 2048 + kAudioTracks * (audio / 2352);
  }
  bool Ok() const { return ok_; }
  bench::TempProgramFolder& Home() { return home_; }
  std::uint64_t Total() const { return total_; }
  std::uint64_t Sectors() const { return sectors_; }
  std::vector<std::string> Files() const {
    std::vector<std::string> files = {home_.Path() + "/data.bin"};
    for (int i = 0; i < kAudioTracks; ++i)
      files.push_back(home_.Path() + "/audio" + std::to_string(i) + ".raw");
    return files;
  }

 private:
  bench::TempProgramFolder home_;
  std::uint64_t total_ = 0, sectors_ = 0;
  bool ok_ = false;
};

// One session of the five tracks; the error text, empty on success.
std::string Burn(const Setup& setup, std::uint64_t sectorsPerSecond) {
  // Outlive the burner handle.
  std::vector<std::unique_ptr<CHalvorin_DiskFile>> files;
  std::vector<std::unique_ptr<CHalvorin_FileChain>> chains;
  auto list = std::make_unique<SAO_TRACK_ARRAY>();
  std::memset(list.get(), 0, sizeof *list);
  return bench::BurnOnOwnBurner(sectorsPerSecond, false, [&](CHalvorin_CdvdBurnerGrabber& burner) {
    for (const std::string& path : setup.Files()) {
      files.push_back(std::make_unique<CHalvorin_DiskFile>(WindowsPath(path).c_str()));
      chains.push_back(std::make_unique<CHalvorin_FileChain>());
      chains.back()->AddChainTail(files.back().get());
      SAO_TRACK_ENTRY& e = list->m__SAO_TRACK_ENTRY__Tracks[list->m__LONG__NumberOfTracks++];
      e.m__BOOLEAN__IsAudio = list->m__LONG__NumberOfTracks > 1;
      e.m__PVOID__Tree = HalvorinI_HandleOf(chains.back().get());
    }
    burner.SessionAtOnce(list.get(), false, false, false, 0, 0, false);
  });
}

void Run(benchmark::State& state, std::uint64_t megabytes, std::uint64_t sectorsPerSecond) {
  Halvorin_UpStart();
  Setup setup(megabytes << 20);
  if (!setup.Ok()) {
    state.SkipWithError("no temporary sources");
    return;
  }
  bench::BurnEachIteration(state, setup.Home(), at::Media::CdR,
                           [&] { return Burn(setup, sectorsPerSecond); });
  const double sectors = static_cast<double>(state.iterations() * setup.Sectors());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setup.Total()));
  state.counters["sectors/s"] = benchmark::Counter(sectors, benchmark::Counter::kIsRate);
  state.counters["underruns"] = underruns.load();
}

void SaoUnthrottled(benchmark::State& state) {
  Run(state, SizeFromEnvironment("QUORVA_BENCH_SAO_MB", 700), 0);
}

// The same five files copied file to file in the drive's transfer size, without the library.
void PlainCopyPeer(benchmark::State& state) {
  Setup setup(SizeFromEnvironment("QUORVA_BENCH_SAO_MB", 700) << 20);
  if (!setup.Ok()) {
    state.SkipWithError("no temporary sources");
    return;
  }
  std::vector<std::uint8_t> buffer(61440);
  for (auto _ : state) {
    bool ok = true;
    for (const std::string& path : setup.Files())
      ok = ok && bench::CopyInTransferSize(path, path + ".copy", buffer);
    if (!ok) {
      state.SkipWithError("copy failed");
      break;
    }
  }
  const double sectors = static_cast<double>(state.iterations() * setup.Sectors());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setup.Total()));
  state.counters["sectors/s"] = benchmark::Counter(sectors, benchmark::Counter::kIsRate);
}

void SaoAt52x(benchmark::State& state) {
  Run(state, SizeFromEnvironment("QUORVA_BENCH_52X_MB", 700), 3900);
}

BENCHMARK(SaoUnthrottled)->Apply(bench::OnceInRealTime);
BENCHMARK(PlainCopyPeer)->Apply(bench::OnceInRealTime);
BENCHMARK(SaoAt52x)->Apply(bench::OnceInRealTime);

}  // namespace

BENCHMARK_MAIN();
