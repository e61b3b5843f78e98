#include "bench/burn_bench_fixture.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "halvorin.h"
#include "lib/api/export_frame.h"
#include "lib/core/burner/cdvd_burner_grabber.h"

namespace bench {

namespace at = platform::aspi::testing;

std::atomic<int> underruns{0};

std::uint64_t SizeFromEnvironment(const char* variable, std::uint64_t fallback) {
  if (const char* v = std::getenv(variable)) return std::strtoull(v, nullptr, 10);
  return fallback;
}

void CountUnderruns(uint32_t reason, void*, void*, void*) {
  if (reason == HALVORIN_CALLBACK_REASON_BUFFER_UNDERRUN) ++underruns;
}

std::string WindowsPath(const std::string& posix) {
  std::string w = "Z:" + posix;
  std::replace(w.begin(), w.end(), '/', '\\');
  return w;
}

bool WriteCountedFile(const std::string& file, std::uint64_t bytes, bool sync) {
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
  if (sync) ok = ok && fsync(fd) == 0;
  close(fd);
  return ok;
}

bool CopyInTransferSize(const std::string& from, const std::string& to,
                        std::vector<std::uint8_t>& buffer) {
  const int in = open(from.c_str(), O_RDONLY);
  const int out = open(to.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
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
  return ok;
}

TempProgramFolder::TempProgramFolder(const char* pattern) {
  home_ = (std::filesystem::temp_directory_path() / pattern).string();
  if (!mkdtemp(home_.data())) return;
  setenv("QUORVA_HOME", home_.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home_ + "/config").c_str(), 1);
  ok_ = true;
}

TempProgramFolder::~TempProgramFolder() {
  at::ConfigureRecorders({});
  std::error_code ignored;
  if (!home_.empty()) std::filesystem::remove_all(home_, ignored);
}

void TempProgramFolder::FreshRecorder(at::Media media) {
  at::RecorderConfig c;
  c.name = "Bench";
  c.media = media;
  at::ConfigureRecorders({c});
  std::filesystem::remove_all(home_ + "/VirtualRecorders/Bench");
}

void OnceInRealTime(benchmark::internal::Benchmark* b) {
  b->Iterations(1)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
}

void BurnEachIteration(benchmark::State& state, TempProgramFolder& home, at::Media media,
                       const std::function<std::string()>& burn) {
  underruns = 0;
  for (auto _ : state) {
    state.PauseTiming();
    home.FreshRecorder(media);
    state.ResumeTiming();
    const std::string why = burn();
    if (!why.empty()) {
      state.SkipWithError(why.c_str());
      break;
    }
  }
}

std::string BurnOnOwnBurner(std::uint64_t sectorsPerSecond, bool withSense,
                            const std::function<void(CHalvorin_CdvdBurnerGrabber&)>& write) {
  char text[512] = {};
  uint32_t error = 0;
  CDB_FAILURE_INFORMATION failure{};
  void* burner = nullptr;
  if (Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure,
                                        &CountUnderruns, nullptr, 0, 0, 0, 0, 64))
    return text;
  at::SetDrainSpeed(0, sectorsPerSecond * 2352);
  std::string result;
  try {
    write(*HalvorinI_ObjectOf<CHalvorin_CdvdBurnerGrabber>(burner));
  } catch (CHalvorin_Exception* e) {
    result = e ? e->GetText() : "write failed";
    const CDB_FAILURE_INFORMATION* f = e && withSense ? e->GetFailureInformation() : nullptr;
    if (f) {
      // The drive's refusal: its command and sense.
      char sense[64];
      std::snprintf(sense, sizeof sense, " CDB %02X at %d sense %X/%02X/%02X", f->m__UCHAR__CDB[0],
                    static_cast<int>(f->m__UCHAR__CDB[2] << 24 | f->m__UCHAR__CDB[3] << 16 |
                                     f->m__UCHAR__CDB[4] << 8 | f->m__UCHAR__CDB[5]),
                    f->m__UCHAR__Sense[2] & 0x0F, f->m__UCHAR__Sense[12], f->m__UCHAR__Sense[13]);
      result += sense;
    }
    delete e;
  }
  underruns += at::Recorder(0).ProtectedUnderruns();
  Halvorin_Destroy(&burner);
  return result;
}

}  // namespace bench
