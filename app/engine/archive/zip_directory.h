// The central directory of a zip archive read from its bytes (which are untrusted): each
// entry's name, method, flags, sizes, CRC, times and where its local header lies.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct TZipDirectoryEntry {
  std::string rawName;
  std::uint16_t madeBy = 0;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t dosTime = 0;
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t size = 0;
  std::uint64_t localOffset = 0;
  std::uint32_t externalAttributes = 0;
  std::optional<std::int64_t> mtime;  // from the extended-timestamp field
  std::uint64_t recordOffset = 0;     // of its record in the central directory
  std::uint32_t recordSize = 0;       // the record's bytes, name, extra field and comment
};

// Reads `n` bytes at an offset of the archive; false when they are not all there.
using TZipByteSource = std::function<bool(std::uint64_t offset, void* buffer, size_t n)>;

// The entries in directory order; std::nullopt when the directory is missing, damaged, spans
// disks or is larger than `maxDirectoryBytes`.
std::optional<std::vector<TZipDirectoryEntry>> ReadZipDirectory(const TZipByteSource& read,
                                                                std::uint64_t archiveSize,
                                                                std::uint64_t maxDirectoryBytes);

// Where an entry's data starts, from its local header; std::nullopt when the header is not
// there or its data would run past `archiveSize`.
std::optional<std::uint64_t> ZipDataOffset(const TZipByteSource& read, std::uint64_t archiveSize,
                                           const TZipDirectoryEntry& entry);
