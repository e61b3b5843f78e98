// The caller's tree items of a UDF image: formatting files and folders into them, linking them
// under their parents, and freeing what formatting allocated.
#pragma once

#include <cstdint>

#include "halvorin.h"

std::uint32_t HalvorinI_UdfFormatFile(HALVORIN_UDF_TREE_ITEM* p__PItem,
                                      std::uint32_t p__ULONG__Identifier,
                                      const char* p__PCHAR__Name, const char* p__PCHAR__Path,
                                      HALVORIN_UDF_TREE_ITEM* p__PParent);
std::uint32_t HalvorinI_UdfFormatDirectory(HALVORIN_UDF_TREE_ITEM* p__PItem,
                                           std::uint32_t p__ULONG__Identifier,
                                           const char* p__PCHAR__Name,
                                           HALVORIN_UDF_TREE_ITEM* p__PParent);
void HalvorinI_UdfCleanUp(HALVORIN_UDF_TREE_ITEM* p__PItems, std::uint32_t p__ULONG__Count);
// Forgets the readers the image owned, under the root.
void HalvorinI_UdfForgetReaders(HALVORIN_UDF_TREE_ITEM* p__PRoot);
