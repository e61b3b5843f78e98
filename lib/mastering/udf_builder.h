// Lays out a UDF 1.02 image (pure, or the DVD-Video bridge) of the caller's tree items and
// formats every structure: the head's volume structures, the file entries and identifiers of
// the items, the system structures and the tail's anchors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "lib/api/halvorin.h"
#include "lib/mastering/udf_image_tree.h"

struct HalvorinI_UdfImage {
  std::unique_ptr<CHalvorin_UDFImageTree> m__PTree;
  CHalvorin_File* m__PHead = nullptr;
  CHalvorin_File* m__PSystemStructures = nullptr;
  CHalvorin_File* m__PTail = nullptr;
};

// Throws CHalvorin_Exception: 2 for items, a head or a tail that do not fit the layout, 18 for
// a VIDEO_TS file too large for the bridge, 4 when memory runs out, 5 for a file that cannot be
// opened.
HalvorinI_UdfImage HalvorinI_UdfBuild(
    std::uint8_t* p__PUCHAR__Head, std::uint32_t p__ULONG__HeadSize, std::uint8_t* p__PUCHAR__Tail,
    std::uint32_t p__ULONG__TailSize, HALVORIN_UDF_TREE_ITEM* p__PRoot,
    HALVORIN_UDF_TREE_ITEM* p__PVideoTs, HALVORIN_UDF_TREE_ITEM* p__PAudioTs,
    const std::string& p__STRING__Label);
