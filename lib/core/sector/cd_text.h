// CD-Text of a burner/grabber: a title and a performer for the disc (entry 0) and each track
// (1-99), turned into 18-byte packs (titles, performers, three size-information packs) and the
// packs spread over the R-W bits of 96-byte subchannel blocks for a lead-in. Results are
// Win32-style numbers (0, 87 invalid parameter, 14 not enough memory), never exceptions.
#pragma once

#include <cstdint>
#include <memory>

inline constexpr std::uint32_t kHalvorinCDTextPackSize = 18;
inline constexpr std::uint32_t kHalvorinCDTextBlockSize = 96;
inline constexpr std::uint8_t kHalvorinCDTextPackTitle = 0x80;
inline constexpr std::uint8_t kHalvorinCDTextPackPerformer = 0x81;
inline constexpr std::uint8_t kHalvorinCDTextPackSizeInformation = 0x8F;
// One sequence byte numbers the packs of a block: 256 packs, three of them size information.
inline constexpr std::uint32_t kHalvorinCDTextMaximumTextPacks = 253;

struct CHalvorin_CDTextEntry {
  char m__CHAR__Performer[32] = {};
  char m__CHAR__Title[32] = {};

  // At most 31 characters up to the terminator; every character outside '!'..'~' becomes '_'.
  // A null text clears it.
  void SetPerformer(const char* p__PCHAR__Text);
  void SetTitle(const char* p__PCHAR__Text);
};

class CHalvorin_CDText {
 public:
  CHalvorin_CDText() = default;
  CHalvorin_CDText(const CHalvorin_CDText&) = delete;
  CHalvorin_CDText& operator=(const CHalvorin_CDText&) = delete;

  // Track 0 is the disc. 87 for a number outside 0..99.
  std::uint32_t AddTrackInfo(std::int32_t p__LONG__TrackNumber, const char* p__PCHAR__Title,
                             const char* p__PCHAR__Performer);
  bool IsCDTextPresent() const;
  // Bytes of the packs of the disc entry and the set entries from the first to the last track.
  std::uint32_t GetDataSize() const;
  // The packs (a second call frees the first result); 87 when the texts need more than 253
  // text packs, 14 without memory.
  std::uint32_t GetData();
  // GetData, then the blocks that carry the pack sequence a whole number of times.
  std::uint32_t PrepareSubChannels();
  void Clear();

  void SetFirstTrack(std::uint8_t p__UCHAR__Track) { m__UCHAR__FirstTrack = p__UCHAR__Track; }
  void SetLastTrack(std::uint8_t p__UCHAR__Track) { m__UCHAR__LastTrack = p__UCHAR__Track; }
  std::uint8_t GetFirstTrack() const { return m__UCHAR__FirstTrack; }
  std::uint8_t GetLastTrack() const { return m__UCHAR__LastTrack; }
  const CHalvorin_CDTextEntry* GetEntry(std::int32_t p__LONG__Index) const {
    return p__LONG__Index >= 0 && p__LONG__Index < 100 ? m__PEntries[p__LONG__Index].get()
                                                       : nullptr;
  }
  const std::uint8_t* GetPackData() const { return m__PUCHAR__PackData.get(); }
  std::uint32_t GetPackDataSize() const { return m__ULONG__PackDataSize; }
  const std::uint8_t* GetSubChannelsData() const { return m__PCHAR__SubChannelsData.get(); }
  std::uint32_t GetBlockCount() const { return m__ULONG__BlockCount; }

 private:
  // Entry 0 and the set entries first..last (at most 99).
  bool IsIncluded(std::int32_t p__LONG__Index) const;

  std::uint8_t m__UCHAR__FirstTrack = 255;
  std::uint8_t m__UCHAR__LastTrack = 255;
  std::uint32_t m__ULONG__BlockCount = 0;
  std::unique_ptr<CHalvorin_CDTextEntry> m__PEntries[100];
  std::unique_ptr<std::uint8_t[]> m__PUCHAR__PackData;
  std::uint32_t m__ULONG__PackDataSize = 0;
  std::unique_ptr<std::uint8_t[]> m__PCHAR__SubChannelsData;
};
