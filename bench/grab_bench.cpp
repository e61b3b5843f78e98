// Grabbing from pressed virtual discs, in one run: GrabDVD of a 4 GiB DVD-ROM next to a loop of
// Halvorin_CdvdBurnerGrabber_Read10 of 30 blocks over the same disc, the image's bytes written
// alone and a cat of the fixture (the goal: the grab at 90 % of the loop or more; the write
// alone bounds it), and GrabCD in read mode 3 (raw + raw P-W, every sector's EDC/ECC checked)
// of a 700 MB Mode 1 CD. MB/s and process CPU time (cat's from its rusage). The fixtures are
// written files made here, not sparse; the grabs write their images to QUORVA_BENCH_OUTPUT,
// else /dev/shm when it has room, else the temporary folder, so that the figures are of the
// reading path and not of this machine's disk.
// QUORVA_BENCH_DVD_BYTES and QUORVA_BENCH_CD_BYTES set the sizes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "halvorin.h"
#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/aspi/testing.h"

namespace {

namespace at = platform::aspi::testing;
namespace vr = platform::aspi::vr;

std::uint64_t Size(const char* variable, std::uint64_t fallback) {
  if (const char* v = std::getenv(variable)) return std::strtoull(v, nullptr, 10);
  return fallback;
}

std::string Win(const std::string& posix) {
  std::string w = "Z:" + posix;
  for (auto& c : w)
    if (c == '/') c = '\\';
  return w;
}

bool HasRoom(const std::string& folder, std::uint64_t bytes) {
  struct statvfs s {};
  return statvfs(folder.c_str(), &s) == 0 &&
         static_cast<std::uint64_t>(s.f_bavail) * s.f_frsize > bytes + (1ull << 30);
}

// Writes `bytes` produced block by block by `fill`, then flushes them, so that the dirty pages
// do not weigh on the timed part.
template <class Fill>
bool WriteFixture(const std::string& path, std::uint64_t bytes, std::size_t unit, Fill fill) {
  const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  if (fd < 0) return false;
  std::vector<std::uint8_t> chunk(unit * 512);
  bool ok = true;
  for (std::uint64_t at = 0; ok && at < bytes;) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), bytes - at));
    for (std::size_t i = 0; i < n / unit; ++i) fill((at / unit) + i, chunk.data() + i * unit);
    ok = write(fd, chunk.data(), n) == static_cast<ssize_t>(n);
    at += n;
  }
  ok = ok && fsync(fd) == 0;
  close(fd);
  return ok;
}

// On a virtual machine the first touch of memory the host has taken back costs several times a
// write: a file of `bytes` written in 1 MiB writes and removed again before a timed grab, so
// that every figure is of warm memory.
void PrimeFolder(const std::string& folder, std::uint64_t bytes) {
  const std::string path = folder + "/prime";
  const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  if (fd < 0) return;
  const std::vector<std::uint8_t> chunk(1 << 20, 0x5A);
  for (std::uint64_t at = 0; at < bytes;) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), bytes - at));
    if (write(fd, chunk.data(), n) != static_cast<ssize_t>(n)) break;
    at += n;
  }
  close(fd);
  unlink(path.c_str());
}

// A temporary program folder, the fixtures and the pressed recorders (target 0 the DVD-ROM,
// target 1 the CD-ROM).
class Setup {
 public:
  Setup() {
    home_ = (std::filesystem::temp_directory_path() / "qvgrabbench-XXXXXX").string();
    if (!mkdtemp(home_.data())) return;
    setenv("QUORVA_HOME", home_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home_ + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home_ + "/data").c_str(), 1);
    dvdBytes_ = Size("QUORVA_BENCH_DVD_BYTES", 4ull << 30) / 2048 * 2048;
    cdBytes_ = Size("QUORVA_BENCH_CD_BYTES", 700ull * 1000 * 1000) / 2352 * 2352;
    const char* chosen = std::getenv("QUORVA_BENCH_OUTPUT");
    std::string out = chosen ? chosen : "";
    const std::uint64_t images = dvdBytes_ + cdBytes_ / 2352 * 2448;
    if (out.empty()) out = HasRoom("/dev/shm", images) ? "/dev/shm" : home_;
    output_ = out + "/qvgrabbench-out-" + std::to_string(getpid());
    std::filesystem::create_directories(output_);
    ok_ = WriteFixture(home_ + "/dvd.iso", dvdBytes_, 2048,
                       [](std::uint64_t block, std::uint8_t* p) {
                         for (std::size_t k = 0; k < 2048; k += 8) {
                           const std::uint64_t v = block * 0x9E3779B97F4A7C15ull ^ k;
                           std::memcpy(p + k, &v, 8);
                         }
                       }) &&
          WriteFixture(home_ + "/cd.bin", cdBytes_, 2352, [](std::uint64_t lba, std::uint8_t* p) {
            std::uint8_t user[2048];
            for (std::size_t k = 0; k < 2048; ++k) user[k] = static_cast<std::uint8_t>(lba + k * 3);
            vr::EncodeMode1(static_cast<std::int64_t>(lba), user, p);
          });
    const std::string cue =
        "FILE \"cd.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n";
    const int fd = open((home_ + "/cd.cue").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ok_ = ok_ && fd >= 0 && write(fd, cue.data(), cue.size()) == static_cast<ssize_t>(cue.size());
    if (fd >= 0) close(fd);
    at::RecorderConfig dvd, cd;
    dvd.name = "Dvd";
    dvd.media = at::Media::DvdRom;
    dvd.fixture = Win(home_ + "/dvd.iso");
    cd.name = "Cd";
    cd.media = at::Media::CdRom;
    cd.fixture = Win(home_ + "/cd.cue");
    at::ConfigureRecorders({dvd, cd});
  }
  ~Setup() {
    at::ConfigureRecorders({});
    std::error_code ignored;
    std::filesystem::remove_all(output_, ignored);
    if (!home_.empty()) std::filesystem::remove_all(home_, ignored);
  }
  bool Ok() const { return ok_; }
  const std::string& Home() const { return home_; }
  const std::string& Output() const { return output_; }
  std::uint64_t DvdBytes() const { return dvdBytes_; }
  std::uint64_t CdBytes() const { return cdBytes_; }
  void ClearOutput() const {
    std::error_code ignored;
    for (const auto& e : std::filesystem::directory_iterator(output_, ignored))
      std::filesystem::remove(e.path(), ignored);
  }

 private:
  std::string home_, output_;
  std::uint64_t dvdBytes_ = 0, cdBytes_ = 0;
  bool ok_ = false;
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

struct Burner {
  explicit Burner(std::uint8_t target) {
    Halvorin_UpStart();
    status = Halvorin_CdvdBurnerGrabber_Create(&handle, text, sizeof text, &error, &failure,
                                               nullptr, nullptr, 0, 0, target, 0, 0);
  }
  ~Burner() { Halvorin_Destroy(&handle); }
  void* handle = nullptr;
  char text[512] = {};
  uint32_t error = 0;
  CDB_FAILURE_INFORMATION failure{};
  HALVORIN_STATUS status = 0;
};

void Rate(benchmark::State& state, std::uint64_t bytes) {
  const double total = static_cast<double>(state.iterations() * bytes);
  state.SetBytesProcessed(static_cast<std::int64_t>(total));
  state.counters["MB/s"] = benchmark::Counter(total / 1e6, benchmark::Counter::kIsRate);
}

void GrabDvd(benchmark::State& state) {
  Setup& setup = TheSetup();
  if (!setup.Ok()) return state.SkipWithError("no fixtures");
  Burner b(0);
  if (b.status) return state.SkipWithError(b.text);
  const std::string base = Win(setup.Output() + "/dvd");
  for (auto _ : state) {
    state.PauseTiming();
    setup.ClearOutput();
    PrimeFolder(setup.Output(), setup.DvdBytes());
    state.ResumeTiming();
    if (Halvorin_CdvdBurnerGrabber_GrabDVD(b.handle, b.text, sizeof b.text, &b.error, &b.failure,
                                           base.c_str(), 4700, 0, 0, 0, 0))
      return state.SkipWithError(b.text);
  }
  if (std::filesystem::file_size(setup.Output() + "/dvd.qvf") != setup.DvdBytes())
    state.SkipWithError("the image is not the disc's size");
  Rate(state, setup.DvdBytes());
  setup.ClearOutput();
}

void Read10Loop(benchmark::State& state) {
  Setup& setup = TheSetup();
  if (!setup.Ok()) return state.SkipWithError("no fixtures");
  Burner b(0);
  if (b.status) return state.SkipWithError(b.text);
  std::vector<std::uint8_t> buffer(30 * 2048);
  const std::uint32_t blocks = static_cast<std::uint32_t>(setup.DvdBytes() / 2048);
  for (auto _ : state)
    for (std::uint32_t lba = 0; lba < blocks; lba += 30) {
      const auto n = static_cast<std::uint16_t>(std::min<std::uint32_t>(30, blocks - lba));
      if (Halvorin_CdvdBurnerGrabber_Read10(b.handle, b.text, sizeof b.text, &b.error, &b.failure,
                                            buffer.data(), static_cast<uint32_t>(buffer.size()),
                                            lba, n))
        return state.SkipWithError(b.text);
      benchmark::DoNotOptimize(buffer.data());
    }
  Rate(state, setup.DvdBytes());
}

// The image's bytes written alone, as the grab's writer writes them (16 transfers a call from
// warm buffers, then a flush), into a new file of the output folder: what storing the image
// costs this machine without any reading, the bound of a grab that must read and write.
void WriteImageAlone(benchmark::State& state) {
  Setup& setup = TheSetup();
  if (!setup.Ok()) return state.SkipWithError("no fixtures");
  constexpr std::size_t kTransfer = 61440, kBatch = 16;
  std::vector<std::uint8_t> buffers(kTransfer * kBatch, 0x5A);
  iovec vectors[kBatch];
  for (std::size_t k = 0; k < kBatch; ++k) vectors[k] = {buffers.data() + k * kTransfer, kTransfer};
  const std::string path = setup.Output() + "/alone.qvf";
  for (auto _ : state) {
    state.PauseTiming();
    setup.ClearOutput();
    PrimeFolder(setup.Output(), setup.DvdBytes());
    state.ResumeTiming();
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) return state.SkipWithError("cannot make the file");
    bool ok = true;
    for (std::uint64_t at = 0; ok && at < setup.DvdBytes();) {
      const std::uint64_t left = setup.DvdBytes() - at;
      int count = static_cast<int>(std::min<std::uint64_t>(kBatch, left / kTransfer));
      std::size_t bytes = count * kTransfer;
      if (count == 0) {  // the last, shorter transfer
        vectors[0].iov_len = bytes = static_cast<std::size_t>(left);
        count = 1;
      }
      ok = writev(fd, vectors, count) == static_cast<ssize_t>(bytes);  // no short writes here
      vectors[0].iov_len = kTransfer;
      at += bytes;
    }
    ok = ok && fsync(fd) == 0;
    close(fd);
    if (!ok) return state.SkipWithError("write failed");
  }
  Rate(state, setup.DvdBytes());
  setup.ClearOutput();
}

// cat of the fixture to /dev/null: the page cache's own rate; its CPU time from its rusage.
void CatFixture(benchmark::State& state) {
  Setup& setup = TheSetup();
  if (!setup.Ok()) return state.SkipWithError("no fixtures");
  double cpu = 0;
  for (auto _ : state) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      execlp("cat", "cat", (setup.Home() + "/dvd.iso").c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
      return state.SkipWithError("cat failed");
    cpu += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  }
  Rate(state, setup.DvdBytes());
  state.counters["cat_cpu_s"] = cpu;
}

void GrabCdRawPW(benchmark::State& state) {
  Setup& setup = TheSetup();
  if (!setup.Ok()) return state.SkipWithError("no fixtures");
  Burner b(1);
  if (b.status) return state.SkipWithError(b.text);
  const std::string base = Win(setup.Output() + "/cd");
  for (auto _ : state) {
    state.PauseTiming();
    setup.ClearOutput();
    PrimeFolder(setup.Output(), setup.CdBytes() / 2352 * 2448);
    state.ResumeTiming();
    if (Halvorin_CdvdBurnerGrabber_GrabCD(b.handle, b.text, sizeof b.text, &b.error, &b.failure,
                                          base.c_str(), 3, 0, 0, 0, 0, 0))
      return state.SkipWithError(b.text);
  }
  Rate(state, setup.CdBytes());  // of the disc's 2352-byte sectors
  state.counters["sectors/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * (setup.CdBytes() / 2352)),
                         benchmark::Counter::kIsRate);
  setup.ClearOutput();
}

BENCHMARK(GrabDvd)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(Read10Loop)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(WriteImageAlone)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(CatFixture)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(GrabCdRawPW)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// The console table, then the ratio the project aims at from the same run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  using ConsoleReporter::ConsoleReporter;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      const auto rate = r.counters.find("MB/s");
      if (rate == r.counters.end()) continue;
      const std::string name = r.benchmark_name();
      if (name.rfind("GrabDvd", 0) == 0) grab_ = rate->second.value;
      if (name.rfind("Read10Loop", 0) == 0) loop_ = rate->second.value;
      if (name.rfind("WriteImageAlone", 0) == 0) alone_ = rate->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (grab_ > 0 && loop_ > 0)
      std::printf("goal: GrabDVD / Read10 loop = %.3f (>= 0.9: %s)\n", grab_ / loop_,
                  grab_ / loop_ >= 0.9 ? "yes" : "no");
    // A grab reads and writes every byte: it cannot pass the slower of the two alone.
    if (alone_ > 0 && loop_ > 0)
      std::printf(
          "bound: image written alone / Read10 loop = %.3f, GrabDVD / written alone = %.3f\n",
          alone_ / loop_, grab_ / alone_);
  }

 private:
  double grab_ = 0, loop_ = 0, alone_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Colours only on a terminal, as the library's own reporter does.
  RatioReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Color
                                               : benchmark::ConsoleReporter::OO_None);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
