// The lead-in of a raw disc-at-once write: the table of contents in Q (A0, A1, A2 and one point
// per track, each in three consecutive sectors, repeated through the area, each with its track's
// whole control when the track forms are given), P off, and in the P-W form the CD-Text blocks
// in R-W when the first track is audio.
#pragma once

#include <cstdint>
#include <optional>

#include "halvorin.h"
#include "lib/core/sector/cd_text.h"
#include "lib/mastering/raw/iso9660_file_tree_generated.h"
#include "lib/mastering/raw/raw_track_forms.h"

class CHalvorin_ISO9660FileTreeLeadIn : public CHalvorin_ISO9660FileTreeGenerated {
 protected:
  CHalvorin_ISO9660FileTreeLeadIn(const char* p__PCHAR__Constructor,
                                  const char* p__PCHAR__TraceConstructor,
                                  std::uint32_t p__ULONG__SectorSize,
                                  std::int32_t p__LONG__StartLBA,
                                  std::uint32_t p__ULONG__SectorCount,
                                  std::int32_t p__LONG__LeadOutStartLBA,
                                  const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
                                  bool p__BOOLEAN__IsMode2, const HalvorinI_TrackForms* p__PForms);
  // Fills every sector; CD-Text blocks (count, 96 bytes each) ORed into R-W when given.
  void FormatLeadIn(const std::uint8_t* p__PUCHAR__CDTextBlocks, std::uint32_t p__ULONG__Blocks);

  std::int32_t m__LONG__StartLBA;
  std::int32_t m__LONG__LeadOutStartLBA;
  bool m__BOOLEAN__IsMode2;
  TRACK_ARRAY m__TRACK_ARRAY__Tracks;
  std::optional<HalvorinI_TrackForms> m__Forms;
};

// 2368-byte sectors: 2352 and the PQ block.
class CHalvorin_ISO9660FileTreeLeadInRawPQ : public CHalvorin_ISO9660FileTreeLeadIn {
 public:
  CHalvorin_ISO9660FileTreeLeadInRawPQ(std::int32_t p__LONG__StartLBA,
                                       std::uint32_t p__ULONG__SectorCount,
                                       std::int32_t p__LONG__LeadOutStartLBA,
                                       const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
                                       bool p__BOOLEAN__IsMode2,
                                       const HalvorinI_TrackForms* p__PForms = nullptr);
};

// 2448-byte sectors: 2352 and 96 raw P-W bytes; the CD-Text stays the caller's.
class CHalvorin_ISO9660FileTreeLeadInRawRawPW : public CHalvorin_ISO9660FileTreeLeadIn {
 public:
  // Exception 5 when the CD-Text cannot be prepared (more than 253 text packs, no memory).
  CHalvorin_ISO9660FileTreeLeadInRawRawPW(std::int32_t p__LONG__StartLBA,
                                          std::uint32_t p__ULONG__SectorCount,
                                          std::int32_t p__LONG__LeadOutStartLBA,
                                          const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
                                          bool p__BOOLEAN__IsMode2,
                                          CHalvorin_CDText* p__PCHalvorin_CDText__CDText,
                                          const HalvorinI_TrackForms* p__PForms = nullptr);

 private:
  CHalvorin_CDText* m__PCHalvorin_CDText__CDText;
};
