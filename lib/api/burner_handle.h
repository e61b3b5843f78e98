// The burner/grabber behind an export's handle.
#pragma once

#include "lib/api/export_frame.h"
#include "lib/core/burner/cdvd_burner_grabber.h"

// The burner/grabber of a handle; null for no handle or one of another object.
inline CHalvorin_CdvdBurnerGrabber* HalvorinI_BurnerOf(void* p__PVOID__BurnerGrabber) {
  return p__PVOID__BurnerGrabber
             ? HalvorinI_ObjectOf<CHalvorin_CdvdBurnerGrabber>(p__PVOID__BurnerGrabber)
             : nullptr;
}

// The same, or exception 2 "Halvorin:<export>(): The handle <p> is not a burner/grabber!!!".
inline CHalvorin_CdvdBurnerGrabber* HalvorinI_BurnerOrThrow(void* p__PVOID__BurnerGrabber,
                                                            const char* p__PCHAR__Export) {
  CHalvorin_CdvdBurnerGrabber* burner = HalvorinI_BurnerOf(p__PVOID__BurnerGrabber);
  if (!burner)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "Halvorin:%s(): The handle %p is not a burner/grabber!!!",
                             p__PCHAR__Export, p__PVOID__BurnerGrabber);
  return burner;
}
