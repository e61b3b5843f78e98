#include "lib/core/scsi/mode_page.h"

#include <algorithm>

#include "lib/core/debug_trace.h"

HalvorinI_ModePage HalvorinI_LocateModePage(const std::uint8_t* p__PUCHAR__Data,
                                            std::uint32_t p__ULONG__Size,
                                            std::uint8_t p__UCHAR__PageCode) {
  HalvorinI_ModePage page;
  if (!p__PUCHAR__Data || p__ULONG__Size < 8) return page;
  const std::uint32_t dataLength =
      (std::uint32_t{p__PUCHAR__Data[0]} << 8 | p__PUCHAR__Data[1]) + 2;
  const std::uint32_t end = std::min(p__ULONG__Size, dataLength);
  const std::uint32_t descriptors = std::uint32_t{p__PUCHAR__Data[6]} << 8 | p__PUCHAR__Data[7];
  const std::uint32_t at = 8 + descriptors;
  if (at + 2 > end) return page;
  const std::uint8_t code = p__PUCHAR__Data[at] & 0x3F;
  if (code != p__UCHAR__PageCode) {
    DebugTrace("\nHalvorinI_LocateModePage(): Page code 0x%02X instead of 0x%02X!\n", code,
               p__UCHAR__PageCode);
    return page;
  }
  page.m__PUCHAR__Page = p__PUCHAR__Data + at;
  page.m__ULONG__Size = std::min<std::uint32_t>(end - at, p__PUCHAR__Data[at + 1] + 2u);
  return page;
}
