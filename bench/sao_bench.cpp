// Session-at-once of about 700 MB to a virtual CD-R: four audio tracks and one data track read
// from files of written data, unthrottled (sectors/s; the goal is 39,000, ten times a 52x
// drive) next to a plain file copy of the same bytes, and at a simulated 52x (3,900 sectors/s)
// where the "underruns" counter (callback reason 25 and the recorder's protected underruns)
// must stay 0. QUORVA_BENCH_SAO_MB and QUORVA_BENCH_52X_MB set the sizes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "lib/api/export_frame.h"
#include "lib/api/halvorin.h"
#include "lib/core/cdvd_burner_grabber.h"
#include "lib/mastering/file_chain.h"
#include "lib/mastering/file_objects.h"
#include "platform/aspi/testing.h"

namespace {

namespace at = platform::aspi::testing;

constexpr int kAudioTracks = 4;

std::uint64_t Megabytes(const char* variable, std::uint64_t fallback) {
  if (const char* v = std::getenv(variable)) return std::strtoull(v, nullptr, 10);
  return fallback;
}

std::atomic<int> underruns{0};

void Count(uint32_t reason, void*, void*, void*) {
  if (reason == HALVORIN_CALLBACK_REASON_BUFFER_UNDERRUN) ++underruns;
}

// A temporary program folder with the five source files: the data track (2048-byte blocks)
// and the audio tracks (2352-byte sectors), 20 % and 80 % of the bytes.
class Setup {
 public:
  explicit Setup(std::uint64_t bytes) {
    home_ = (std::filesystem::temp_directory_path() / "qvsaobench-XXXXXX").string();
    if (!mkdtemp(home_.data())) return;
    setenv("QUORVA_HOME", home_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home_ + "/config").c_str(), 1);
    const std::uint64_t data = bytes / 5 / 2048 * 2048;
    const std::uint64_t audio = (bytes - data) / kAudioTracks / 2352 * 2352;
    ok_ = Write(home_ + "/data.bin", data);
    for (int i = 0; i < kAudioTracks && ok_; ++i)
      ok_ = Write(home_ + "/audio" + std::to_string(i) + ".raw", audio);
    total_ = data + kAudioTracks * audio;
    sectors_ = data / 2048 + kAudioTracks * (audio / 2352);
  }
  ~Setup() {
    at::ConfigureRecorders({});
    std::error_code ignored;
    if (!home_.empty()) std::filesystem::remove_all(home_, ignored);
  }
  bool Ok() const { return ok_; }
  const std::string& Home() const { return home_; }
  std::uint64_t Total() const { return total_; }
  std::uint64_t Sectors() const { return sectors_; }
  std::vector<std::string> Files() const {
    std::vector<std::string> files = {home_ + "/data.bin"};
    for (int i = 0; i < kAudioTracks; ++i)
      files.push_back(home_ + "/audio" + std::to_string(i) + ".raw");
    return files;
  }
  void FreshRecorder() {
    at::RecorderConfig c;
    c.name = "Bench";
    c.media = at::Media::CdR;
    at::ConfigureRecorders({c});
    std::filesystem::remove_all(home_ + "/VirtualRecorders/Bench");
  }

 private:
  static bool Write(const std::string& file, std::uint64_t bytes) {
    const int fd = open(file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    std::vector<std::uint64_t> block(1 << 17);
    for (std::uint64_t at = 0; ok && at < bytes;) {
      for (std::size_t i = 0; i < block.size(); ++i) block[i] = at + i * 8;
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(bytes - at, block.size() * 8));
      ok = write(fd, block.data(), n) == static_cast<ssize_t>(n);
      at += n;
    }
    ok = ok && fsync(fd) == 0;
    close(fd);
    return ok;
  }

  std::string home_;
  std::uint64_t total_ = 0, sectors_ = 0;
  bool ok_ = false;
};

std::string WindowsPath(const std::string& posix) {
  std::string w = "Z:" + posix;
  std::replace(w.begin(), w.end(), '/', '\\');
  return w;
}

// One session of the five tracks; the error text, empty on success.
std::string Burn(const Setup& setup, std::uint64_t sectorsPerSecond) {
  char text[512] = {};
  uint32_t error = 0;
  CDB_FAILURE_INFORMATION failure{};
  void* burner = nullptr;
  if (Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, &Count,
                                        nullptr, 0, 0, 0, 0, 64))
    return text;
  at::SetDrainSpeed(0, sectorsPerSecond * 2352);
  std::vector<std::unique_ptr<CHalvorin_DiskFile>> files;
  std::vector<std::unique_ptr<CHalvorin_FileChain>> chains;
  auto list = std::make_unique<SAO_TRACK_ARRAY>();
  std::memset(list.get(), 0, sizeof *list);
  std::string result;
  try {
    for (const std::string& path : setup.Files()) {
      files.push_back(std::make_unique<CHalvorin_DiskFile>(WindowsPath(path).c_str()));
      chains.push_back(std::make_unique<CHalvorin_FileChain>());
      chains.back()->AddChainTail(files.back().get());
      SAO_TRACK_ENTRY& e = list->m__SAO_TRACK_ENTRY__Tracks[list->m__LONG__NumberOfTracks++];
      e.m__BOOLEAN__IsAudio = list->m__LONG__NumberOfTracks > 1;
      e.m__PVOID__Tree = HalvorinI_HandleOf(chains.back().get());
    }
    HalvorinI_ObjectOf<CHalvorin_CdvdBurnerGrabber>(burner)->SessionAtOnce(list.get(), false, false,
                                                                           false, 0, 0, false);
  } catch (CHalvorin_Exception* e) {
    result = e ? e->GetText() : "write failed";
    delete e;
  }
  underruns += at::Recorder(0).ProtectedUnderruns();
  Halvorin_Destroy(&burner);
  return result;
}

void Run(benchmark::State& state, std::uint64_t megabytes, std::uint64_t sectorsPerSecond) {
  Halvorin_UpStart();
  Setup setup(megabytes << 20);
  if (!setup.Ok()) {
    state.SkipWithError("no temporary sources");
    return;
  }
  underruns = 0;
  for (auto _ : state) {
    state.PauseTiming();
    setup.FreshRecorder();
    state.ResumeTiming();
    const std::string why = Burn(setup, sectorsPerSecond);
    if (!why.empty()) {
      state.SkipWithError(why.c_str());
      break;
    }
  }
  const double sectors = static_cast<double>(state.iterations() * setup.Sectors());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setup.Total()));
  state.counters["sectors/s"] = benchmark::Counter(sectors, benchmark::Counter::kIsRate);
  state.counters["underruns"] = underruns.load();
}

void SaoUnthrottled(benchmark::State& state) {
  Run(state, Megabytes("QUORVA_BENCH_SAO_MB", 700), 0);
}

// The same five files copied file to file in the drive's transfer size, without the library.
void PlainCopyPeer(benchmark::State& state) {
  Setup setup(Megabytes("QUORVA_BENCH_SAO_MB", 700) << 20);
  if (!setup.Ok()) {
    state.SkipWithError("no temporary sources");
    return;
  }
  std::vector<std::uint8_t> buffer(61440);
  for (auto _ : state) {
    bool ok = true;
    for (const std::string& path : setup.Files()) {
      const int in = open(path.c_str(), O_RDONLY);
      const int out = open((path + ".copy").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
      ok = ok && in >= 0 && out >= 0;
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
    }
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
  Run(state, Megabytes("QUORVA_BENCH_52X_MB", 700), 3900);
}

BENCHMARK(SaoUnthrottled)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(PlainCopyPeer)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(SaoAt52x)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime()->Unit(
    benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
