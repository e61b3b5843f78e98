// The burner/grabber's CD-Text, set track by track before a raw disc-at-once write.
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/debug_trace.h"

void CHalvorin_CdvdBurnerGrabber::AddCDTextForTrack(std::int32_t p__LONG__TrackNumber,
                                                    const char* p__PCHAR__Performer,
                                                    const char* p__PCHAR__Title) {
  const std::uint32_t status =
      m__CHalvorin_CDText.AddTrackInfo(p__LONG__TrackNumber, p__PCHAR__Title, p__PCHAR__Performer);
  if (status)
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, status,
                             "CHalvorin_CdvdBurnerGrabber::AddCDTextForTrack() : "
                             "m__CHalvorin_CDText.AddTrackInfo(...) failed, status %ld!!!",
                             static_cast<long>(status));
}
