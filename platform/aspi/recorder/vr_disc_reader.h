// Reads what a disc holds, from its sector file or, for a pressed disc, from its fixture.
#pragma once

#include <cstdint>

#include "platform/aspi/recorder/vr_disc.h"
#include "platform/aspi/recorder/store/vr_store.h"

namespace platform::aspi::vr {

class DiscReader {
 public:
  DiscReader(const Disc& disc, RecorderStore& store) : disc_(disc), store_(store) {}

  // 2048 bytes of user data; unwritten blocks read as zeros.
  void User(std::int64_t lba, std::uint8_t* out);
  // A CD's raw 2352-byte sector; an unwritten one is an empty sector of its track's form.
  void Raw(std::int64_t lba, std::uint8_t* out);
  // Whole user blocks at once (DVD sector files and .iso fixtures without a copy per block).
  void UserBlocks(std::int64_t lba, std::uint8_t* out, std::size_t count);

 private:
  platform::fs::File& Fixture();

  const Disc& disc_;
  RecorderStore& store_;
  platform::fs::File fixture_;
};

// The form of the track that holds (or precedes) the LBA.
SectorForm FormAt(const Disc& disc, std::int64_t lba);
// An empty sector of that form (silence for audio).
void EncodeEmpty(const Disc& disc, std::int64_t lba, std::uint8_t* out);

}  // namespace platform::aspi::vr
