// Locating a page in MODE SENSE(10) data.
#pragma once

#include <cstdint>

struct HalvorinI_ModePage {
  const std::uint8_t* m__PUCHAR__Page = nullptr;  // from the page code byte on
  std::uint32_t m__ULONG__Size = 0;               // bytes of the page that are there
};

// The page after the 8-byte mode parameter header and its block descriptors, as the header's
// lengths place it, bounded by the mode data length and the buffer. Empty when it is not
// there or its page code is not the one asked for.
HalvorinI_ModePage HalvorinI_LocateModePage(const std::uint8_t* p__PUCHAR__Data,
                                            std::uint32_t p__ULONG__Size,
                                            std::uint8_t p__UCHAR__PageCode);
