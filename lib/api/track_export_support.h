// What the track-building exports share: the handle check and the
// texts of their own failures, which begin with the library word and the export's name and
// stand between newlines.
#pragma once

#include <cstdint>

#include "halvorin.h"
#include "lib/api/burner_handle.h"
#include "lib/api/export_frame.h"
#include "lib/core/burner/cdvd_burner_grabber.h"

// Exception 2 "\nHalvorin:<export>(): <what>!!!\n".
[[noreturn]] inline void HalvorinI_RefuseArgument(const char* p__PCHAR__Export,
                                                  const char* p__PCHAR__What) {
  HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0, "\nHalvorin:%s(): %s!!!\n",
                           p__PCHAR__Export, p__PCHAR__What);
}

// HalvorinI_BurnerOrThrow with the text between newlines.
inline CHalvorin_CdvdBurnerGrabber* HalvorinI_TrackBurnerOrThrow(void* p__PVOID__BurnerGrabber,
                                                                 const char* p__PCHAR__Export) {
  CHalvorin_CdvdBurnerGrabber* burner = HalvorinI_BurnerOf(p__PVOID__BurnerGrabber);
  if (!burner)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "\nHalvorin:%s(): The handle %p is not a burner/grabber!!!\n",
                             p__PCHAR__Export, p__PVOID__BurnerGrabber);
  return burner;
}

// A track list's name: present and terminated inside its 260 bytes.
inline bool HalvorinI_IsTrackName(const char* p__PCHAR__Name) {
  for (int i = 0; i < 260; ++i)
    if (p__PCHAR__Name[i] == 0) return i > 0;
  return false;
}
