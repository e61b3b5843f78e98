// The virtual recorder's subchannel decoder: 16-byte PQ blocks or 96-byte raw P-W blocks back
// into Q frames (CRC checked) and, from the R-W bits, CD-Text packs (CRC checked). The
// recorder reads the host's raw sectors and lead-in with it; tests call it too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform::aspi::vr {

inline constexpr std::size_t kPQBlockSize = 16;
inline constexpr std::size_t kRawPWBlockSize = 96;
inline constexpr std::size_t kCdTextPackSize = 18;

struct QFrame {
  std::array<std::uint8_t, 12> q{};
  bool crcOk = false;
  bool p = false;
};

struct CdTextPack {
  std::array<std::uint8_t, kCdTextPackSize> bytes{};
  bool crcOk = false;
};

struct DecodedSubchannel {
  std::vector<QFrame> frames;
  std::vector<CdTextPack> packs;  // in the order the blocks carry them; empty R-W carry none
};

// One block of `unit` bytes (16 or 96).
QFrame DecodeQ(const std::uint8_t* block, std::size_t unit);
// The four packs of a 96-byte block's R-W bits.
std::array<CdTextPack, 4> DecodeRw(const std::uint8_t* raw96);
bool RwEmpty(const std::uint8_t* raw96);
bool PackCrcOk(const std::uint8_t* pack18);

// Every block of `unit` bytes found `stride` bytes apart from `offset` (a 2448-byte sector's
// subchannel: unit 96, stride 2448, offset 2352).
DecodedSubchannel DecodeSubchannel(std::span<const std::uint8_t> bytes, std::size_t unit,
                                   std::size_t stride, std::size_t offset = 0);

// Whether the frame's first ten Q bytes are those of `lba` in a track whose INDEX 1 (or the
// lead-out's start) is `origin`: `adrControl`, `tno`, INDEX 0 and the relative time counting
// down before `origin`, INDEX 1 and counting up from it, then the absolute time.
bool QPositionMatches(const QFrame& f, std::uint8_t adrControl, std::uint8_t tno,
                      std::int64_t origin, std::int64_t lba);

// The packs with valid CRCs, each (type, track, sequence) once, in sequence order.
std::vector<CdTextPack> DistinctPacks(const std::vector<CdTextPack>& packs);

}  // namespace platform::aspi::vr
