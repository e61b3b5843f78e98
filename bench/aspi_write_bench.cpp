// Sequential WRITE(10) of 4 GiB to a virtual DVD-R through SendASPI32Command, without drain
// throttling: MB/s and CPU time. QUORVA_BENCH_BYTES sets another size.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/aspi/aspi.h"
#include "platform/aspi/testing.h"

namespace {

namespace aspi = platform::aspi;

constexpr std::uint16_t kBlocksPerWrite = 32;

std::uint64_t TotalBytes() {
  if (const char* v = std::getenv("QUORVA_BENCH_BYTES")) return std::strtoull(v, nullptr, 10);
  return 4ull << 30;
}

bool Command(std::vector<std::uint8_t> cdb, std::uint8_t* data, std::uint32_t length,
             std::uint8_t flags, aspi::CompletionEvent* event = nullptr) {
  aspi::SrbExecScsiCmd srb;
  srb.header.flags = flags;
  srb.data = data;
  srb.dataLength = length;
  srb.cdbLength = static_cast<std::uint8_t>(cdb.size());
  srb.postEvent = event;
  std::memcpy(srb.cdb, cdb.data(), cdb.size());
  std::uint32_t status = aspi::SendASPI32Command(&srb.header);
  if (status == aspi::SS_PENDING && event) {
    event->Wait();
    status = aspi::RequestStatus(srb.header);
  }
  return status == aspi::SS_COMP;
}

void WriteDvdR(benchmark::State& state) {
  const bool withEvent = state.range(0) != 0;
  std::string home = (std::filesystem::temp_directory_path() / "qvbench-XXXXXX").string();
  if (!mkdtemp(home.data())) {
    state.SkipWithError("no temporary folder");
    return;
  }
  setenv("QUORVA_HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  const std::uint64_t blocks = TotalBytes() / 2048;
  std::vector<std::uint8_t> data(kBlocksPerWrite * 2048);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31 + 7);
  aspi::CompletionEvent event;
  const std::uint8_t flags = aspi::SRB_DIR_OUT | (withEvent ? aspi::SRB_EVENT_NOTIFY : 0);

  for (auto _ : state) {
    state.PauseTiming();
    platform::aspi::testing::RecorderConfig c;
    c.name = "Bench";
    c.media = platform::aspi::vr::Media::DvdR;
    platform::aspi::testing::ConfigureRecorders({c});
    const auto size = static_cast<std::uint32_t>(blocks);
    Command({0x53, 0, 0, 0, 0, static_cast<std::uint8_t>(size >> 24),
             static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 8),
             static_cast<std::uint8_t>(size), 0},
            nullptr, 0, 0);
    state.ResumeTiming();
    for (std::uint64_t lba = 0; lba < blocks; lba += kBlocksPerWrite) {
      const auto n =
          static_cast<std::uint16_t>(std::min<std::uint64_t>(kBlocksPerWrite, blocks - lba));
      const std::vector<std::uint8_t> cdb = {0x2A,
                                             0,
                                             static_cast<std::uint8_t>(lba >> 24),
                                             static_cast<std::uint8_t>(lba >> 16),
                                             static_cast<std::uint8_t>(lba >> 8),
                                             static_cast<std::uint8_t>(lba),
                                             0,
                                             static_cast<std::uint8_t>(n >> 8),
                                             static_cast<std::uint8_t>(n),
                                             0};
      if (!Command(cdb, data.data(), n * 2048u, flags, &event)) {
        state.SkipWithError("WRITE(10) failed");
        break;
      }
    }
    Command({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, nullptr, 0, 0);
    state.PauseTiming();
    platform::aspi::testing::ConfigureRecorders({});
    std::filesystem::remove_all(home + "/VirtualRecorders");
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * blocks * 2048));
  state.counters["MB/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * blocks * 2048) / 1e6, benchmark::Counter::kIsRate);
  std::filesystem::remove_all(home);
}

BENCHMARK(WriteDvdR)->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
