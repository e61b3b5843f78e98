// Cue sheets as SEND CUE SHEET hands them to the virtual recorder, from untrusted bytes: parsed,
// and every address around an accepted one asked for its block size and track.
//
// Besides memory errors it traps when an accepted sheet breaks what the writer relies on:
// tracks numbered from 1 with ascending addresses, a pause before the first (the others may go
// without one), the lead-out after the last track.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/aspi/recorder/vr_cue_sheet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace vr = platform::aspi::vr;
  const auto sheet = vr::SessionCueSheet::Parse({data, size});
  if (!sheet) return 0;
  std::int64_t previous = -151;
  int number = 1;
  for (const vr::CueTrack& t : sheet->tracks) {
    if (t.number != number++ || t.index0 <= previous || t.index1 < t.index0) std::abort();
    if (t.number == 1 && t.index1 == t.index0) std::abort();
    previous = t.index1;
  }
  if (sheet->tracks.empty() || sheet->leadOut <= previous) std::abort();
  for (std::int64_t lba = -152; lba < sheet->leadOut + 2 && lba < 100000; ++lba) {
    const std::size_t block = sheet->BlockSize(lba);
    const vr::CueTrack* t = sheet->TrackAt(lba);
    if (lba >= -150 && lba < sheet->leadOut && (!t || block == 0)) std::abort();
  }
  return 0;
}
