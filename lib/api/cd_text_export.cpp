// The export that sets the CD-Text of a burner/grabber (prefix-last form).
#include "halvorin.h"
#include "lib/api/burner_handle.h"
#include "lib/api/export_frame.h"
#include "lib/core/burner/cdvd_burner_grabber.h"

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SetCDTextItem(
    void* p__PVOID__BurnerGrabber, int32_t p__LONG__TrackNumber, const char* p__PCHAR__Performer,
    const char* p__PCHAR__Title, char* p__PCHAR__ExceptionText,
    uint32_t p__ULONG__ExceptionTextLength, uint32_t* p__PULONG__SystemError) {
  constexpr const char* kExport = "Halvorin_CdvdBurnerGrabber_SetCDTextItem";
  const HalvorinI_ExportPrefix prefix = HalvorinI_PrefixOf(
      p__PCHAR__ExceptionText, p__ULONG__ExceptionTextLength, p__PULONG__SystemError);
  return HalvorinI_RunExport(kExport, prefix, [&] {
    HalvorinI_BurnerOrThrow(p__PVOID__BurnerGrabber, kExport)
        ->AddCDTextForTrack(p__LONG__TrackNumber, p__PCHAR__Performer, p__PCHAR__Title);
  });
}
