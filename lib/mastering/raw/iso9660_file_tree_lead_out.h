// The 6,750-sector lead-out of a raw disc-at-once write: TNO AAh, INDEX 1, the relative time
// from 00:00:00, P off for two seconds and then one second on, one off.
#pragma once

#include <cstdint>

#include "lib/mastering/raw/iso9660_file_tree_generated.h"

class CHalvorin_ISO9660FileTreeLeadOut : public CHalvorin_ISO9660FileTreeGenerated {
 protected:
  // p__UCHAR__ControlBits: the Q control bits beyond data (copy permit, pre-emphasis, four
  // channels) of the track the area belongs to.
  CHalvorin_ISO9660FileTreeLeadOut(const char* p__PCHAR__Constructor,
                                   std::uint32_t p__ULONG__SectorSize,
                                   std::int32_t p__LONG__StartLBA, bool p__BOOLEAN__IsData,
                                   bool p__BOOLEAN__IsMode2, std::uint8_t p__UCHAR__ControlBits);
};

class CHalvorin_ISO9660FileTreeLeadOutRawPQ : public CHalvorin_ISO9660FileTreeLeadOut {
 public:
  CHalvorin_ISO9660FileTreeLeadOutRawPQ(std::int32_t p__LONG__StartLBA, bool p__BOOLEAN__IsData,
                                        bool p__BOOLEAN__IsMode2,
                                        std::uint8_t p__UCHAR__ControlBits = 0);
};

class CHalvorin_ISO9660FileTreeLeadOutRawRawPW : public CHalvorin_ISO9660FileTreeLeadOut {
 public:
  CHalvorin_ISO9660FileTreeLeadOutRawRawPW(std::int32_t p__LONG__StartLBA, bool p__BOOLEAN__IsData,
                                           bool p__BOOLEAN__IsMode2,
                                           std::uint8_t p__UCHAR__ControlBits = 0);
};
