// What the track-building exports share: the burner/grabber prefix, the handle check and the
// texts of their own failures, which begin with the library word and the export's name and
// stand between newlines.
#pragma once

#include <cstdint>

#include "lib/api/export_frame.h"
#include "lib/api/halvorin.h"
#include "lib/core/burner/cdvd_burner_grabber.h"

inline HalvorinI_ExportPrefix HalvorinI_BurnerPrefix(
    char* p__PCHAR__Text, std::uint32_t p__ULONG__Length, std::uint32_t* p__PULONG__SystemError,
    CDB_FAILURE_INFORMATION* p__PCDB_FAILURE_INFORMATION__Failure) {
  HalvorinI_ExportPrefix prefix;
  prefix.m__PCHAR__ExceptionText = p__PCHAR__Text;
  prefix.m__ULONG__ExceptionTextLength = p__ULONG__Length;
  prefix.m__PULONG__SystemError = p__PULONG__SystemError;
  prefix.m__PCDB_FAILURE_INFORMATION__Failure = p__PCDB_FAILURE_INFORMATION__Failure;
  return prefix;
}

// Exception 2 "\nHalvorin:<export>(): <what>!!!\n".
[[noreturn]] inline void HalvorinI_RefuseArgument(const char* p__PCHAR__Export,
                                                  const char* p__PCHAR__What) {
  HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0, "\nHalvorin:%s(): %s!!!\n",
                           p__PCHAR__Export, p__PCHAR__What);
}

inline CHalvorin_CdvdBurnerGrabber* HalvorinI_BurnerOrThrow(void* p__PVOID__BurnerGrabber,
                                                            const char* p__PCHAR__Export) {
  auto* burner = p__PVOID__BurnerGrabber
                     ? HalvorinI_ObjectOf<CHalvorin_CdvdBurnerGrabber>(p__PVOID__BurnerGrabber)
                     : nullptr;
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

#define HALVORIN_PREFIX_ARGS                                                      \
  p__PCHAR__ExceptionText, p__ULONG__ExceptionTextLength, p__PULONG__SystemError, \
      p__PCDB_FAILURE_INFORMATION__Failure
