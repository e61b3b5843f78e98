// The 150-sector pause before track 1 of a raw disc-at-once write: INDEX 0, the relative time
// counting down to 00:00:00 at the last sector, P on throughout.
#pragma once

#include <cstdint>

#include "lib/mastering/raw/iso9660_file_tree_generated.h"

class CHalvorin_ISO9660FileTreePreGap : public CHalvorin_ISO9660FileTreeGenerated {
 protected:
  // p__UCHAR__ControlBits: the Q control bits beyond data (copy permit, pre-emphasis, four
  // channels) of the track the area belongs to.
  CHalvorin_ISO9660FileTreePreGap(const char* p__PCHAR__Constructor,
                                  std::uint32_t p__ULONG__SectorSize,
                                  std::int32_t p__LONG__StartLBA,
                                  std::uint32_t p__ULONG__SectorCount,
                                  std::uint8_t p__UCHAR__TrackNumber, bool p__BOOLEAN__IsData,
                                  bool p__BOOLEAN__IsMode2, std::uint8_t p__UCHAR__ControlBits);
};

class CHalvorin_ISO9660FileTreePreGapRawPQ : public CHalvorin_ISO9660FileTreePreGap {
 public:
  CHalvorin_ISO9660FileTreePreGapRawPQ(std::int32_t p__LONG__StartLBA,
                                       std::uint32_t p__ULONG__SectorCount,
                                       std::uint8_t p__UCHAR__TrackNumber, bool p__BOOLEAN__IsData,
                                       bool p__BOOLEAN__IsMode2,
                                       std::uint8_t p__UCHAR__ControlBits = 0);
};

class CHalvorin_ISO9660FileTreePreGapRawRawPW : public CHalvorin_ISO9660FileTreePreGap {
 public:
  CHalvorin_ISO9660FileTreePreGapRawRawPW(std::int32_t p__LONG__StartLBA,
                                          std::uint32_t p__ULONG__SectorCount,
                                          std::uint8_t p__UCHAR__TrackNumber,
                                          bool p__BOOLEAN__IsData, bool p__BOOLEAN__IsMode2,
                                          std::uint8_t p__UCHAR__ControlBits = 0);
};
