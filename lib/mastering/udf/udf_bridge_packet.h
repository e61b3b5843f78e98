// The ISO9660 part of a UDF bridge image: primary descriptor, terminator, path tables and the
// root, VIDEO_TS and AUDIO_TS directories, whose file records point into the UDF partition.
#pragma once

#include <cstdint>
#include <string>

#include "halvorin.h"

// The packet shows VIDEO_TS and AUDIO_TS as folders of the root: throws status 2 unless both
// are folder items under the root item.
void HalvorinI_UdfCheckBridgeFolders(const HALVORIN_UDF_TREE_ITEM* p__PRoot,
                                     const HALVORIN_UDF_TREE_ITEM* p__PVideoTs,
                                     const HALVORIN_UDF_TREE_ITEM* p__PAudioTs);

// Sectors of the VIDEO_TS directory: one record per file under it. 18 for a file too large
// for a 32-bit data length below 2 GB, 2 for a name too long for a record or two records that
// readers show under one name.
std::uint32_t HalvorinI_UdfVideoTsSectors(const HALVORIN_UDF_TREE_ITEM* p__PVideoTs);

// Writes the packet into the head (sectors 16, 17 and 257-261); the VIDEO_TS directory goes to
// p__PUCHAR__VideoTs, which the image holds at sector p__ULONG__VideoTsSector (260 when it
// takes one sector). The volume space is the whole image.
void HalvorinI_UdfFormatBridgePacket(
    std::uint8_t* p__PUCHAR__Head, const std::string& p__STRING__Label,
    const HALVORIN_UDF_TREE_ITEM* p__PRoot, const HALVORIN_UDF_TREE_ITEM* p__PVideoTs,
    std::uint32_t p__ULONG__ImageSectors, std::uint32_t p__ULONG__VideoTsSector,
    std::uint8_t* p__PUCHAR__VideoTs, std::uint32_t p__ULONG__VideoTsSectors);
