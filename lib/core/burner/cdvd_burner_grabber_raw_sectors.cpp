// The burner's raw-sector routines: 2448-byte sectors (2352 main bytes, 96 subchannel bytes)
// formatted, scrambled and given Q subchannel for the raw session form and the grab.
#include <cstring>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/sector/lba_msf.h"
#include "lib/core/sector/sector_encoder.h"
#include "lib/core/sector/sector_helpers.h"
#include "lib/mastering/raw/raw_subchannel.h"

namespace {

constexpr std::uint32_t kRaw = 2352;
constexpr std::uint32_t kRawPW = 2448;
constexpr std::uint32_t kChannel = 12;

// Whether a raw sector with its 96 raw P-W bytes is scrambled: by the control of its Q, as the
// disc's reader descrambles it (an image holds audio and data tracks, and a data sector whose
// sync was damaged is data all the same); where the Q is no valid frame, by the sync field and
// a data mode.
bool IsDataSector(const std::uint8_t* p__PUCHAR__Sector) {
  std::uint8_t q[kChannel];
  HalvorinI_UnpackSubQ(p__PUCHAR__Sector + kRaw, q);
  if (HalvorinI_IsSubQCrcRight(q)) return (q[0] & 0x40) != 0;
  const std::uint8_t mode = p__PUCHAR__Sector[15] & 3;
  return (mode == 1 || mode == 2) && HalvorinI_HasSectorSync(p__PUCHAR__Sector);
}

}  // namespace

std::atomic<std::uint64_t> CHalvorin_CdvdBurnerGrabber::s__ULONGLONG__ScrambledLBs{0};

void CHalvorin_CdvdBurnerGrabber::FormatRawSectors(std::uint8_t* p__PUCHAR__Buffer,
                                                   std::uint32_t p__ULONG__Count,
                                                   std::uint32_t p__ULONG__Stride,
                                                   std::int32_t p__LONG__LBA,
                                                   std::uint8_t p__UCHAR__Mode) {
  for (std::uint32_t i = 0; i < p__ULONG__Count; ++i) {
    std::uint8_t* sector = p__PUCHAR__Buffer + static_cast<std::size_t>(i) * p__ULONG__Stride;
    SetSectorSync(sector);
    LBAToMSFBCD(sector + 12, p__LONG__LBA + static_cast<std::int32_t>(i));
    sector[15] = p__UCHAR__Mode;
    // Mode 2 sectors of a gap are formless: no EDC or parity of their own.
    if (p__UCHAR__Mode == 1) {
      m__CHalvorin_EDCECC.FillSectorEDC(sector, 1, false);
      m__CHalvorin_EDCECC.CalculateEccP(sector);
      m__CHalvorin_EDCECC.CalculateEccQ(sector);
    }
  }
}

void CHalvorin_CdvdBurnerGrabber::ScrambleRawSectors(std::uint8_t* p__PUCHAR__Buffer,
                                                     std::uint32_t p__ULONG__Count,
                                                     std::uint32_t p__ULONG__Stride) {
  for (std::uint32_t i = 0; i < p__ULONG__Count; ++i) {
    std::uint8_t* sector = p__PUCHAR__Buffer + static_cast<std::size_t>(i) * p__ULONG__Stride;
    if (!IsDataSector(sector)) continue;
    ScrambleSector(sector);
    s__ULONGLONG__ScrambledLBs.fetch_add(1, std::memory_order_relaxed);
  }
}

void CHalvorin_CdvdBurnerGrabber::SetPChannelOfRawSector(std::uint8_t* p__PUCHAR__Sector) {
  for (std::uint32_t i = 0; i < 96; ++i) p__PUCHAR__Sector[kRaw + i] |= 0x80;
}

void CHalvorin_CdvdBurnerGrabber::FormatQSubChannel(
    std::uint32_t p__ULONG__RelativeTime, std::int32_t p__LONG__LBA, std::uint8_t p__UCHAR__Control,
    std::uint8_t p__UCHAR__TNO, std::uint8_t* p__PUCHAR__Buffer, bool p__BOOLEAN__IsPreGap,
    bool p__BOOLEAN__IsFirstSectorMark, bool p__BOOLEAN__IsCRC, std::uint32_t p__ULONG__Count,
    bool p__BOOLEAN__IsP) {
  for (std::uint32_t i = 0; i < p__ULONG__Count; ++i) {
    std::uint8_t* sub = p__PUCHAR__Buffer + static_cast<std::size_t>(i) * kRawPW + kRaw;
    std::uint8_t* q = sub + kChannel;
    const std::uint32_t relative =
        p__BOOLEAN__IsPreGap ? p__ULONG__RelativeTime - i : p__ULONG__RelativeTime + i;
    q[0] = static_cast<std::uint8_t>(p__UCHAR__Control * 16 + 1);
    q[1] = p__UCHAR__TNO;
    q[2] = p__BOOLEAN__IsPreGap ? 0 : 1;
    FramesToMSFBCD(relative, q + 3);
    q[6] = 0;
    LBAToMSFBCD(q + 7, p__LONG__LBA + static_cast<std::int32_t>(i));
    if (p__BOOLEAN__IsCRC) CalculateQCRC(q);
    if (p__BOOLEAN__IsP) std::memset(sub, 0xFF, kChannel);
    std::uint8_t& mark = sub[2 * kChannel + 3];
    mark = static_cast<std::uint8_t>(p__BOOLEAN__IsFirstSectorMark && i == 0 ? mark | 0x80
                                                                             : mark & 0x7F);
  }
}

void CHalvorin_CdvdBurnerGrabber::InterleaveSubChannels(std::uint8_t* p__PUCHAR__Buffer,
                                                        std::uint32_t p__ULONG__Count) {
  for (std::uint32_t s = 0; s < p__ULONG__Count; ++s) {
    std::uint8_t* sub = p__PUCHAR__Buffer + static_cast<std::size_t>(s) * kRawPW + kRaw;
    std::uint8_t channels[96];
    std::memcpy(channels, sub, sizeof channels);
    for (int i = 0; i < 96; ++i) {
      std::uint8_t symbol = 0;
      for (int c = 0; c < 8; ++c)
        if ((channels[kChannel * c + i / 8] >> (7 - i % 8)) & 1)
          symbol = static_cast<std::uint8_t>(symbol | (0x80 >> c));
      sub[i] = symbol;
    }
  }
}

void CHalvorin_CdvdBurnerGrabber::CalculateQCRC(std::uint8_t* p__PUCHAR__Q) {
  CalculateSubQCRC(p__PUCHAR__Q);
}
