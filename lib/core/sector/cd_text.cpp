#include "lib/core/sector/cd_text.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "lib/core/debug_trace.h"
#include "lib/core/sector/sector_helpers.h"

namespace {

constexpr const char* kClass = "CHalvorin_CDText";
constexpr std::uint32_t kWin32InvalidParameter = 87;
constexpr std::uint32_t kWin32NotEnoughMemory = 14;
constexpr std::uint32_t kSizeInformationBytes = 36;
constexpr std::uint32_t kSizeInformationPacks = 3;

void CopyText(char* p__PCHAR__Field, const char* p__PCHAR__Text) {
  std::memset(p__PCHAR__Field, 0, 32);
  if (!p__PCHAR__Text) return;
  for (int i = 0; i < 31 && p__PCHAR__Text[i]; ++i) {
    const unsigned char c = static_cast<unsigned char>(p__PCHAR__Text[i]);
    p__PCHAR__Field[i] = (c >= '!' && c <= '~') ? static_cast<char>(c) : '_';
  }
}

// Packs a text needs with its terminator, 12 bytes each.
std::uint32_t PacksOf(const char* p__PCHAR__Text) {
  return static_cast<std::uint32_t>((std::strlen(p__PCHAR__Text) + 12) / 12);
}

void FinishPack(std::uint8_t* p__PUCHAR__Pack) {
  const std::uint16_t crc = static_cast<std::uint16_t>(~HalvorinI_Crc16(p__PUCHAR__Pack, 16));
  p__PUCHAR__Pack[16] = static_cast<std::uint8_t>(crc >> 8);
  p__PUCHAR__Pack[17] = static_cast<std::uint8_t>(crc);
  char hex[kHalvorinCDTextPackSize * 3 + 1] = {};
  for (std::uint32_t i = 0; i < kHalvorinCDTextPackSize; ++i)
    std::snprintf(hex + 3 * i, 4, "%02X ", p__PUCHAR__Pack[i]);
  DebugTrace("Halvorin:CDText : %s\n", hex);
}

}  // namespace

void CHalvorin_CDTextEntry::SetPerformer(const char* p__PCHAR__Text) {
  CopyText(m__CHAR__Performer, p__PCHAR__Text);
}

void CHalvorin_CDTextEntry::SetTitle(const char* p__PCHAR__Text) {
  CopyText(m__CHAR__Title, p__PCHAR__Text);
}

std::uint32_t CHalvorin_CDText::AddTrackInfo(std::int32_t p__LONG__TrackNumber,
                                             const char* p__PCHAR__Title,
                                             const char* p__PCHAR__Performer) {
  if (p__LONG__TrackNumber < 0 || p__LONG__TrackNumber > 99) {
    DebugTrace("\n%s::AddTrackInfo(): Invalid track number value %d\n", kClass,
               static_cast<int>(p__LONG__TrackNumber));
    return kWin32InvalidParameter;
  }
  std::unique_ptr<CHalvorin_CDTextEntry>& entry = m__PEntries[p__LONG__TrackNumber];
  if (!entry) {
    entry.reset(new (std::nothrow) CHalvorin_CDTextEntry);
    if (!entry) {
      DebugTrace("\n%s::AddTrackInfo(): Can't allocate memory\n", kClass);
      return kWin32NotEnoughMemory;
    }
  }
  entry->SetPerformer(p__PCHAR__Performer);
  entry->SetTitle(p__PCHAR__Title);
  return 0;
}

bool CHalvorin_CDText::IsCDTextPresent() const {
  for (const auto& entry : m__PEntries)
    if (entry) return true;
  return false;
}

bool CHalvorin_CDText::IsIncluded(std::int32_t p__LONG__Index) const {
  if (!m__PEntries[p__LONG__Index]) return false;
  return p__LONG__Index == 0 ||
         (p__LONG__Index >= m__UCHAR__FirstTrack && p__LONG__Index <= m__UCHAR__LastTrack);
}

std::uint32_t CHalvorin_CDText::GetDataSize() const {
  std::uint32_t packs = 0;
  for (std::int32_t i = 0; i < 100; ++i)
    if (IsIncluded(i))
      packs +=
          PacksOf(m__PEntries[i]->m__CHAR__Performer) + PacksOf(m__PEntries[i]->m__CHAR__Title);
  return (packs + kSizeInformationPacks) * kHalvorinCDTextPackSize;
}

std::uint32_t CHalvorin_CDText::GetData() {
  m__PUCHAR__PackData.reset();
  m__ULONG__PackDataSize = 0;
  const std::uint32_t size = GetDataSize();
  const std::uint32_t textPacks = size / kHalvorinCDTextPackSize - kSizeInformationPacks;
  if (textPacks > kHalvorinCDTextMaximumTextPacks) {
    DebugTrace("\n%s::GetData(): %lu text packs, more than %lu fit in one block!!!\n", kClass,
               static_cast<unsigned long>(textPacks),
               static_cast<unsigned long>(kHalvorinCDTextMaximumTextPacks));
    return kWin32InvalidParameter;
  }
  std::unique_ptr<std::uint8_t[]> data(new (std::nothrow) std::uint8_t[size]());
  if (!data) {
    DebugTrace("\n%s::GetData(): No memory\n", kClass);
    return kWin32NotEnoughMemory;
  }
  std::uint8_t info[kSizeInformationBytes] = {};
  info[0] = 1;
  info[1] = m__UCHAR__FirstTrack;
  info[2] = m__UCHAR__LastTrack;
  info[3] = 3;
  std::uint32_t sequence = 0;
  std::uint8_t* pack = data.get();
  for (const std::uint8_t type : {kHalvorinCDTextPackTitle, kHalvorinCDTextPackPerformer}) {
    for (std::int32_t i = 0; i < 100; ++i) {
      if (!IsIncluded(i)) continue;
      const char* text = type == kHalvorinCDTextPackTitle ? m__PEntries[i]->m__CHAR__Title
                                                          : m__PEntries[i]->m__CHAR__Performer;
      const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(text)) + 1;
      for (std::uint32_t placed = 0; placed < length; placed += 12) {
        pack[0] = type;
        pack[1] = static_cast<std::uint8_t>(i);
        pack[2] = static_cast<std::uint8_t>(sequence++);
        pack[3] = static_cast<std::uint8_t>(placed < 15 ? placed : 15);
        std::memcpy(pack + 4, text + placed, length - placed < 12 ? length - placed : 12);
        FinishPack(pack);
        ++info[4 + (type & 0x0F)];
        pack += kHalvorinCDTextPackSize;
      }
    }
  }
  info[19] = kSizeInformationPacks;
  info[20] = static_cast<std::uint8_t>(sequence + 2);
  info[28] = 0x09;
  static constexpr std::uint8_t kPositions[kSizeInformationPacks] = {0, 12, 15};
  for (std::uint32_t k = 0; k < kSizeInformationPacks; ++k) {
    pack[0] = kHalvorinCDTextPackSizeInformation;
    pack[1] = static_cast<std::uint8_t>(k);  // readers take it as the pack's place in the block
    pack[2] = static_cast<std::uint8_t>(sequence++);
    pack[3] = kPositions[k];
    std::memcpy(pack + 4, info + 12 * k, 12);
    FinishPack(pack);
    pack += kHalvorinCDTextPackSize;
  }
  m__PUCHAR__PackData = std::move(data);
  m__ULONG__PackDataSize = size;
  return 0;
}

std::uint32_t CHalvorin_CDText::PrepareSubChannels() {
  m__PCHAR__SubChannelsData.reset();
  m__ULONG__BlockCount = 0;
  if (const std::uint32_t status = GetData()) {
    DebugTrace("\n%s::PrepareSubChannels(): GetData() failed with status = %d\n", kClass,
               static_cast<int>(status));
    return status;
  }
  if (!m__PUCHAR__PackData) {
    DebugTrace("\n%s::PrepareSubChannels(): no data to proces!\n", kClass);
    return 0;
  }
  const std::uint32_t packs = m__ULONG__PackDataSize / kHalvorinCDTextPackSize;
  const std::uint32_t blocks = packs % 4 == 0 ? packs / 4 : packs % 4 == 2 ? packs / 2 : packs;
  std::unique_ptr<std::uint8_t[]> data(new (std::nothrow)
                                           std::uint8_t[blocks * kHalvorinCDTextBlockSize]());
  if (!data) {
    DebugTrace("\n%s::PrepareSubChannels(): no memory for m__PCHAR__SubChannelsData.\n", kClass);
    return kWin32NotEnoughMemory;
  }
  std::uint32_t next = 0;
  for (std::uint32_t b = 0; b < blocks; ++b) {
    std::uint8_t bytes[4 * kHalvorinCDTextPackSize];
    for (int k = 0; k < 4; ++k) {
      std::memcpy(bytes + k * kHalvorinCDTextPackSize,
                  m__PUCHAR__PackData.get() + next * kHalvorinCDTextPackSize,
                  kHalvorinCDTextPackSize);
      next = (next + 1) % packs;
    }
    std::uint8_t* block = data.get() + b * kHalvorinCDTextBlockSize;
    for (int g = 0; g < 24; ++g) {
      const std::uint8_t b0 = bytes[3 * g], b1 = bytes[3 * g + 1], b2 = bytes[3 * g + 2];
      block[4 * g] = static_cast<std::uint8_t>(b0 >> 2);
      block[4 * g + 1] = static_cast<std::uint8_t>(((b0 & 3) << 4) | (b1 >> 4));
      block[4 * g + 2] = static_cast<std::uint8_t>(((b1 & 0x0F) << 2) | (b2 >> 6));
      block[4 * g + 3] = static_cast<std::uint8_t>(b2 & 0x3F);
    }
  }
  m__PCHAR__SubChannelsData = std::move(data);
  m__ULONG__BlockCount = blocks;
  return 0;
}

void CHalvorin_CDText::Clear() {
  for (auto& entry : m__PEntries) entry.reset();
  m__PUCHAR__PackData.reset();
  m__ULONG__PackDataSize = 0;
  m__PCHAR__SubChannelsData.reset();
  m__ULONG__BlockCount = 0;
  m__UCHAR__FirstTrack = 255;
  m__UCHAR__LastTrack = 255;
}
