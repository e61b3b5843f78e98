// CD-ROM sector coding on one core, 2352-byte sectors: Mode 1 encode and scramble, the check of
// clean Mode 1 sectors, and libfec's P and Q parity of the same sectors for comparison.
// Sectors per second are "items_per_second"; the goal for encode and scramble is 1 GB/s.
#include <benchmark/benchmark.h>

extern "C" {
#include <fec.h>
}

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "lib/core/sector/edc_ecc.h"
#include "lib/core/sector/sector_encoder.h"

namespace {

constexpr std::size_t kSector = 2352;
constexpr std::size_t kSectors = 512;  // 1.2 MB: the cache a writer's buffer passes through

std::vector<std::uint8_t> RandomUserData() {
  std::vector<std::uint8_t> data(kSectors * kSector);
  std::mt19937 random(1);
  for (auto& b : data) b = static_cast<std::uint8_t>(random());
  return data;
}

std::vector<std::uint8_t> EncodedSectors() {
  std::vector<std::uint8_t> data = RandomUserData();
  for (std::size_t i = 0; i < kSectors; ++i)
    EncodeSectorAtAddress(&data[i * kSector], kHalvorinSectorTypeMode1,
                          static_cast<std::int32_t>(i));
  return data;
}

void Count(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kSector));
}

void EncodeAndScrambleMode1(benchmark::State& state) {
  std::vector<std::uint8_t> data = RandomUserData();
  std::size_t i = 0;
  for (auto _ : state) {
    std::uint8_t* s = &data[i * kSector];
    EncodeSectorAtAddress(s, kHalvorinSectorTypeMode1, static_cast<std::int32_t>(i));
    ScrambleSector(s);
    benchmark::DoNotOptimize(s);
    i = (i + 1) % kSectors;
  }
  Count(state);
}
BENCHMARK(EncodeAndScrambleMode1);

void CheckLBOfCleanMode1(benchmark::State& state) {
  std::vector<std::uint8_t> data = EncodedSectors();
  CHalvorin_EDCECC coder;
  std::size_t i = 0;
  for (auto _ : state) {
    if (!coder.CheckLB(&data[i * kSector], kHalvorinSectorKindMode1)) state.SkipWithError("bad");
    i = (i + 1) % kSectors;
  }
  Count(state);
}
BENCHMARK(CheckLBOfCleanMode1);

// libfec's Reed-Solomon coder over the same codewords: 86 P columns of 24 bytes and 52 Q
// diagonals of 43.
void LibfecParityPQ(benchmark::State& state) {
  std::vector<std::uint8_t> data = EncodedSectors();
  void* p = init_rs_char(8, 0x11D, 0, 1, 2, 229);
  void* q = init_rs_char(8, 0x11D, 0, 1, 2, 210);
  std::size_t i = 0;
  for (auto _ : state) {
    std::uint8_t* body = &data[i * kSector + 12];
    for (int k = 0; k < 86; ++k) {
      std::uint8_t column[24];
      for (int r = 0; r < 24; ++r) column[r] = body[2 * (43 * r + k / 2) + k % 2];
      std::uint8_t parity[2];
      encode_rs_char(p, column, parity);
      body[2064 + k] = parity[0];
      body[2150 + k] = parity[1];
    }
    for (int m = 0; m < 52; ++m) {
      std::uint8_t diagonal[43];
      for (int n = 0; n < 43; ++n) diagonal[n] = body[2 * ((43 * (m / 2) + 44 * n) % 1118) + m % 2];
      std::uint8_t parity[2];
      encode_rs_char(q, diagonal, parity);
      body[2236 + m] = parity[0];
      body[2288 + m] = parity[1];
    }
    benchmark::DoNotOptimize(body);
    i = (i + 1) % kSectors;
  }
  free_rs_char(p);
  free_rs_char(q);
  Count(state);
}
BENCHMARK(LibfecParityPQ);

}  // namespace

BENCHMARK_MAIN();
