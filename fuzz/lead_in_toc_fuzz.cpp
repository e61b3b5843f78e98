// A disc-at-once lead-in's subchannel as the virtual recorder reads it, from untrusted bytes:
// a flags byte (bit 0: 96-byte raw P-W blocks, else 16-byte PQ blocks; bit 1: every frame's Q
// CRC recomputed, so that the fuzzer reaches the points behind it), then the blocks. Each
// frame goes into the TOC, then the TOC is decoded.
//
// Besides memory errors it traps when the list or a decoded TOC breaks what the recorder
// relies on: points valid and in order, tracks numbered from 1 with ascending starts from 0,
// the lead-out after the last track and within the capacity.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/aspi/recorder/coding/vr_lead_in_toc.h"
#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/aspi/recorder/coding/vr_subchannel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace vr = platform::aspi::vr;
  if (size < 1) return 0;
  const bool rawPW = data[0] & 1, fixCrc = data[0] & 2;
  const std::size_t unit = rawPW ? vr::kRawPWBlockSize : vr::kPQBlockSize;
  std::vector<vr::TocPoint> toc;
  for (std::size_t at = 1; at + unit <= size && toc.size() < 200; at += unit) {
    vr::QFrame frame = vr::DecodeQ(data + at, unit);
    if (fixCrc) {
      vr::SetQCrc(frame.q.data());
      frame.crcOk = true;
    }
    vr::AddTocFrame(toc, frame);
  }
  for (std::size_t i = 0; i < toc.size(); ++i)
    if (!vr::ValidTocPoint(toc[i]) || (i > 0 && toc[i - 1].point >= toc[i].point)) std::abort();
  constexpr std::int64_t kCapacity = 359849;
  const auto decoded = vr::DecodeToc(toc, kCapacity);
  if (!decoded) return 0;
  std::int64_t previous = -1;
  int number = 1;
  for (const vr::TocTrack& t : decoded->tracks) {
    if (t.number != number++ || t.start <= previous || (t.number == 1 && t.start != 0))
      std::abort();
    previous = t.start;
  }
  if (decoded->tracks.empty() || decoded->leadOut <= previous || decoded->leadOut > kCapacity)
    std::abort();
  return 0;
}
