// The table of contents a host-written lead-in carries in its Q frames (disc-at-once): the
// A0, A1 and A2 points and one point per track, each repeated through the lead-in. The
// virtual recorder collects the points as the lead-in is written and reads the disc's tracks
// from them once the lead-in is over.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/aspi/recorder/coding/vr_subchannel.h"

namespace platform::aspi::vr {

struct TocPoint {
  std::uint8_t point = 0;                          // 01h-99h (BCD track numbers), A0h, A1h, A2h
  std::uint8_t control = 0;                        // the CONTROL nibble of its frames
  std::uint8_t minute = 0, second = 0, frame = 0;  // PMIN, PSEC, PFRAME, binary

  bool operator==(const TocPoint&) const = default;
};

enum class TocFrame : std::uint8_t { Ignored, Added, Repeated, Contradicts };

// Adds the point of one lead-in Q frame to the list (kept in point order). Frames whose CRC
// fails, that are not ADR 1, not of the lead-in (TNO 0) or not a point this recorder knows,
// or whose times are no BCD, are ignored; a point that comes again with other values
// contradicts the first.
TocFrame AddTocFrame(std::vector<TocPoint>& toc, const QFrame& frame);

// A point as it may stand in a list: known number, times in range.
bool ValidTocPoint(const TocPoint& p);

struct TocTrack {
  int number = 1;
  std::uint8_t control = 4;
  std::int64_t start = 0;
};

struct DecodedToc {
  std::uint8_t discType = 0;  // PSEC of A0: 00h CD-DA/CD-ROM, 10h CD-I, 20h CD-ROM XA
  std::vector<TocTrack> tracks;
  std::int64_t leadOut = 0;
};

// The disc the points describe: A0, A1 and A2 present, tracks 1 to the last of A1 with
// ascending starts from 0, the lead-out after the last and within `capacity`. Else nullopt
// and `why` says what is missing.
std::optional<DecodedToc> DecodeToc(const std::vector<TocPoint>& toc, std::int64_t capacity,
                                    std::string* why = nullptr);

}  // namespace platform::aspi::vr
