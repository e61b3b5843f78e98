#include "lib/mastering/raw/iso9660_file_tree_lead_in.h"

#include <cstring>

#include "lib/core/debug_trace.h"
#include "lib/core/sector/lba_msf.h"
#include "lib/core/sector/sector_helpers.h"
#include "lib/mastering/raw/raw_subchannel.h"

namespace {

constexpr const char* kPQ =
    "CHalvorin_ISO9660FileTreeLeadInRawPQ::CHalvorin_ISO9660FileTreeLeadInRawPQ";
constexpr const char* kPQTrace =
    "CHalvorin_ISO9660FileTreeLeanInRawPQ::CHalvorin_ISO9660FileTreeLeadInRawPQ";
constexpr const char* kPW =
    "CHalvorin_ISO9660FileTreeLeadInRawRawPW::CHalvorin_ISO9660FileTreeLeadInRawRawPW";
constexpr const char* kPWTrace =
    "CHalvorin_ISO9660FileTreeLeanInRawRawPW::CHalvorin_ISO9660FileTreeLeadInRawRawPW";
constexpr const char* kFormat = "CHalvorin_ISO9660FileTreeLeadInRawRawPW::FormatLeadIn";

void ThrowIfNoTracks(const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, const char* p__PCHAR__Ctor) {
  if (!p__PTRACK_ARRAY__Tracks || p__PTRACK_ARRAY__Tracks->m__LONG__NumberOfTracks < 1 ||
      p__PTRACK_ARRAY__Tracks->m__LONG__NumberOfTracks > 99)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s(): The track list is missing or not of 1..99 tracks!!!",
                             p__PCHAR__Ctor);
}

}  // namespace

CHalvorin_ISO9660FileTreeLeadIn::CHalvorin_ISO9660FileTreeLeadIn(
    const char* p__PCHAR__Constructor, const char* p__PCHAR__TraceConstructor,
    std::uint32_t p__ULONG__SectorSize, std::int32_t p__LONG__StartLBA,
    std::uint32_t p__ULONG__SectorCount, std::int32_t p__LONG__LeadOutStartLBA,
    const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, bool p__BOOLEAN__IsMode2,
    const HalvorinI_TrackForms* p__PForms)
    : CHalvorin_ISO9660FileTreeGenerated(p__PCHAR__Constructor, p__PCHAR__TraceConstructor,
                                         p__ULONG__SectorCount, p__ULONG__SectorSize),
      m__LONG__StartLBA(p__LONG__StartLBA),
      m__LONG__LeadOutStartLBA(p__LONG__LeadOutStartLBA),
      m__BOOLEAN__IsMode2(p__BOOLEAN__IsMode2),
      m__Forms(p__PForms ? std::optional<HalvorinI_TrackForms>(*p__PForms) : std::nullopt) {
  ThrowIfNoTracks(p__PTRACK_ARRAY__Tracks, p__PCHAR__Constructor);
  std::memcpy(&m__TRACK_ARRAY__Tracks, p__PTRACK_ARRAY__Tracks, sizeof m__TRACK_ARRAY__Tracks);
}

void CHalvorin_ISO9660FileTreeLeadIn::FormatLeadIn(const std::uint8_t* p__PUCHAR__CDTextBlocks,
                                                   std::uint32_t p__ULONG__Blocks) {
  const std::int32_t n = m__TRACK_ARRAY__Tracks.m__LONG__NumberOfTracks;
  const bool isData = m__TRACK_ARRAY__Tracks.m__TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsData != 0;
  const std::uint32_t cycle = 3 * static_cast<std::uint32_t>(n) + 9;
  std::uint32_t block = 0;
  for (std::uint32_t k = 0; k < GetSectorCount(); ++k) {
    const std::int32_t lba = m__LONG__StartLBA + static_cast<std::int32_t>(k);
    std::uint8_t* sector = Sector(k);
    FormatMainData(sector, lba, isData, m__BOOLEAN__IsMode2);
    std::uint8_t pq[16] = {};
    pq[1] = 0;
    LBAToMSFBCD(pq + 3, lba);
    const std::uint32_t c = k % cycle;
    // Each point carries its track's control: A0 the first track's, A1 and A2 the last's.
    const std::uint32_t of = c < 3 ? 0 : c < 9 ? static_cast<std::uint32_t>(n - 1) : c / 3 - 3;
    pq[0] = static_cast<std::uint8_t>(
        HalvorinI_ControlOf(m__Forms ? &*m__Forms : nullptr, static_cast<std::int32_t>(of),
                            m__TRACK_ARRAY__Tracks.m__TRACK_ENTRY__Tracks[of].m__BOOLEAN__IsData)
            << 4 |
        1);
    if (c < 3) {
      pq[2] = 0xA0;
      pq[7] = 0x01;
      pq[8] = m__BOOLEAN__IsMode2 ? 0x20 : 0x00;  // disc type: CD-ROM XA
    } else if (c < 6) {
      pq[2] = 0xA1;
      pq[7] = HalvorinI_Bcd(static_cast<std::uint32_t>(n));
    } else if (c < 9) {
      pq[2] = 0xA2;
      LBAToMSFBCD(pq + 7, m__LONG__LeadOutStartLBA);
    } else {
      const std::uint32_t t = c / 3 - 2;
      pq[2] = HalvorinI_Bcd(t);
      LBAToMSFBCD(pq + 7,
                  m__TRACK_ARRAY__Tracks.m__TRACK_ENTRY__Tracks[t - 1].m__LONG__TrackStartInLBs);
    }
    CalculateSubQCRC(pq);
    PutSubchannel(sector, pq);
    if (p__PUCHAR__CDTextBlocks && p__ULONG__Blocks) {
      const std::uint8_t* text = p__PUCHAR__CDTextBlocks + static_cast<std::size_t>(block) * 96;
      for (int i = 0; i < 96; ++i)
        sector[2352 + i] = static_cast<std::uint8_t>(sector[2352 + i] | (text[i] & 0x3F));
      block = (block + 1) % p__ULONG__Blocks;
    }
  }
}

CHalvorin_ISO9660FileTreeLeadInRawPQ::CHalvorin_ISO9660FileTreeLeadInRawPQ(
    std::int32_t p__LONG__StartLBA, std::uint32_t p__ULONG__SectorCount,
    std::int32_t p__LONG__LeadOutStartLBA, const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
    bool p__BOOLEAN__IsMode2, const HalvorinI_TrackForms* p__PForms)
    : CHalvorin_ISO9660FileTreeLeadIn(kPQ, kPQTrace, kHalvorinRawPQSectorSize, p__LONG__StartLBA,
                                      p__ULONG__SectorCount, p__LONG__LeadOutStartLBA,
                                      p__PTRACK_ARRAY__Tracks, p__BOOLEAN__IsMode2, p__PForms) {
  FormatLeadIn(nullptr, 0);
  ChainMemory("m__PCHalvorin_MemoryFile__LeadIn");
}

CHalvorin_ISO9660FileTreeLeadInRawRawPW::CHalvorin_ISO9660FileTreeLeadInRawRawPW(
    std::int32_t p__LONG__StartLBA, std::uint32_t p__ULONG__SectorCount,
    std::int32_t p__LONG__LeadOutStartLBA, const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
    bool p__BOOLEAN__IsMode2, CHalvorin_CDText* p__PCHalvorin_CDText__CDText,
    const HalvorinI_TrackForms* p__PForms)
    : CHalvorin_ISO9660FileTreeLeadIn(kPW, kPWTrace, kHalvorinRawPWSectorSize, p__LONG__StartLBA,
                                      p__ULONG__SectorCount, p__LONG__LeadOutStartLBA,
                                      p__PTRACK_ARRAY__Tracks, p__BOOLEAN__IsMode2, p__PForms),
      m__PCHalvorin_CDText__CDText(p__PCHalvorin_CDText__CDText) {
  const std::uint8_t* blocks = nullptr;
  std::uint32_t count = 0;
  if (!m__PCHalvorin_CDText__CDText) {
    DebugTrace("\n%s() :  No CD-Text because pointer = NULL\n", kFormat);
  } else if (m__TRACK_ARRAY__Tracks.m__TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsData) {
    DebugTrace("\n%s() :  No CD-Text because Data track present\n", kFormat);
  } else if (!m__PCHalvorin_CDText__CDText->IsCDTextPresent()) {
    DebugTrace("\n%s() :  No CD-Text because IsCDTextPresent() == false\n", kFormat);
  } else {
    m__PCHalvorin_CDText__CDText->SetFirstTrack(1);
    m__PCHalvorin_CDText__CDText->SetLastTrack(
        static_cast<std::uint8_t>(m__TRACK_ARRAY__Tracks.m__LONG__NumberOfTracks));
    if (const std::uint32_t status = m__PCHalvorin_CDText__CDText->PrepareSubChannels()) {
      DebugTrace("\n%s(): PrepareSubChannels() failed with status = %d. NO CD-TEXT will be added\n",
                 kFormat, static_cast<int>(status));
      HalvorinI_ThrowException(kHalvorinStatusSystemCall, status,
                               "%s(): PrepareSubChannels() failed!", kFormat);
    }
    blocks = m__PCHalvorin_CDText__CDText->GetSubChannelsData();
    count = m__PCHalvorin_CDText__CDText->GetBlockCount();
  }
  FormatLeadIn(blocks, count);
  ChainMemory("m__PCHalvorin_MemoryFile__LeadIn");
}
