// The MPEG stream check of the VideoCD exports on untrusted bytes: the first pack header of a
// buffer, and of a file holding the same bytes. Besides memory errors it traps on a kind it
// does not know, on a stream found in bytes that do not begin with a pack start code, and when
// the file's answer differs from the buffer's over the bytes the file check reads.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "lib/core/halvorin_exception.h"
#include "lib/mastering/videocd/mpeg_program_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int kind = HalvorinI_MPEGPackHeaderKind(data, size);
  if (kind != kHalvorinNoMPEGStream && kind != kHalvorinMPEG1Stream && kind != kHalvorinMPEG2Stream)
    __builtin_trap();
  if (kind != kHalvorinNoMPEGStream &&
      (size < 4 || data[0] != 0 || data[1] != 0 || data[2] != 1 || data[3] != 0xBA))
    __builtin_trap();
  static const std::string path = fuzzing::ScratchFolder() + "/stream.mpg";
  fuzzing::WriteFile(path, data, size);
  int fileKind = -1;
  try {
    fileKind = HalvorinI_MPEGFileKind(fuzzing::Win(path).c_str());
  } catch (CHalvorin_Exception* e) {
    delete e;
    __builtin_trap();
  }
  const std::size_t probe = size < kHalvorinMPEGProbeSize ? size : kHalvorinMPEGProbeSize;
  if (fileKind != HalvorinI_MPEGPackHeaderKind(data, probe)) __builtin_trap();
  return 0;
}
