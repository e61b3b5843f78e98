// The virtual recorder's own CD sector coding (ECMA-130): sync, headers, EDC, the P/Q
// Reed-Solomon parity, the scrambler and the Q subchannel. It is written apart from the
// library's coder so that each checks the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform::aspi::vr {

inline constexpr std::size_t kRawSectorSize = 2352;
inline constexpr std::size_t kUserSectorSize = 2048;
inline constexpr std::size_t kSubchannelSize = 96;

struct Msf {
  std::uint8_t minute = 0, second = 0, frame = 0;
};

// LBA to absolute time (LBA + 150; lead-in addresses from -45150 wrap to 90 minutes).
Msf LbaToMsf(std::int64_t lba);
std::int64_t MsfToLba(Msf msf);
// Relative time of a count of frames (no offset).
Msf FramesToMsf(std::int64_t frames);
std::uint8_t ToBcd(std::uint8_t value);

std::uint32_t Edc(std::span<const std::uint8_t> bytes);
// Fills P parity (172 bytes at 2076) and Q parity (104 bytes at 2248) over bytes 12-2247.
void ComputeEcc(std::uint8_t* sector);
void WriteSync(std::uint8_t* sector);
// The sector begins with the sync field.
bool HasSync(const std::uint8_t* sector);

// A raw 2352-byte sector from 2048 bytes of user data.
void EncodeMode1(std::int64_t lba, const std::uint8_t* user, std::uint8_t* sector);
// `subheader` is the four bytes of the write parameters page, stored twice.
void EncodeMode2Form1(std::int64_t lba, const std::uint8_t* subheader, const std::uint8_t* user,
                      std::uint8_t* sector);

// A 2336-byte Mode 2 unit (subheader twice, then data): Form 2 (2324 bytes and EDC) when the
// submode has 20h, else Form 1 (2048 bytes, EDC, parity).
void EncodeMode2Unit(std::int64_t lba, const std::uint8_t* unit, std::uint8_t* sector);
// A 2332-byte unit (subheader, its copy, 2324 bytes) as a Form 2 sector, whatever its submode.
void EncodeMode2Form2(std::int64_t lba, const std::uint8_t* unit, std::uint8_t* sector);
// A descrambled Mode 1 sector whose sync, header, EDC and parity agree with its data.
bool IsValidMode1(const std::uint8_t* sector);

// The ECMA-130 scrambler over bytes 12-2351 (its own inverse).
void Scramble(std::uint8_t* sector);

// CRC of a 12-byte Q frame: CRC-16 (1021h, initial 0) over bytes 0-9, stored inverted in
// bytes 10 and 11, high byte first.
std::uint16_t QCrc(const std::uint8_t* q10);
void SetQCrc(std::uint8_t* q12);

struct QPosition {
  std::uint8_t control = 4;  // data track
  std::uint8_t track = 1;
  std::uint8_t index = 1;
  std::int64_t relative = 0;  // frames from the track start (pre-gap: frames to it)
  std::int64_t lba = 0;
};
// The 12-byte mode-1 Q frame of a position, BCD times, with CRC.
void FormatQ(const QPosition& position, std::uint8_t* q12);
// 96 raw (interleaved) subchannel bytes: P and Q, R-W empty.
void InterleaveSubchannel(bool p, const std::uint8_t* q12, std::uint8_t* raw96);

}  // namespace platform::aspi::vr
