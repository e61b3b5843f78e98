// Pressed discs (CD-ROM, DVD-ROM) made from a fixture: an .iso (2048-byte blocks) or a
// .cue with its .bin (2352-byte raw sectors, MODE1/2352 or MODE2/2352 tracks).
#pragma once

#include <cstdint>
#include <string>

#include "platform/aspi/recorder/vr_disc.h"

namespace platform::aspi::vr {

// Throws std::runtime_error with the reason when the fixture cannot be pressed on the medium.
Disc PressDisc(Media media, const std::string& fixture, std::uint32_t serial);

}  // namespace platform::aspi::vr
