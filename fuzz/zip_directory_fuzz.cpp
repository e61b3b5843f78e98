// A zip archive's central directory read directly from untrusted bytes, as the restore's
// workers read it, and every entry's local header: nothing may be read outside the bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "app/engine/archive/zip_directory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TZipByteSource read = [&](std::uint64_t offset, void* buffer, size_t n) {
    if (offset > size || size - offset < n) return false;
    if (n != 0) std::memcpy(buffer, data + offset, n);
    return true;
  };
  const auto entries = ReadZipDirectory(read, size, 1 << 24);
  if (!entries) return 0;
  for (const TZipDirectoryEntry& e : *entries) {
    const auto at = ZipDataOffset(read, size, e);
    if (at && (*at > size || size - *at < e.compressedSize)) __builtin_trap();
  }
  return 0;
}
