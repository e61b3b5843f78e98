#include "lib/mastering/raw/iso9660_file_tree_pre_gap.h"

#include "lib/mastering/raw/raw_subchannel.h"

namespace {

constexpr const char* kPQ =
    "CHalvorin_ISO9660FileTreePreGapRawPQ::CHalvorin_ISO9660FileTreePreGapRawPQ";
constexpr const char* kPW =
    "CHalvorin_ISO9660FileTreePreGapRawRawPW::CHalvorin_ISO9660FileTreePreGapRawRawPW";

}  // namespace

CHalvorin_ISO9660FileTreePreGap::CHalvorin_ISO9660FileTreePreGap(
    const char* p__PCHAR__Constructor, std::uint32_t p__ULONG__SectorSize,
    std::int32_t p__LONG__StartLBA, std::uint32_t p__ULONG__SectorCount,
    std::uint8_t p__UCHAR__TrackNumber, bool p__BOOLEAN__IsData, bool p__BOOLEAN__IsMode2,
    std::uint8_t p__UCHAR__ControlBits)
    : CHalvorin_ISO9660FileTreeGenerated(p__PCHAR__Constructor, p__PCHAR__Constructor,
                                         p__ULONG__SectorCount, p__ULONG__SectorSize) {
  const std::uint8_t control = static_cast<std::uint8_t>(
      (p__BOOLEAN__IsData ? kHalvorinControlAdrData : kHalvorinControlAdrAudio) |
      (p__UCHAR__ControlBits & 0x0B) << 4);
  for (std::uint32_t i = 0; i < p__ULONG__SectorCount; ++i) {
    const std::int32_t lba = p__LONG__StartLBA + static_cast<std::int32_t>(i);
    std::uint8_t* sector = Sector(i);
    FormatMainData(sector, lba, p__BOOLEAN__IsData, p__BOOLEAN__IsMode2);
    std::uint8_t pq[16];
    HalvorinI_FormatPQBlock(pq, control, HalvorinI_Bcd(p__UCHAR__TrackNumber), 0,
                            p__ULONG__SectorCount - i - 1, lba, true);
    PutSubchannel(sector, pq);
  }
  ChainMemory("m__PCHalvorin_MemoryFile__PreGap");
}

CHalvorin_ISO9660FileTreePreGapRawPQ::CHalvorin_ISO9660FileTreePreGapRawPQ(
    std::int32_t p__LONG__StartLBA, std::uint32_t p__ULONG__SectorCount,
    std::uint8_t p__UCHAR__TrackNumber, bool p__BOOLEAN__IsData, bool p__BOOLEAN__IsMode2,
    std::uint8_t p__UCHAR__ControlBits)
    : CHalvorin_ISO9660FileTreePreGap(
          kPQ, kHalvorinRawPQSectorSize, p__LONG__StartLBA, p__ULONG__SectorCount,
          p__UCHAR__TrackNumber, p__BOOLEAN__IsData, p__BOOLEAN__IsMode2, p__UCHAR__ControlBits) {}

CHalvorin_ISO9660FileTreePreGapRawRawPW::CHalvorin_ISO9660FileTreePreGapRawRawPW(
    std::int32_t p__LONG__StartLBA, std::uint32_t p__ULONG__SectorCount,
    std::uint8_t p__UCHAR__TrackNumber, bool p__BOOLEAN__IsData, bool p__BOOLEAN__IsMode2,
    std::uint8_t p__UCHAR__ControlBits)
    : CHalvorin_ISO9660FileTreePreGap(
          kPW, kHalvorinRawPWSectorSize, p__LONG__StartLBA, p__ULONG__SectorCount,
          p__UCHAR__TrackNumber, p__BOOLEAN__IsData, p__BOOLEAN__IsMode2, p__UCHAR__ControlBits) {}
