// A session-at-once cue sheet as SEND CUE SHEET hands it to a virtual recorder: checked as a
// strict drive checks it, and read for the block size and track of every address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace platform::aspi::vr {

struct CueTrack {
  int number = 1;
  std::uint8_t controlAdr = 0x41;
  std::uint8_t form = 0x10;  // 00h audio, 10h Mode 1, 20h Mode 2, 40h raw with P-W
  std::int64_t index0 = 0;   // LBA of the pre-gap (= index1: none)
  std::int64_t index1 = 0;   // LBA of the track's start

  bool Audio() const { return (controlAdr & 0x40) == 0; }
};

struct SessionCueSheet {
  std::uint8_t leadInForm = 0x14;  // 01h, 14h, 24h; 41h: the host writes the lead-in's R-W
  std::vector<CueTrack> tracks;
  std::int64_t leadOut = 0;
  std::uint8_t leadOutForm = 0x14;

  // Length a multiple of 8, the lead-in first, tracks 1..n each with INDEX 0 (track 1 at -150;
  // the others may have none: no pause) then INDEX 1, times ascending, the lead-out last, known
  // data forms; nullopt otherwise.
  static std::optional<SessionCueSheet> Parse(std::span<const std::uint8_t> bytes);

  // The first address the host writes (the lead-in start with a 41h lead-in, else -150).
  std::int64_t WriteStart(std::int64_t leadInStart) const {
    return leadInForm == 0x41 ? leadInStart : -150;
  }
  // Bytes the host sends for the block at the LBA; 0 where it sends none.
  std::size_t BlockSize(std::int64_t lba) const;
  // The track whose pre-gap or data holds the LBA, or null.
  const CueTrack* TrackAt(std::int64_t lba) const;
};

}  // namespace platform::aspi::vr
