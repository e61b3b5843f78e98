// The audio reader's Open and Read on any bytes: written to a file and read to its end through
// a reader handle (WAV, Ogg Vorbis, the media runtime, or raw samples when the first byte is
// odd), in reads whose size the second byte chooses.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lib/audio/tidewell.h"

namespace {

constexpr std::uint32_t kMaxDelivered = 8u << 20;  // decoded output read per input

// One file per process, rewritten for each input; its path in the Windows form.
const std::string& FilePath(bool raw) {
  static const std::string base = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/audio_reader_fuzz_XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd >= 0) close(fd);
    unlink(path.c_str());
    return path;
  }();
  static const std::string rawPath = "Z:" + base + ".raw";
  static const std::string otherPath = "Z:" + base + ".bin";
  return raw ? rawPath : otherPath;
}

std::string Posix(const std::string& win) {
  std::string p = win.substr(2);
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const bool raw = data[0] & 1;
  const std::uint32_t chunk = 1u + data[1] * 257u;
  const std::string& name = FilePath(raw);
  const std::string posix = Posix(name);
  std::FILE* f = std::fopen(posix.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data + 2, 1, size - 2, f);
  std::fclose(f);

  Tidewell_UncompressedFileSupportedIs(name.c_str());
  void* handle = nullptr;
  if (Tidewell_CompressedFileReaderObjectCreate(&handle, name.c_str()) == 0) {
    std::uint32_t pcm = 0;
    if (Tidewell_CompressedFileReaderObjectUncompressedSizeGet(handle, &pcm) == 0 &&
        Tidewell_CompressedFileReaderObjectBeginSeek(handle) == 0) {
      std::vector<std::uint8_t> buffer(chunk);
      const std::uint32_t limit = pcm < kMaxDelivered ? pcm : kMaxDelivered;
      for (std::uint32_t at = 0; at < limit; at += chunk) {
        const std::uint32_t n = limit - at < chunk ? limit - at : chunk;
        if (Tidewell_CompressedFileReaderObjectRead(handle, buffer.data(), n) != 0) break;
      }
    }
    if (Tidewell_CompressedFileReaderObjectDestroy(&handle) != 0 || handle) __builtin_trap();
  } else if (handle) {
    __builtin_trap();  // a failed create leaves no handle
  }
  std::remove(posix.c_str());
  return 0;
}
