// R-W subchannel from untrusted bytes, as a host-written lead-in or a raw sector carries it:
// decoded into Q frames and CD-Text packs by the virtual recorder's decoder, in both block
// forms (16-byte PQ and 96-byte P-W) and at the stride of 2448-byte raw sectors.
//
// Besides memory errors it traps when a distinct pack has a wrong CRC or a repeated key.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/aspi/recorder/coding/vr_subchannel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace vr = platform::aspi::vr;
  const std::span<const std::uint8_t> bytes(data, size);
  vr::DecodeSubchannel(bytes, vr::kPQBlockSize, vr::kPQBlockSize);
  vr::DecodeSubchannel(bytes, vr::kRawPWBlockSize, 2448, 2352);
  const auto decoded = vr::DecodeSubchannel(bytes, vr::kRawPWBlockSize, vr::kRawPWBlockSize);
  const auto distinct = vr::DistinctPacks(decoded.packs);
  for (std::size_t i = 0; i < distinct.size(); ++i) {
    if (!vr::PackCrcOk(distinct[i].bytes.data())) std::abort();
    if (i > 0 && distinct[i].bytes[2] < distinct[i - 1].bytes[2]) std::abort();
  }
  return 0;
}
