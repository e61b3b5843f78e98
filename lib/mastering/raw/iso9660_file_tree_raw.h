// Raw views for disc-at-once writing: a source of cooked data blocks (2048 bytes), audio
// sectors (2352) or raw images with P-W subchannel (2448) read as raw sectors with generated
// subchannel: 2368 bytes (2352 + the PQ block) or 2448 (2352 + 96 raw P-W bytes). Data sectors
// are encoded at their absolute address and scrambled; audio sectors pass unchanged. A raw
// image's sector is scrambled when the Q it is written with says data (where that Q is not
// valid, when its track is a data track), as the disc's reader descrambles it.
//
// The view reads the source's files from where the source stands and owns none of them: the
// source outlives the view. It follows the caller's track list (copied whole): each track's
// sectors carry its number, its control and a relative time from its start; the last track
// takes whatever the source still holds. With the track forms (copied) the Q made carries each
// track's whole control, and a track's pause at the end of the one before carries the pause's
// own number, control and INDEX 0, counting down to 00:00:00 at its last sector, P on.
// Rewinding the view starts the counting again.
#pragma once

#include <cstdint>
#include <optional>

#include "halvorin.h"
#include "lib/mastering/iso9660/iso9660_file_tree.h"
#include "lib/mastering/raw/raw_track_forms.h"

class CHalvorin_ISO9660FileTreeRaw : public CHalvorin_ISO9660FileTree {
 public:
  // Whole sectors only: count / sector size of them; the bytes past the last whole one stay
  // as they are. A sector whose absolute address needs to be written (header or Q) and lies
  // outside -45150..449849 is refused (2).
  void Read(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;
  // (source size / u) × sector size, u the input unit of the first track.
  std::uint64_t GetSizeInUCHARs() override;

  std::uint32_t GetSectorSize() const { return m__ULONG__SectorSize; }
  std::int32_t GetTrackIndex() const { return m__LONG__TrackIndex; }
  std::int32_t GetTrackLBA() const { return m__LONG__TrackLBA; }
  std::int32_t GetAbsoluteLBA() const { return m__LONG__AbsoluteLBA; }

 protected:
  // p__BOOLEAN__IsMode2: data sectors as Mode 2 Form 1 (zero subheader) instead of Mode 1.
  // p__BOOLEAN__IsRegenerateQ: raw input sectors get generated Q (no R-W, P over a pause only)
  // instead of their own subchannel. p__PForms: the tracks' whole controls and pauses, or null
  // (controls by the data flags, no pauses). A list of other than 1..100 tracks, or one whose track
  // numbers (the first and those after it) leave 1..99, is refused (2). p__PCHAR__Class and
  // p__PCHAR__ExpandMethod name the view in its traces (literals).
  CHalvorin_ISO9660FileTreeRaw(const char* p__PCHAR__Class, const char* p__PCHAR__ExpandMethod,
                               std::uint32_t p__ULONG__SectorSize,
                               CHalvorin_FileChain* p__PCHalvorin_FileChain__Source,
                               std::uint8_t p__UCHAR__FirstTrackNumber,
                               std::int32_t p__LONG__StartLBA,
                               const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, bool p__BOOLEAN__IsMode2,
                               bool p__BOOLEAN__IsRegenerateQ,
                               const HalvorinI_TrackForms* p__PForms);

  void ChainRewound() override;

  // The subchannel of one sector (16 or 96 bytes at its byte 2352) from its PQ block.
  virtual void PutSubchannel(const std::uint8_t* p__PUCHAR__PQ,
                             std::uint8_t* p__PUCHAR__Sector) = 0;
  // The subchannel of one sector from a raw input sector's own 96 bytes.
  virtual void PutInputSubchannel(const std::uint8_t* p__PUCHAR__RawPW,
                                  std::uint8_t* p__PUCHAR__Sector) = 0;

  // Cooked data blocks or audio sectors of the current track to raw sectors.
  void Expand(const std::uint8_t* p__PUCHAR__Source, std::uint8_t* p__PUCHAR__Target,
              std::uint32_t p__ULONG__Units);
  // Raw 2448-byte input sectors of a raw image's track: the data sectors of a data track
  // scrambled, the rest as they are; subchannel generated or taken from the input.
  void ConvertRawPW(const std::uint8_t* p__PUCHAR__Source, std::uint8_t* p__PUCHAR__Target,
                    std::uint32_t p__ULONG__Units);

 private:
  const TRACK_ENTRY& Track(std::int32_t p__LONG__Index) const;
  std::uint32_t InputUnit(const TRACK_ENTRY& p__Track) const;
  // Steps to the next track when the current one is done (never past the last).
  void SwitchTrack(const char* p__PCHAR__Method);
  // Sectors left in the track that the next sector belongs to, and that track.
  std::uint64_t SectorsLeftInTrack(std::int32_t* p__PLONG__Index) const;
  // The PQ block of the current sector; an absolute address outside -45150..449849 throws.
  // Gives the control nibble written.
  std::uint8_t PutPQ(const TRACK_ENTRY& p__Track, std::uint8_t* p__PUCHAR__Sector,
                     const char* p__PCHAR__Method);
  [[noreturn]] void ThrowAddressOutOfRange(const char* p__PCHAR__Method) const;

  const char* m__PCHAR__Class;
  const char* m__PCHAR__ExpandMethod;
  std::uint32_t m__ULONG__SectorSize;
  std::uint8_t m__UCHAR__FirstTrackNumber;
  std::int32_t m__LONG__StartLBA;
  bool m__BOOLEAN__IsMode2;
  bool m__BOOLEAN__IsRegenerateQ;
  TRACK_ARRAY m__TRACK_ARRAY__Tracks;
  std::optional<HalvorinI_TrackForms> m__Forms;
  std::int32_t m__LONG__TrackIndex = 0;
  std::int32_t m__LONG__TrackLBA = 0;
  std::int32_t m__LONG__AbsoluteLBA = 0;
};

// 2368-byte sectors: 2352 and the PQ block.
class CHalvorin_ISO9660FileTreeRawPQ : public CHalvorin_ISO9660FileTreeRaw {
 public:
  CHalvorin_ISO9660FileTreeRawPQ(CHalvorin_FileChain* p__PCHalvorin_FileChain__Source,
                                 std::uint8_t p__UCHAR__FirstTrackNumber,
                                 std::int32_t p__LONG__StartLBA,
                                 const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
                                 bool p__BOOLEAN__IsMode2, bool p__BOOLEAN__IsRegenerateQ,
                                 const HalvorinI_TrackForms* p__PForms = nullptr);

  void ExpandCookedWithRawPQ(const std::uint8_t* p__PUCHAR__Source, std::uint8_t* p__PUCHAR__Target,
                             std::uint32_t p__ULONG__Units);

 protected:
  void PutSubchannel(const std::uint8_t* p__PUCHAR__PQ, std::uint8_t* p__PUCHAR__Sector) override;
  // The input's 12 Q bytes, three zeros and its P flag.
  void PutInputSubchannel(const std::uint8_t* p__PUCHAR__RawPW,
                          std::uint8_t* p__PUCHAR__Sector) override;
};

// 2448-byte sectors: 2352 and 96 raw P-W bytes.
class CHalvorin_ISO9660FileTreeRawRawPW : public CHalvorin_ISO9660FileTreeRaw {
 public:
  CHalvorin_ISO9660FileTreeRawRawPW(CHalvorin_FileChain* p__PCHalvorin_FileChain__Source,
                                    std::uint8_t p__UCHAR__FirstTrackNumber,
                                    std::int32_t p__LONG__StartLBA,
                                    const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
                                    bool p__BOOLEAN__IsMode2, bool p__BOOLEAN__IsRegenerateQ,
                                    const HalvorinI_TrackForms* p__PForms = nullptr);

  void ExpandCookedWithRawRawPW(const std::uint8_t* p__PUCHAR__Source,
                                std::uint8_t* p__PUCHAR__Target, std::uint32_t p__ULONG__Units);

 protected:
  void PutSubchannel(const std::uint8_t* p__PUCHAR__PQ, std::uint8_t* p__PUCHAR__Sector) override;
  // The input's 96 bytes as they are.
  void PutInputSubchannel(const std::uint8_t* p__PUCHAR__RawPW,
                          std::uint8_t* p__PUCHAR__Sector) override;
};
