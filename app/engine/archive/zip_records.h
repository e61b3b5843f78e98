// The records of a zip file as this program writes them: local headers, data descriptors, the
// central directory and its end (ZIP64 where a size, an offset or the count needs it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::uint16_t kZipMethodStore = 0;
inline constexpr std::uint16_t kZipMethodDeflate = 8;
inline constexpr std::uint16_t kZipFlagEncrypted = 1 << 0;
inline constexpr std::uint16_t kZipFlagSizesFollow = 1 << 3;  // data descriptor after the data
inline constexpr std::uint16_t kZipFlagUtf8 = 1 << 11;

// One entry as its records describe it.
struct TZipRecord {
  const std::string* name = nullptr;  // UTF-8, '\' between folders; outlives the record
  std::uint16_t flags = 0;
  std::uint16_t method = kZipMethodStore;
  std::uint32_t dosTime = 0;  // DOS date << 16 | DOS time, local time
  std::int64_t mtime = 0;     // Unix seconds, for the extended-timestamp field
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0;  // with the encryption header
  std::uint64_t size = 0;
  std::uint64_t offset = 0;  // of the local header
  bool zip64 = false;        // the local header carries a ZIP64 field (sizes may pass 4 GiB)
};

// DOS date and time of a Unix time in local time, clamped to 1980..2107.
std::uint32_t DosTimeOf(std::int64_t unixTime);
// True when an entry of this size may need 64-bit sizes: its local header then says so.
bool NeedsZip64Sizes(std::uint64_t size);

// The local header. Without kZipFlagSizesFollow it carries the CRC and sizes.
void AppendLocalHeader(std::vector<std::uint8_t>& out, const TZipRecord& r);
// The data descriptor after an entry written with kZipFlagSizesFollow.
void AppendDataDescriptor(std::vector<std::uint8_t>& out, const TZipRecord& r);
// The central directory record of an entry.
void AppendCentralRecord(std::vector<std::uint8_t>& out, const TZipRecord& r);
// The end of the central directory (with the ZIP64 end record and locator when needed).
void AppendEndRecords(std::vector<std::uint8_t>& out, std::uint64_t entries,
                      std::uint64_t directoryOffset, std::uint64_t directorySize);
