// The MMC cue sheet of a session-at-once track list: the lead-in, INDEX 0 (when the track has a
// pause) and INDEX 1 of every track, the lead-out; times as plain minute, second and frame.
#include <cstring>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/debug_trace.h"
#include "lib/core/sector/lba_msf.h"

namespace {

constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::CompileCueSheet";
constexpr std::uint32_t kCueSheetSize = 1616;

void PutEntry(std::uint8_t* p__PUCHAR__Entry, std::uint8_t p__UCHAR__ControlAdr,
              std::uint8_t p__UCHAR__TNO, std::uint8_t p__UCHAR__Index,
              std::uint8_t p__UCHAR__DataForm, std::int32_t p__LONG__LBA) {
  p__PUCHAR__Entry[0] = p__UCHAR__ControlAdr;
  p__PUCHAR__Entry[1] = p__UCHAR__TNO;
  p__PUCHAR__Entry[2] = p__UCHAR__Index;
  p__PUCHAR__Entry[3] = p__UCHAR__DataForm;
  p__PUCHAR__Entry[4] = 0;
  LBAToMSF(p__LONG__LBA, p__PUCHAR__Entry + 5);
}

}  // namespace

void CHalvorin_CdvdBurnerGrabber::CompileCueSheet(
    const SAO_TRACK_ARRAY* p__PSAO_TRACK_ARRAY__Tracks, std::uint8_t* p__PUCHAR__CueSheet,
    std::uint32_t* p__PULONG__Length, bool p__BOOLEAN__IsXA, bool p__BOOLEAN__IsWriteLeadIn,
    const HalvorinI_TrackForms* p__PForms) {
  const std::int32_t count = p__PSAO_TRACK_ARRAY__Tracks->m__LONG__NumberOfTracks;
  if (count < 1 || count > 99)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s(): Number of tracks %ld is not 1..99!!!", kMethod,
                             static_cast<long>(count));
  std::memset(p__PUCHAR__CueSheet, 0, kCueSheetSize);
  const SAO_TRACK_ENTRY& first = p__PSAO_TRACK_ARRAY__Tracks->m__SAO_TRACK_ENTRY__Tracks[0];
  const SAO_TRACK_ENTRY& last = p__PSAO_TRACK_ARRAY__Tracks->m__SAO_TRACK_ENTRY__Tracks[count - 1];
  std::uint8_t form = 0x14;
  if (first.m__BOOLEAN__IsAudio) form = 0x01;
  // The session's XA flag makes data tracks Mode 2, never audio (as the sector sizes are).
  if (first.m__BOOLEAN__IsXA || (p__BOOLEAN__IsXA && !first.m__BOOLEAN__IsAudio)) form = 0x24;
  if (p__BOOLEAN__IsWriteLeadIn && first.m__BOOLEAN__IsRawPW) form = 0x41;
  // Each track's whole control (copy permit, pre-emphasis, four channels besides data): the
  // drive puts it into the TOC, which must agree with the Q of the track.
  const auto controlOf = [&](std::int32_t p__LONG__Index, const SAO_TRACK_ENTRY& p__Track) {
    return static_cast<std::uint8_t>(
        HalvorinI_ControlOf(p__PForms, p__LONG__Index, !p__Track.m__BOOLEAN__IsAudio) << 4 | 1);
  };
  PutEntry(p__PUCHAR__CueSheet, controlOf(0, first), 0, 0, form, -150);
  std::uint8_t* entry = p__PUCHAR__CueSheet + 8;
  std::int32_t address = -150;
  for (std::int32_t n = 0; n < count; ++n) {
    const SAO_TRACK_ENTRY& t = p__PSAO_TRACK_ARRAY__Tracks->m__SAO_TRACK_ENTRY__Tracks[n];
    form = 0x10;
    if (t.m__BOOLEAN__IsAudio) form = 0x00;
    if (t.m__BOOLEAN__IsXA || (p__BOOLEAN__IsXA && !t.m__BOOLEAN__IsAudio)) form = 0x20;
    if (t.m__BOOLEAN__IsRawPW) form = 0x40;
    const std::uint8_t control = controlOf(n, t);
    const auto tno = static_cast<std::uint8_t>(n + 1);
    // The pause before the track: 150 sectors and its extra pre-gap. A raw image's track that
    // followed the one before it without a pause on its disc has none, and no INDEX 0.
    const std::int32_t pause = 150 + t.m__LONG__PreGapInLBs;
    if (pause < 0 || (pause == 0 && n == 0))
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "%s(): Track %ld has a pause of %ld LBs!!!", kMethod,
                               static_cast<long>(n), static_cast<long>(pause));
    if (pause > 0) {
      PutEntry(entry, control, tno, 0, form, address);
      entry += 8;
    }
    PutEntry(entry, control, tno, 1, form, address + pause);
    entry += 8;
    address += pause + t.m__LONG__SizeInLBs + t.m__LONG__PostGapInLBs;
    DebugTrace("\n%s(): Track %ld, Size %ld\n", kMethod, static_cast<long>(n),
               static_cast<long>(t.m__LONG__SizeInLBs));
  }
  form = 0x14;
  if (last.m__BOOLEAN__IsAudio) form = 0x01;
  if (last.m__BOOLEAN__IsXA || (p__BOOLEAN__IsXA && !last.m__BOOLEAN__IsAudio)) form = 0x24;
  if (last.m__BOOLEAN__IsRawPW) form = p__BOOLEAN__IsXA ? 0x24 : 0x14;
  PutEntry(entry, entry[-8], 0xAA, 1, form, address);
  *p__PULONG__Length = static_cast<std::uint32_t>(entry + 8 - p__PUCHAR__CueSheet);
}
