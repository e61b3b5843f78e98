// DVD-Video IFO and BUP files held in memory, patched with their final addresses before the
// image is written. Nothing changes unless the whole patch fits the content.
#pragma once

#include <cstdint>

#include "halvorin.h"

// 0 when patched, 2 when refused (traced).
HALVORIN_STATUS HalvorinI_UdfPatchIfoHeader(HALVORIN_UDF_TREE_ITEM* p__PItem,
                                            std::uint32_t p__ULONG__IfoLastAddress,
                                            std::uint32_t p__ULONG__BupLastAddress);
HALVORIN_STATUS HalvorinI_UdfPatchIfoTable(HALVORIN_UDF_TREE_ITEM* p__PItem,
                                           std::uint32_t p__ULONG__TitleSetAddress);
