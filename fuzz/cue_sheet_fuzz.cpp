// A `.cue` sheet from untrusted bytes, pressed as the virtual recorder presses a CD-ROM from
// its configured image: refused with an error, or a disc whose state is sound and reads back
// as it was written.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/aspi/recorder/vr_pressing.h"
#include "platform/fs/fs.h"

namespace vr = platform::aspi::vr;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = [] {
    const std::string f = fuzzing::ScratchFolder();
    const std::vector<char> bin(600 * 2352, '\x5A');  // what the seeds' FILE lines name
    fuzzing::WriteFile(f + "/disc.bin", bin.data(), bin.size());
    return f;
  }();
  const std::string cue = folder + "/disc.cue";
  fuzzing::WriteFile(cue, data, size);
  try {
    const vr::Disc disc = vr::PressDisc(vr::Media::CdRom, fuzzing::Win(cue), 1);
    if (!disc.Check().empty()) __builtin_trap();
    if (vr::Disc::Parse(disc.Serialize()) != disc) __builtin_trap();
  } catch (const std::runtime_error&) {
  }
  return 0;
}
