// Disc-at-once blocks as a host sends them, made with the recorder's own coder: the lead-in's
// Q frames carry the TOC of a list of tracks (A0, A1, A2 and one point each, three frames
// apiece), program-area and lead-out Q the positions; 16-byte PQ or 96-byte raw P-W blocks.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/aspi/recorder/coding/vr_sector_coding.h"

namespace aspitest {

namespace vrc = platform::aspi::vr;

struct DaoDisc {
  std::vector<std::int32_t> starts = {0};  // track starts
  std::int32_t leadOut = 40;
  bool data = true;
  bool xa = false;
  std::size_t blockSize = 2448;  // 2368 with PQ

  // The 12 Q bytes of the block at the LBA.
  void Q(std::int32_t lba, std::int32_t leadInStart, std::uint8_t* q) const {
    std::memset(q, 0, 12);
    const std::uint8_t control = data ? 0x41 : 0x01;
    q[0] = control;
    auto put = [&](int at, std::int64_t l) {
      const vrc::Msf m = vrc::LbaToMsf(l);
      q[at] = vrc::ToBcd(m.minute);
      q[at + 1] = vrc::ToBcd(m.second);
      q[at + 2] = vrc::ToBcd(m.frame);
    };
    if (lba < -150) {
      const int n = static_cast<int>(starts.size());
      const int c = (lba - leadInStart) % (3 * n + 9);
      put(3, lba);
      if (c < 3) {
        q[2] = 0xA0, q[7] = 1, q[8] = xa ? 0x20 : 0;
      } else if (c < 6) {
        q[2] = 0xA1, q[7] = vrc::ToBcd(static_cast<std::uint8_t>(n));
      } else if (c < 9) {
        q[2] = 0xA2, put(7, leadOut);
      } else {
        const int t = c / 3 - 2;
        q[2] = vrc::ToBcd(static_cast<std::uint8_t>(t)), put(7, starts[t - 1]);
      }
    } else if (lba >= leadOut) {
      q[1] = 0xAA, q[2] = 1;
      const vrc::Msf r = vrc::FramesToMsf(lba - leadOut);
      q[3] = vrc::ToBcd(r.minute), q[4] = vrc::ToBcd(r.second), q[5] = vrc::ToBcd(r.frame);
      put(7, lba);
    } else {
      vrc::QPosition p;
      p.control = data ? 4 : 0;
      std::size_t t = 0;
      while (t + 1 < starts.size() && starts[t + 1] <= lba) ++t;
      p.track = static_cast<std::uint8_t>(t + 1);
      p.index = lba < 0 ? 0 : 1;
      p.relative = lba < 0 ? -lba - 1 : lba - starts[t];
      p.lba = lba;
      vrc::FormatQ(p, q);
      return;
    }
    vrc::SetQCrc(q);
  }
  // One whole block: zero main data (audio, or data the recorder takes as it is) and its Q.
  void Block(std::int32_t lba, std::int32_t leadInStart, std::uint8_t* block) const {
    std::memset(block, 0, blockSize);
    std::uint8_t q[12];
    Q(lba, leadInStart, q);
    if (blockSize == 2368)
      std::memcpy(block + 2352, q, 12);
    else
      vrc::InterleaveSubchannel(false, q, block + 2352);
  }
};

}  // namespace aspitest
