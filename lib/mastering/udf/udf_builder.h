// Lays out a UDF 1.02 image (pure, or the DVD-Video bridge) of the caller's tree items and
// formats the head's volume structures and the tail's anchors; the file entries and identifiers
// of the items are formatted by the system structures' reader as the image is read.
//
// Image sectors: the head (0-262, the bridge 0-263: volume recognition, the ISO9660 packet of
// a bridge at 16-17 and 257-261, descriptor sequences, anchor at 256, file set descriptor at
// 262), the system structures from the root's file entry, the files' contents, then the tail of
// 256 anchors. A bridge's VIDEO_TS directory that needs more than one sector is not at 260: it
// takes the partition blocks right after the last file's content (image sector = block + 262),
// inside the partition's length and before the tail; no UDF structure points at them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "halvorin.h"
#include "lib/mastering/udf/udf_image_tree.h"

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
