#include "lib/mastering/udf/udf_entries.h"

#include <algorithm>
#include <cstring>

#include "lib/mastering/udf/udf_descriptors.h"

namespace {

constexpr std::uint32_t kBlock = kHalvorinUdfBlock;
constexpr std::uint32_t kAllocationStep = 0x7FFFF;  // blocks of one short descriptor
constexpr std::uint32_t kExtendedAttributes = 132;

void ImplementationAttribute(std::uint8_t* p, std::uint32_t length, std::uint32_t use,
                             const char* identifier) {
  HalvorinI_UdfPut32(p, 2048);
  p[4] = 1;
  HalvorinI_UdfPut32(p + 8, length);
  HalvorinI_UdfPut32(p + 12, use);
  HalvorinI_UdfIdentifier(p + 16, identifier);
  std::uint32_t sum = 0;
  for (int i = 0; i < 48; ++i) sum += p[i];
  HalvorinI_UdfPut16(p + 48, static_cast<std::uint16_t>(sum));
}

}  // namespace

std::string HalvorinI_UdfNameOf(const HALVORIN_UDF_TREE_ITEM* p__PItem) {
  return std::string(p__PItem->m__CHAR__Name,
                     strnlen(p__PItem->m__CHAR__Name, sizeof p__PItem->m__CHAR__Name));
}

std::string HalvorinI_UdfFileIdentifier(const std::string& p__STRING__Name) {
  return HalvorinI_UdfCs0(p__STRING__Name, 255);
}

void HalvorinI_UdfFormatFileEntry(const HALVORIN_UDF_TREE_ITEM* item,
                                  std::uint64_t p__ULONGLONG__UniqueId, std::uint8_t* fe) {
  std::memset(fe, 0, kBlock);
  const bool dir = item->m__BOOLEAN__IsDirectory;
  HalvorinI_UdfPut16(fe + 20, 4);  // strategy
  HalvorinI_UdfPut16(fe + 24, 1);  // maximum entries
  fe[27] = dir ? 4 : 5;
  HalvorinI_UdfPut16(fe + 34, 0x0230);
  HalvorinI_UdfPut32(fe + 36, 0xFFFFFFFF);
  HalvorinI_UdfPut32(fe + 40, 0xFFFFFFFF);
  HalvorinI_UdfPut32(fe + 44, dir ? 0x14A5 : 0x1084);
  HalvorinI_UdfPut16(fe + 48,
                     static_cast<std::uint16_t>(dir ? item->m__USHORT__Subdirectories + 1 : 1));
  const std::uint64_t size = item->m__ULONGLONG__Size;
  HalvorinI_UdfPut64(fe + 56, size);
  HalvorinI_UdfPut64(fe + 64, (size + kBlock - 1) / kBlock);
  HalvorinI_UdfTimestamp(fe + 72, item->m__UCHAR__Date);
  HalvorinI_UdfTimestamp(fe + 84, item->m__UCHAR__Date);
  HalvorinI_UdfTimestamp(fe + 96, item->m__UCHAR__Date);
  HalvorinI_UdfPut32(fe + 108, 1);
  HalvorinI_UdfImplementation(fe + 128);
  HalvorinI_UdfPut64(fe + 160, p__ULONGLONG__UniqueId);
  HalvorinI_UdfPut32(fe + 168, kExtendedAttributes);

  std::uint8_t* ea = fe + 176;
  HalvorinI_UdfPut32(ea + 16, 24);
  HalvorinI_UdfPut32(ea + 20, kExtendedAttributes);
  HalvorinI_UdfTag(ea, kUdfTagExtendedAttributeHeader, item->m__ULONG__FileEntryLocation, 8);
  ImplementationAttribute(ea + 24, 52, 4, "*UDF FreeEASpace");
  ImplementationAttribute(ea + 76, 56, 8, "*UDF DVD CGMS Info");

  std::uint8_t* ad = fe + 176 + kExtendedAttributes;
  const std::uint32_t count = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(HalvorinI_UdfAllocations(size), kHalvorinUdfMaxAllocations));
  std::uint64_t left = size;
  std::uint32_t location = item->m__ULONG__ContentLocation;
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto length =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(left, kHalvorinUdfMaxAllocationLength));
    HalvorinI_UdfPut32(ad + 8 * i, length);
    HalvorinI_UdfPut32(ad + 8 * i + 4, location);
    left -= length;
    location += kAllocationStep;
  }
  HalvorinI_UdfPut32(fe + 172, 8 * count);
  HalvorinI_UdfTag(fe, kUdfTagFileEntry, item->m__ULONG__FileEntryLocation,
                   176 + kExtendedAttributes + 8 * count - 16);
}

void HalvorinI_UdfFormatIdentifier(std::uint8_t* fid, std::uint32_t location,
                                   std::uint8_t characteristics, std::uint32_t entry,
                                   const std::string& name) {
  std::memset(fid, 0, kBlock);
  const std::string cs0 = HalvorinI_UdfFileIdentifier(name);
  const std::uint32_t n = static_cast<std::uint32_t>(cs0.size());
  const std::uint32_t use = 4 * ((2010 - n) / 4);
  HalvorinI_UdfPut16(fid + 16, 1);
  fid[18] = characteristics;
  fid[19] = static_cast<std::uint8_t>(n);
  HalvorinI_UdfPut32(fid + 20, kBlock);
  HalvorinI_UdfPut32(fid + 24, entry);
  HalvorinI_UdfPut16(fid + 36, static_cast<std::uint16_t>(use));
  HalvorinI_UdfImplementation(fid + 38);
  std::memcpy(fid + 38 + use, cs0.data(), n);
  HalvorinI_UdfTag(fid, kUdfTagFileIdentifier, location, kBlock - 16);
}
