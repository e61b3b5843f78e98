// An image descriptor file from untrusted bytes, read as the raw session-at-once export reads
// it: a status, or a list whose counts, sizes and data file name are sound. The same bytes as
// an image data file go through the image check and the reader of its Q layout (tracks in
// order inside the image), and the layout is laid over the descriptor's list as the export
// does: no size or pause comes out negative. The disc-at-once list made of the layout has
// tracks numbered 1..n that cover the image, and a data file without Q takes its tracks from
// the descriptor beside it: in order inside it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "lib/core/grab/image_descriptor.h"
#include "lib/core/grab/image_layout.h"
#include "lib/core/halvorin_exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = [] {
    const std::string f = fuzzing::ScratchFolder();
    const std::vector<char> image(400 * 2448, '\0');  // what a size of 0 is taken from
    fuzzing::WriteFile(f + "/disc.qvf", image.data(), image.size());
    return f;
  }();
  const std::string descriptor = folder + "/disc.mds";
  fuzzing::WriteFile(descriptor, data, size);
  static SAO_TRACK_ARRAY list;
  std::int32_t mode = 0;
  char name[kHalvorinMaxPath];
  std::memset(name, 0x7F, sizeof name);
  const std::uint32_t status = HalvorinI_ParseMDS(fuzzing::Win(descriptor).c_str(), &list, &mode,
                                                  name, (fuzzing::Win(folder) + "\\").c_str());
  if (status == 0) {
    const std::int32_t n = list.m__LONG__NumberOfRawTracks;
    if (n < 1 || n > 100) __builtin_trap();
    if (mode != 1 && mode != 2) __builtin_trap();
    if (!std::memchr(name, 0, sizeof name) || std::strpbrk(name, "\\/:") || !name[0])
      __builtin_trap();
    for (std::int32_t i = 0; i < n; ++i)
      if (list.m__LONG__RawTrackSizeInLBs[i] < 0) __builtin_trap();
  }
  const std::string image = folder + "/input.qvf";
  fuzzing::WriteFile(image, data, size);
  std::int32_t imageMode = -1;
  if (HalvorinI_IsMDF(fuzzing::Win(image).c_str(), &imageMode) && (imageMode < 0 || imageMode > 3))
    __builtin_trap();
  const HalvorinI_ImageLayout layout = HalvorinI_ReadImageLayout(fuzzing::Win(image).c_str());
  if (layout.m__LONGLONG__Sectors != static_cast<std::int64_t>(size / kHalvorinImageSectorSize))
    __builtin_trap();
  std::int64_t previous = -1;
  for (const HalvorinI_ImageTrack& t : layout.m__VECTOR__Tracks) {
    if (t.m__LONG__Number < 1 || t.m__LONGLONG__Pause > t.m__LONGLONG__Index1 ||
        t.m__LONGLONG__Pause <= previous || t.m__LONGLONG__Index1 >= layout.m__LONGLONG__Sectors)
      __builtin_trap();
    previous = t.m__LONGLONG__Index1;
  }
  static TRACK_ARRAY disc;
  static HalvorinI_TrackForms forms;
  try {
    HalvorinI_ImageTrackArray(layout, "Fuzz", &disc, &forms);
    std::int64_t end = 0;
    for (std::int32_t i = 0; i < disc.m__LONG__NumberOfTracks; ++i) {
      const TRACK_ENTRY& e = disc.m__TRACK_ENTRY__Tracks[i];
      if (e.m__LONG__TrackStartInLBs != end || e.m__LONG__TrackSizeInLBs < 1 ||
          forms.m__Tracks[i].m__LONG__PauseInLBs < 0 ||
          (i > 0 && forms.m__Tracks[i].m__LONG__PauseInLBs >=
                        disc.m__TRACK_ENTRY__Tracks[i - 1].m__LONG__TrackSizeInLBs))
        __builtin_trap();
      end += e.m__LONG__TrackSizeInLBs;
    }
    if (end != layout.m__LONGLONG__Sectors) __builtin_trap();
  } catch (CHalvorin_Exception* e) {
    delete e;
  }
  if (status == 0) {
    HalvorinI_ApplyImagePauses(layout, &list, &forms);
    for (std::int32_t i = 0; i < list.m__LONG__NumberOfRawTracks; ++i)
      if (list.m__LONG__RawTrackSizeInLBs[i] < 0 ||
          (i > 0 && list.m__SAO_TRACK_ENTRY__Tracks[i].m__LONG__PreGapInLBs < -150))
        __builtin_trap();
    // The data file beside the descriptor has no Q: the descriptor's tracks, when they fit it.
    HalvorinI_ImageLayout described =
        HalvorinI_ReadImageLayout(fuzzing::Win(folder + "/disc.qvf").c_str());
    HalvorinI_ImageLayoutWithoutQ(fuzzing::Win(folder + "/disc.qvf").c_str(), &described);
    previous = -1;
    for (std::size_t i = 0; i < described.m__VECTOR__Tracks.size(); ++i) {
      const HalvorinI_ImageTrack& t = described.m__VECTOR__Tracks[i];
      if (t.m__LONG__Number != static_cast<std::int32_t>(i) + 1 ||
          t.m__LONGLONG__Index1 <= previous ||
          t.m__LONGLONG__Index1 >= described.m__LONGLONG__Sectors)
        __builtin_trap();
      previous = t.m__LONGLONG__Index1;
    }
  }
  return 0;
}
