#include "lib/mastering/raw/iso9660_file_tree_raw.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/core/sector/sector_encoder.h"
#include "lib/core/sector/sector_helpers.h"
#include "lib/mastering/raw/raw_subchannel.h"

namespace {

constexpr std::uint64_t kWorkSize = 61440;
constexpr std::uint32_t kRawSector = 2352;
constexpr std::uint32_t kRawPWSector = 2448;
constexpr std::uint32_t kBlock = 2048;

// The control nibble of the Q that 96 raw P-W bytes carry; -1 when that Q is no valid frame.
int ControlOfRawQ(const std::uint8_t* p__PUCHAR__RawPW) {
  std::uint8_t q[12];
  HalvorinI_UnpackSubQ(p__PUCHAR__RawPW, q);
  return HalvorinI_IsSubQCrcRight(q) ? q[0] >> 4 : -1;
}

}  // namespace

CHalvorin_ISO9660FileTreeRaw::CHalvorin_ISO9660FileTreeRaw(
    const char* p__PCHAR__Class, const char* p__PCHAR__ExpandMethod,
    std::uint32_t p__ULONG__SectorSize, CHalvorin_FileChain* p__PCHalvorin_FileChain__Source,
    std::uint8_t p__UCHAR__FirstTrackNumber, std::int32_t p__LONG__StartLBA,
    const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, bool p__BOOLEAN__IsMode2,
    bool p__BOOLEAN__IsRegenerateQ, const HalvorinI_TrackForms* p__PForms)
    : CHalvorin_ISO9660FileTree(nullptr, nullptr, false, false, false),
      m__PCHAR__Class(p__PCHAR__Class),
      m__PCHAR__ExpandMethod(p__PCHAR__ExpandMethod),
      m__ULONG__SectorSize(p__ULONG__SectorSize),
      m__UCHAR__FirstTrackNumber(p__UCHAR__FirstTrackNumber),
      m__LONG__StartLBA(p__LONG__StartLBA),
      m__BOOLEAN__IsMode2(p__BOOLEAN__IsMode2),
      m__BOOLEAN__IsRegenerateQ(p__BOOLEAN__IsRegenerateQ),
      m__Forms(p__PForms ? std::optional<HalvorinI_TrackForms>(*p__PForms) : std::nullopt),
      m__LONG__AbsoluteLBA(p__LONG__StartLBA) {
  if (!p__PTRACK_ARRAY__Tracks)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s::%s(): p__PTRACK_ARRAY__Tracks == NULL!!!", m__PCHAR__Class,
                             m__PCHAR__Class);
  std::memcpy(&m__TRACK_ARRAY__Tracks, p__PTRACK_ARRAY__Tracks, sizeof m__TRACK_ARRAY__Tracks);
  const std::int32_t tracks = m__TRACK_ARRAY__Tracks.m__LONG__NumberOfTracks;
  if (tracks < 1 || tracks > 100)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s::%s(): Number of tracks %ld is not 1..100!!!", m__PCHAR__Class,
                             m__PCHAR__Class, static_cast<long>(tracks));
  // Q holds a track number as two BCD digits.
  const std::int32_t last = std::int32_t{p__UCHAR__FirstTrackNumber} + tracks - 1;
  if (p__UCHAR__FirstTrackNumber < 1 || last > 99)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s::%s(): Track numbers %u..%ld are not 1..99!!!", m__PCHAR__Class,
                             m__PCHAR__Class, static_cast<unsigned>(p__UCHAR__FirstTrackNumber),
                             static_cast<long>(last));
  ShareChainOf(p__PCHalvorin_FileChain__Source);
}

const TRACK_ENTRY& CHalvorin_ISO9660FileTreeRaw::Track(std::int32_t p__LONG__Index) const {
  return m__TRACK_ARRAY__Tracks.m__TRACK_ENTRY__Tracks[p__LONG__Index];
}

std::uint32_t CHalvorin_ISO9660FileTreeRaw::InputUnit(const TRACK_ENTRY& p__Track) const {
  // A raw image's tracks, audio or data, are its 2448-byte sectors.
  if (p__Track.m__BOOLEAN__IsRaw == 1) return kRawPWSector;
  return p__Track.m__BOOLEAN__IsData == 1 ? kBlock : kRawSector;
}

void CHalvorin_ISO9660FileTreeRaw::ChainRewound() {
  m__LONG__TrackIndex = 0;
  m__LONG__TrackLBA = 0;
  m__LONG__AbsoluteLBA = m__LONG__StartLBA;
}

std::uint64_t CHalvorin_ISO9660FileTreeRaw::GetSizeInUCHARs() {
  return CHalvorin_FileChain::GetSizeInUCHARs() / InputUnit(Track(0)) * m__ULONG__SectorSize;
}

std::uint64_t CHalvorin_ISO9660FileTreeRaw::SectorsLeftInTrack(
    std::int32_t* p__PLONG__Index) const {
  const std::int32_t last = m__TRACK_ARRAY__Tracks.m__LONG__NumberOfTracks - 1;
  std::int32_t index = m__LONG__TrackIndex, lba = m__LONG__TrackLBA;
  while (index < last && lba >= Track(index).m__LONG__TrackSizeInLBs) ++index, lba = 0;
  *p__PLONG__Index = index;
  if (index == last) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(Track(index).m__LONG__TrackSizeInLBs - lba);
}

void CHalvorin_ISO9660FileTreeRaw::SwitchTrack(const char* p__PCHAR__Method) {
  const std::int32_t last = m__TRACK_ARRAY__Tracks.m__LONG__NumberOfTracks - 1;
  while (m__LONG__TrackIndex < last &&
         m__LONG__TrackLBA >= Track(m__LONG__TrackIndex).m__LONG__TrackSizeInLBs) {
    DebugTrace("\n%s::%s(): Track switch, track index %ld, track LBA %ld, track size in LBs %ld\n",
               m__PCHAR__Class, p__PCHAR__Method, static_cast<long>(m__LONG__TrackIndex),
               static_cast<long>(m__LONG__TrackLBA),
               static_cast<long>(Track(m__LONG__TrackIndex).m__LONG__TrackSizeInLBs));
    ++m__LONG__TrackIndex;
    m__LONG__TrackLBA = 0;
  }
}

void CHalvorin_ISO9660FileTreeRaw::ThrowAddressOutOfRange(const char* p__PCHAR__Method) const {
  HalvorinI_ThrowException(
      kHalvorinStatusInvalidArgument, 0, "%s::%s(): Absolute LBA %ld is outside -45150..449849!!!",
      m__PCHAR__Class, p__PCHAR__Method, static_cast<long>(m__LONG__AbsoluteLBA));
}

std::uint8_t CHalvorin_ISO9660FileTreeRaw::PutPQ(const TRACK_ENTRY& p__Track,
                                                 std::uint8_t* p__PUCHAR__Sector,
                                                 const char* p__PCHAR__Method) {
  // Past 99:59:74 (or before the lead-in) Q cannot hold the absolute address.
  if (HalvorinI_SectorAddressOfLBA(m__LONG__AbsoluteLBA) < 0)
    ThrowAddressOutOfRange(p__PCHAR__Method);
  const HalvorinI_TrackForms* forms = m__Forms ? &*m__Forms : nullptr;
  std::int32_t index = m__LONG__TrackIndex;
  std::uint8_t control = HalvorinI_ControlOf(forms, index, p__Track.m__BOOLEAN__IsData == 1);
  std::uint32_t relative = static_cast<std::uint32_t>(m__LONG__TrackLBA);
  bool isPause = false;
  // The next track's pause, the last sectors of this one: of that track, counting down.
  if (forms && index + 1 < m__TRACK_ARRAY__Tracks.m__LONG__NumberOfTracks) {
    const TRACK_ENTRY& next = Track(index + 1);
    const std::int64_t left =
        std::int64_t{p__Track.m__LONG__TrackSizeInLBs} - m__LONG__TrackLBA;  // this one too
    if (left > 0 && left <= forms->m__Tracks[index + 1].m__LONG__PauseInLBs) {
      ++index;
      control = HalvorinI_ControlOf(forms, index, next.m__BOOLEAN__IsData == 1);
      relative = static_cast<std::uint32_t>(left - 1);
      isPause = true;
    }
  }
  std::uint8_t pq[16];
  HalvorinI_FormatPQBlock(
      pq, static_cast<std::uint8_t>(control << 4 | 1),
      HalvorinI_Bcd(m__UCHAR__FirstTrackNumber + static_cast<std::uint32_t>(index)),
      isPause ? 0 : 1, relative, m__LONG__AbsoluteLBA, isPause);
  PutSubchannel(pq, p__PUCHAR__Sector);
  return control;
}

void CHalvorin_ISO9660FileTreeRaw::Expand(const std::uint8_t* p__PUCHAR__Source,
                                          std::uint8_t* p__PUCHAR__Target,
                                          std::uint32_t p__ULONG__Units) {
  for (std::uint32_t i = 0; i < p__ULONG__Units; ++i) {
    SwitchTrack(m__PCHAR__ExpandMethod);
    const TRACK_ENTRY& track = Track(m__LONG__TrackIndex);
    std::uint8_t* sector = p__PUCHAR__Target + std::uint64_t{i} * m__ULONG__SectorSize;
    if (track.m__BOOLEAN__IsData == 1) {
      const std::uint8_t* block = p__PUCHAR__Source + std::uint64_t{i} * kBlock;
      std::memset(sector, 0, kRawSector);
      std::memcpy(sector + (m__BOOLEAN__IsMode2 ? 24 : 16), block, kBlock);
      if (EncodeSectorAtAddress(
              sector,
              m__BOOLEAN__IsMode2 ? kHalvorinSectorTypeMode2Form1 : kHalvorinSectorTypeMode1,
              m__LONG__AbsoluteLBA) != 0)
        ThrowAddressOutOfRange(m__PCHAR__ExpandMethod);
      ScrambleSector(sector);
    } else {
      std::memcpy(sector, p__PUCHAR__Source + std::uint64_t{i} * kRawSector, kRawSector);
    }
    PutPQ(track, sector, m__PCHAR__ExpandMethod);
    ++m__LONG__TrackLBA;
    ++m__LONG__AbsoluteLBA;
  }
}

void CHalvorin_ISO9660FileTreeRaw::ConvertRawPW(const std::uint8_t* p__PUCHAR__Source,
                                                std::uint8_t* p__PUCHAR__Target,
                                                std::uint32_t p__ULONG__Units) {
  for (std::uint32_t i = 0; i < p__ULONG__Units; ++i) {
    SwitchTrack("ConvertRawPW");
    const std::uint8_t* in = p__PUCHAR__Source + std::uint64_t{i} * kRawPWSector;
    std::uint8_t* sector = p__PUCHAR__Target + std::uint64_t{i} * m__ULONG__SectorSize;
    const TRACK_ENTRY& track = Track(m__LONG__TrackIndex);
    std::memcpy(sector, in, kRawSector);
    // Scrambled by the control of the Q the sector goes with, as the disc's reader descrambles
    // it: an audio pause inside a data track passes as it is, a data sector with a damaged sync
    // is scrambled all the same. A Q that is no valid frame leaves it to the track's kind.
    int control = -1;
    if (m__BOOLEAN__IsRegenerateQ) {
      control = PutPQ(track, sector, "ConvertRawPW");
    } else {
      PutInputSubchannel(in + kRawSector, sector);
      control = ControlOfRawQ(in + kRawSector);
    }
    if (control < 0 ? track.m__BOOLEAN__IsData == 1 : (control & 0x04) != 0) ScrambleSector(sector);
    ++m__LONG__TrackLBA;
    ++m__LONG__AbsoluteLBA;
  }
}

void CHalvorin_ISO9660FileTreeRaw::Read(std::uint64_t p__ULONGLONG__Count,
                                        std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Chain);
  // Served in chunks that fit the work buffer and never span two tracks, so that each chunk
  // is read in its own track's unit.
  std::uint64_t units = p__ULONGLONG__Count / m__ULONG__SectorSize;
  std::uint8_t work[kWorkSize];
  while (units > 0) {
    std::int32_t index = 0;
    const std::uint64_t left = SectorsLeftInTrack(&index);
    const TRACK_ENTRY& track = Track(index);
    const std::uint32_t unit = InputUnit(track);
    const std::uint64_t n = std::min({units, kWorkSize / unit, left});
    std::memset(work, 0, n * unit);
    CHalvorin_FileChain::Read(n * unit, work);
    if (unit == kRawPWSector)
      ConvertRawPW(work, p__PUCHAR__Buffer, static_cast<std::uint32_t>(n));
    else
      Expand(work, p__PUCHAR__Buffer, static_cast<std::uint32_t>(n));
    p__PUCHAR__Buffer += n * m__ULONG__SectorSize;
    units -= n;
  }
}

CHalvorin_ISO9660FileTreeRawPQ::CHalvorin_ISO9660FileTreeRawPQ(
    CHalvorin_FileChain* p__PCHalvorin_FileChain__Source, std::uint8_t p__UCHAR__FirstTrackNumber,
    std::int32_t p__LONG__StartLBA, const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
    bool p__BOOLEAN__IsMode2, bool p__BOOLEAN__IsRegenerateQ, const HalvorinI_TrackForms* p__PForms)
    : CHalvorin_ISO9660FileTreeRaw("CHalvorin_ISO9660FileTreeRawPQ", "ExpandCookedWithRawPQ", 2368,
                                   p__PCHalvorin_FileChain__Source, p__UCHAR__FirstTrackNumber,
                                   p__LONG__StartLBA, p__PTRACK_ARRAY__Tracks, p__BOOLEAN__IsMode2,
                                   p__BOOLEAN__IsRegenerateQ, p__PForms) {}

void CHalvorin_ISO9660FileTreeRawPQ::ExpandCookedWithRawPQ(const std::uint8_t* p__PUCHAR__Source,
                                                           std::uint8_t* p__PUCHAR__Target,
                                                           std::uint32_t p__ULONG__Units) {
  Expand(p__PUCHAR__Source, p__PUCHAR__Target, p__ULONG__Units);
}

void CHalvorin_ISO9660FileTreeRawPQ::PutSubchannel(const std::uint8_t* p__PUCHAR__PQ,
                                                   std::uint8_t* p__PUCHAR__Sector) {
  std::memcpy(p__PUCHAR__Sector + kRawSector, p__PUCHAR__PQ, 16);
}

void CHalvorin_ISO9660FileTreeRawPQ::PutInputSubchannel(const std::uint8_t* p__PUCHAR__RawPW,
                                                        std::uint8_t* p__PUCHAR__Sector) {
  std::uint8_t channels[96];
  DeinterleaveSubchannelPW(p__PUCHAR__RawPW, channels);
  std::uint8_t* pq = p__PUCHAR__Sector + kRawSector;
  std::memcpy(pq, channels + 12, 12);
  pq[12] = pq[13] = pq[14] = 0;
  pq[15] = HalvorinI_IsPSet(p__PUCHAR__RawPW) ? kHalvorinPFlag : 0;
}

CHalvorin_ISO9660FileTreeRawRawPW::CHalvorin_ISO9660FileTreeRawRawPW(
    CHalvorin_FileChain* p__PCHalvorin_FileChain__Source, std::uint8_t p__UCHAR__FirstTrackNumber,
    std::int32_t p__LONG__StartLBA, const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
    bool p__BOOLEAN__IsMode2, bool p__BOOLEAN__IsRegenerateQ, const HalvorinI_TrackForms* p__PForms)
    : CHalvorin_ISO9660FileTreeRaw(
          "CHalvorin_ISO9660FileTreeRawRawPW", "ExpandCookedWithRawRawPW", 2448,
          p__PCHalvorin_FileChain__Source, p__UCHAR__FirstTrackNumber, p__LONG__StartLBA,
          p__PTRACK_ARRAY__Tracks, p__BOOLEAN__IsMode2, p__BOOLEAN__IsRegenerateQ, p__PForms) {}

void CHalvorin_ISO9660FileTreeRawRawPW::ExpandCookedWithRawRawPW(
    const std::uint8_t* p__PUCHAR__Source, std::uint8_t* p__PUCHAR__Target,
    std::uint32_t p__ULONG__Units) {
  Expand(p__PUCHAR__Source, p__PUCHAR__Target, p__ULONG__Units);
}

void CHalvorin_ISO9660FileTreeRawRawPW::PutSubchannel(const std::uint8_t* p__PUCHAR__PQ,
                                                      std::uint8_t* p__PUCHAR__Sector) {
  PackSubchannelQ(p__PUCHAR__PQ, p__PUCHAR__Sector + kRawSector);
}

void CHalvorin_ISO9660FileTreeRawRawPW::PutInputSubchannel(const std::uint8_t* p__PUCHAR__RawPW,
                                                           std::uint8_t* p__PUCHAR__Sector) {
  std::memcpy(p__PUCHAR__Sector + kRawSector, p__PUCHAR__RawPW, 96);
}
