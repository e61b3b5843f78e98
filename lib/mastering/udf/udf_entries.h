// The two descriptors every item has: its file entry and the file identifier descriptor that
// names it in its folder (and, for a folder, the one that names its parent). They are formatted
// from the laid-out item whenever the image is read, so they take no memory of their own.
#pragma once

#include <cstdint>
#include <string>

#include "halvorin.h"

// Short allocation descriptors a file entry holds at most, and the bytes each covers.
inline constexpr std::uint32_t kHalvorinUdfMaxAllocations = 128;
inline constexpr std::uint32_t kHalvorinUdfMaxAllocationLength = 0x3FFFF800;

// Allocation descriptors of a content of this size.
inline std::uint64_t HalvorinI_UdfAllocations(std::uint64_t p__ULONGLONG__Size) {
  return (p__ULONGLONG__Size + kHalvorinUdfMaxAllocationLength - 1) /
         kHalvorinUdfMaxAllocationLength;
}

// The item's name as given (upper-cased), without the field's padding.
std::string HalvorinI_UdfNameOf(const HALVORIN_UDF_TREE_ITEM* p__PItem);
// The bytes a name is written as in a file identifier: OSTA CS0, cut to the 255 bytes its
// length byte counts.
std::string HalvorinI_UdfFileIdentifier(const std::string& p__STRING__Name);

// The 2048-byte file entry of a laid-out item whose content needs no more than
// kHalvorinUdfMaxAllocations descriptors; the root's unique identifier is 0.
void HalvorinI_UdfFormatFileEntry(const HALVORIN_UDF_TREE_ITEM* p__PItem,
                                  std::uint64_t p__ULONGLONG__UniqueId,
                                  std::uint8_t* p__PUCHAR__Block);

// A 2048-byte file identifier descriptor at block p__ULONG__Location naming the file entry at
// p__ULONG__Entry; the implementation use fills what the name leaves of the block.
void HalvorinI_UdfFormatIdentifier(std::uint8_t* p__PUCHAR__Block, std::uint32_t p__ULONG__Location,
                                   std::uint8_t p__UCHAR__Characteristics,
                                   std::uint32_t p__ULONG__Entry,
                                   const std::string& p__STRING__Name);
