#include "lib/mastering/raw/raw_subchannel.h"

#include <cstring>

#include "lib/core/sector/lba_msf.h"
#include "lib/core/sector/sector_helpers.h"

namespace {

// Bit `bit` (0x80 P, 0x40 Q, ...) of each of the 96 symbols from a 12-byte channel. A temporary
// keeps source and destination apart.
void Spread(const std::uint8_t* channel, std::uint8_t bit, std::uint8_t extra, std::uint8_t* raw) {
  std::uint8_t bytes[12];
  std::memcpy(bytes, channel, sizeof bytes);
  for (int i = 0; i < 96; ++i)
    raw[i] = static_cast<std::uint8_t>(((bytes[i / 8] >> (7 - i % 8)) & 1 ? bit : 0) | extra);
}

}  // namespace

void HalvorinI_FormatPQBlock(std::uint8_t* p__PUCHAR__Block, std::uint8_t p__UCHAR__ControlAdr,
                             std::uint8_t p__UCHAR__TNO, std::uint8_t p__UCHAR__Index,
                             std::uint32_t p__ULONG__RelativeFrames, std::int32_t p__LONG__LBA,
                             bool p__BOOLEAN__IsP) {
  std::uint8_t* q = p__PUCHAR__Block;
  q[0] = p__UCHAR__ControlAdr;
  q[1] = p__UCHAR__TNO;
  q[2] = p__UCHAR__Index;
  FramesToMSFBCD(p__ULONG__RelativeFrames, q + 3);
  q[6] = 0;
  LBAToMSFBCD(q + 7, p__LONG__LBA);
  CalculateSubQCRC(q);
  q[12] = q[13] = q[14] = 0;
  q[15] = p__BOOLEAN__IsP ? kHalvorinPFlag : 0;
}

void PackSubchannelQ(const std::uint8_t* p__PUCHAR__Q, std::uint8_t* p__PUCHAR__RawPW) {
  Spread(p__PUCHAR__Q, 0x40, 0, p__PUCHAR__RawPW);
}

void PackSubchannelPQ(const std::uint8_t* p__PUCHAR__PQ, std::uint8_t* p__PUCHAR__RawPW) {
  Spread(p__PUCHAR__PQ, 0x40, p__PUCHAR__PQ[15] & kHalvorinPFlag, p__PUCHAR__RawPW);
}

void DeinterleaveSubchannelPW(const std::uint8_t* p__PUCHAR__RawPW,
                              std::uint8_t* p__PUCHAR__Channels) {
  std::uint8_t channels[96] = {};
  for (int i = 0; i < 96; ++i)
    for (int c = 0; c < 8; ++c)
      if (p__PUCHAR__RawPW[i] & (0x80 >> c))
        channels[12 * c + i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
  std::memcpy(p__PUCHAR__Channels, channels, sizeof channels);
}

bool HalvorinI_IsPSet(const std::uint8_t* p__PUCHAR__RawPW) {
  int set = 0;
  for (int i = 0; i < 96; ++i) set += p__PUCHAR__RawPW[i] >> 7;
  return set > 48;
}
