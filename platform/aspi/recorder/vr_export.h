// What a disc holds, as files outside tools read: an .iso of the user data addressed by LBA
// (sessions at their own addresses, gaps zero) and, for a CD, a .bin of raw sectors with its
// .cue. Each file is written under a temporary name and renamed when complete.
#pragma once

#include <string>

#include "platform/aspi/recorder/vr_disc.h"
#include "platform/aspi/recorder/vr_disc_reader.h"

namespace platform::aspi::vr {

void ExportIso(const Disc& disc, DiscReader& reader, const std::string& isoPath);
void ExportBinCue(const Disc& disc, DiscReader& reader, const std::string& binPath,
                  const std::string& cuePath);
// The cue sheet text for a .bin of the disc named `binName`, with the CD-Text file when named.
std::string CueSheet(const Disc& disc, const std::string& binName, const std::string& cdtName = {});

}  // namespace platform::aspi::vr
