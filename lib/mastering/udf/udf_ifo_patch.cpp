#include "lib/mastering/udf/udf_ifo_patch.h"

#include <cstring>

#include "lib/core/debug_trace.h"
#include "lib/mastering/iso9660/iso9660_records.h"

namespace {

constexpr std::uint64_t kSector = 2048;

std::uint32_t BE32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// The item's content, or null (traced) when it holds fewer than `need` bytes in memory.
std::uint8_t* Content(HALVORIN_UDF_TREE_ITEM* p__PItem, std::uint64_t p__ULONGLONG__Need,
                      const char* p__PCHAR__Function) {
  if (!p__PItem || !p__PItem->m__BOOLEAN__IsInMemory || !p__PItem->m__PUCHAR__Content) {
    DebugTrace("\nUDF:%s(): WARNING! The item holds no content in memory!!!\n", p__PCHAR__Function);
    return nullptr;
  }
  if (p__PItem->m__ULONGLONG__Size < p__ULONGLONG__Need) {
    DebugTrace("\nUDF:%s(): WARNING! %llu bytes of content, %llu needed!!!\n", p__PCHAR__Function,
               static_cast<unsigned long long>(p__PItem->m__ULONGLONG__Size),
               static_cast<unsigned long long>(p__ULONGLONG__Need));
    return nullptr;
  }
  return p__PItem->m__PUCHAR__Content;
}

}  // namespace

HALVORIN_STATUS HalvorinI_UdfPatchIfoHeader(HALVORIN_UDF_TREE_ITEM* p__PItem,
                                            std::uint32_t p__ULONG__IfoLastAddress,
                                            std::uint32_t p__ULONG__BupLastAddress) {
  std::uint8_t* c = Content(p__PItem, 32, "Halvorin_UDF_PatchIfoHeader");
  if (!c) return HALVORIN_STATUS_INVALID_ARGUMENT;
  if (std::memcmp(c, "DVDVIDEO-VMG", 12) != 0 && std::memcmp(c, "DVDVIDEO-VTS", 12) != 0) {
    DebugTrace("\nUDF:Halvorin_UDF_PatchIfoHeader(): Wrong IFO/BUP signature!!!\n");
    return HALVORIN_STATUS_INVALID_ARGUMENT;
  }
  HalvorinI_PutBE32(c + 12, p__ULONG__BupLastAddress);
  HalvorinI_PutBE32(c + 28, p__ULONG__IfoLastAddress);
  return HALVORIN_STATUS_SUCCESS;
}

HALVORIN_STATUS HalvorinI_UdfPatchIfoTable(HALVORIN_UDF_TREE_ITEM* p__PItem,
                                           std::uint32_t p__ULONG__TitleSetAddress) {
  std::uint8_t* c = Content(p__PItem, 200, "Halvorin_UDF_PatchIfoTable");
  if (!c) return HALVORIN_STATUS_INVALID_ARGUMENT;
  // Only the video manager's table lists titles; a title set IFO is refused.
  if (std::memcmp(c, "DVDVIDEO-VMG", 12) != 0) {
    DebugTrace("\nUDF:Halvorin_UDF_PatchIfoTable(): Wrong IFO/BUP signature!!!\n");
    return HALVORIN_STATUS_INVALID_ARGUMENT;
  }
  const std::uint64_t tableSector = BE32(c + 196);
  if (tableSector == 0) {
    DebugTrace(
        "\nUDF:Halvorin_UDF_PatchIfoTable(): EXITing with failure, table of titles is zero!!!\n");
    return HALVORIN_STATUS_INVALID_ARGUMENT;
  }
  const std::uint64_t size = p__PItem->m__ULONGLONG__Size;
  const std::uint64_t table = tableSector * kSector;
  if (table + 8 > size) {
    DebugTrace(
        "\nUDF:Halvorin_UDF_PatchIfoTable(): EXITing with failure, table of titles at sector "
        "%llu lies past the content!!!\n",
        static_cast<unsigned long long>(tableSector));
    return HALVORIN_STATUS_INVALID_ARGUMENT;
  }
  const std::uint32_t titles = static_cast<std::uint32_t>(c[table] << 8 | c[table + 1]);
  if (titles == 0) {
    DebugTrace(
        "\nUDF:Halvorin_UDF_PatchIfoTable(): EXITing with failure, number of titles is zero!!!\n");
    return HALVORIN_STATUS_INVALID_ARGUMENT;
  }
  if (table + 8 + std::uint64_t(titles) * 12 > size) {
    DebugTrace(
        "\nUDF:Halvorin_UDF_PatchIfoTable(): EXITing with failure, %u titles run past the "
        "content!!!\n",
        titles);
    return HALVORIN_STATUS_INVALID_ARGUMENT;
  }
  // Entry byte 6 names the title set: one address serves one set only.
  std::uint8_t* entries = c + table + 8;
  for (std::uint32_t i = 1; i < titles; ++i)
    if (entries[12 * i + 6] != entries[6]) {
      DebugTrace(
          "\nUDF:Halvorin_UDF_PatchIfoTable(): EXITing with failure, the titles lie in "
          "title sets %u and %u!!!\n",
          entries[6], entries[12 * i + 6]);
      return HALVORIN_STATUS_INVALID_ARGUMENT;
    }
  for (std::uint32_t i = 0; i < titles; ++i)
    HalvorinI_PutBE32(entries + 12 * i + 8, p__ULONG__TitleSetAddress);
  return HALVORIN_STATUS_SUCCESS;
}
