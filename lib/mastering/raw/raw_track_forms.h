// What a raw image tells of its tracks beyond a track list's entries: each track's whole Q
// control (copy permit, pre-emphasis and four channels besides data) and its pause, the INDEX 0
// sectors at the end of the track before it. The writers give the lead-in's TOC, the cue sheet
// and the Q they make the same control, so that TOC and Q agree, and the pause its own Q.
#pragma once

#include <cstdint>

struct HalvorinI_TrackForm {
  std::uint8_t m__UCHAR__Control;    // the Q control nibble; bit 2 set for data
  std::int32_t m__LONG__PauseInLBs;  // INDEX 0 sectors before its start; 0 for none
};

struct HalvorinI_TrackForms {
  HalvorinI_TrackForm m__Tracks[100] = {};
};

// The control nibble of track `p__LONG__Index`: the forms' when given, else 4 for data, 0 for
// audio.
inline std::uint8_t HalvorinI_ControlOf(const HalvorinI_TrackForms* p__PForms,
                                        std::int32_t p__LONG__Index, bool p__BOOLEAN__IsData) {
  if (p__PForms && p__LONG__Index >= 0 && p__LONG__Index < 100)
    return p__PForms->m__Tracks[p__LONG__Index].m__UCHAR__Control & 0x0F;
  return p__BOOLEAN__IsData ? 4 : 0;
}
