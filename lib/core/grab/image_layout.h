// The track layout of a raw image of 2448-byte sectors, read from the Q of its own subchannel:
// where each track's pause (INDEX 0) and its INDEX 1 begin, its control and its data mode, and
// whether the absolute addresses run on without a jump (one session). The writers of a raw
// image take each track's kind and its pause from here, never from the image as a whole.
#pragma once

#include <cstdint>
#include <vector>

#include "halvorin.h"
#include "lib/mastering/raw/raw_track_forms.h"

struct HalvorinI_ImageTrack {
  std::int32_t m__LONG__Number;      // the Q's track number, 1..99
  std::uint8_t m__UCHAR__Control;    // the Q's whole control nibble: 4 set for a data track
  std::uint8_t m__UCHAR__DataMode;   // the header mode of its first INDEX 1 sector; 0 audio
  std::int64_t m__LONGLONG__Pause;   // image sector of its first INDEX 0 sector (= Index1: none)
  std::int64_t m__LONGLONG__Index1;  // image sector of its first sector past INDEX 0
};

struct HalvorinI_ImageLayout {
  std::vector<HalvorinI_ImageTrack> m__VECTOR__Tracks;  // in image order, numbers rising
  std::int64_t m__LONGLONG__Sectors = 0;                // whole sectors of the image
  std::int32_t m__LONG__FirstLBA = 0;    // absolute address of sector 0 by the first valid Q
  bool m__BOOLEAN__IsContiguous = true;  // every valid Q's address is the first's + its offset
};

// Reads the whole image. A sector whose Q has a bad CRC, is no position frame or names a track
// out of order belongs to the track before it; a track that never reaches INDEX 1 is no track.
// An image without one valid Q has no tracks. A file that cannot be opened or read throws
// exception 5 with its system error.
HalvorinI_ImageLayout HalvorinI_ReadImageLayout(const char* p__PCHAR__FileName);

// True when the layout's data tracks are CD-ROM XA (Mode 2): the first data track's mode.
bool HalvorinI_IsModeTwoLayout(const HalvorinI_ImageLayout& p__Layout);

// The layout of a raw image whose own Q gives no track: the tracks of the descriptor beside it
// ("<name>.mds" describing this data file and its size), else one data track when its sector 0
// has the sync pattern. Neither: no tracks. Tracks found so have no pause.
void HalvorinI_ImageLayoutWithoutQ(const char* p__PCHAR__FileName,
                                   HalvorinI_ImageLayout* p__PLayout);

// 2 when the layout's track numbers do not run 1, 2, ... as the tracks written will be
// numbered (the copied Q would say otherwise than the TOC).
void HalvorinI_CheckImageTrackNumbers(const HalvorinI_ImageLayout& p__Layout,
                                      const char* p__PCHAR__Export);

// Gives a descriptor's raw tracks (as HalvorinI_ParseMDS read them, which takes 150 sectors of
// every track but the last for the next one's pause) the pauses the image's Q shows: each
// track's size is its INDEX 1 part, the next entry's pre-gap its pause less 150 (-150: none),
// its kind and its whole control (into the forms) the Q's. A layout whose tracks are not the
// descriptor's leaves the tracks with no pause at all and their controls by their kinds. False
// then.
bool HalvorinI_ApplyImagePauses(const HalvorinI_ImageLayout& p__Layout,
                                SAO_TRACK_ARRAY* p__PSAO_TRACK_ARRAY__Tracks,
                                HalvorinI_TrackForms* p__PForms);

// The disc-at-once list of the image's tracks: each from its INDEX 1 (the first from sector 0)
// to the next one's, its data flag by its control, marked raw; into the forms each track's
// whole control and its pause (the INDEX 0 sectors at the end of the one before). 2 when the
// layout has no track, more than 99, numbers that do not run 1..n, or a jump in its addresses
// (several sessions, or no disc's start).
void HalvorinI_ImageTrackArray(const HalvorinI_ImageLayout& p__Layout, const char* p__PCHAR__Export,
                               TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
                               HalvorinI_TrackForms* p__PForms);
