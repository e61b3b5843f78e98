#include "lib/mastering/raw/iso9660_file_tree_lead_out.h"

#include "lib/mastering/raw/raw_subchannel.h"

namespace {

constexpr const char* kPQ =
    "CHalvorin_ISO9660FileTreeLeadOutRawPQ::CHalvorin_ISO9660FileTreeLeadOutRawPQ";
constexpr const char* kPW =
    "CHalvorin_ISO9660FileTreeLeadOutRawRawPW::CHalvorin_ISO9660FileTreeLeadOutRawRawPW";

}  // namespace

CHalvorin_ISO9660FileTreeLeadOut::CHalvorin_ISO9660FileTreeLeadOut(
    const char* p__PCHAR__Constructor, std::uint32_t p__ULONG__SectorSize,
    std::int32_t p__LONG__StartLBA, bool p__BOOLEAN__IsData, bool p__BOOLEAN__IsMode2,
    std::uint8_t p__UCHAR__ControlBits)
    : CHalvorin_ISO9660FileTreeGenerated(p__PCHAR__Constructor, p__PCHAR__Constructor,
                                         kHalvorinLeadOutSectors, p__ULONG__SectorSize) {
  const std::uint8_t control = static_cast<std::uint8_t>(
      (p__BOOLEAN__IsData ? kHalvorinControlAdrData : kHalvorinControlAdrAudio) |
      (p__UCHAR__ControlBits & 0x0B) << 4);
  for (std::uint32_t i = 0; i < kHalvorinLeadOutSectors; ++i) {
    const std::int32_t lba = p__LONG__StartLBA + static_cast<std::int32_t>(i);
    std::uint8_t* sector = Sector(i);
    FormatMainData(sector, lba, p__BOOLEAN__IsData, p__BOOLEAN__IsMode2);
    std::uint8_t pq[16];
    HalvorinI_FormatPQBlock(pq, control, 0xAA, 1, i, lba, i >= 150 && i % 150 < 75);
    PutSubchannel(sector, pq);
  }
  ChainMemory("m__PCHalvorin_MemoryFile__LeadOut");
}

CHalvorin_ISO9660FileTreeLeadOutRawPQ::CHalvorin_ISO9660FileTreeLeadOutRawPQ(
    std::int32_t p__LONG__StartLBA, bool p__BOOLEAN__IsData, bool p__BOOLEAN__IsMode2,
    std::uint8_t p__UCHAR__ControlBits)
    : CHalvorin_ISO9660FileTreeLeadOut(kPQ, kHalvorinRawPQSectorSize, p__LONG__StartLBA,
                                       p__BOOLEAN__IsData, p__BOOLEAN__IsMode2,
                                       p__UCHAR__ControlBits) {}

CHalvorin_ISO9660FileTreeLeadOutRawRawPW::CHalvorin_ISO9660FileTreeLeadOutRawRawPW(
    std::int32_t p__LONG__StartLBA, bool p__BOOLEAN__IsData, bool p__BOOLEAN__IsMode2,
    std::uint8_t p__UCHAR__ControlBits)
    : CHalvorin_ISO9660FileTreeLeadOut(kPW, kHalvorinRawPWSectorSize, p__LONG__StartLBA,
                                       p__BOOLEAN__IsData, p__BOOLEAN__IsMode2,
                                       p__UCHAR__ControlBits) {}
