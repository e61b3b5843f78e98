#include "app/engine/archive/zip_directory.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kEndRecordSize = 22;
constexpr size_t kMaxComment = 65535;
constexpr size_t kLocatorSize = 20;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
constexpr std::uint32_t kMax32 = 0xFFFFFFFF;

std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t Le64(const std::uint8_t* p) {
  return Le32(p) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

struct TDirectoryPlace {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint64_t entries = 0;
};

std::optional<TDirectoryPlace> FindDirectory(const TZipByteSource& read,
                                             std::uint64_t archiveSize) {
  if (archiveSize < kEndRecordSize) return std::nullopt;
  const size_t tailSize = static_cast<size_t>(
      std::min<std::uint64_t>(archiveSize, kEndRecordSize + kMaxComment + kLocatorSize));
  std::vector<std::uint8_t> tail(tailSize);
  const std::uint64_t tailStart = archiveSize - tailSize;
  if (!read(tailStart, tail.data(), tailSize)) return std::nullopt;
  for (size_t p = tailSize - kEndRecordSize + 1; p-- > 0;) {
    const std::uint8_t* r = tail.data() + p;
    if (std::memcmp(r, "PK\5\6", 4) != 0) continue;
    if (p + kEndRecordSize + Le16(r + 20) != tailSize) continue;
    if (Le16(r + 4) != 0 || Le16(r + 6) != 0) return std::nullopt;  // disks
    TDirectoryPlace place{Le32(r + 16), Le32(r + 12), Le16(r + 10)};
    const bool zip64 = place.offset == kMax32 || place.size == kMax32 || place.entries == 0xFFFF;
    if (!zip64) return place;
    if (p < kLocatorSize) return std::nullopt;
    const std::uint8_t* loc = r - kLocatorSize;
    if (std::memcmp(loc, "PK\6\7", 4) != 0) return std::nullopt;
    const std::uint64_t endOffset = Le64(loc + 8);
    if (endOffset > archiveSize || archiveSize - endOffset < kZip64EndSize) return std::nullopt;
    std::uint8_t end[kZip64EndSize];
    if (!read(endOffset, end, sizeof end) || std::memcmp(end, "PK\6\6", 4) != 0)
      return std::nullopt;
    if (Le32(end + 16) != 0 || Le32(end + 20) != 0) return std::nullopt;
    place.entries = Le64(end + 32);
    place.size = Le64(end + 40);
    place.offset = Le64(end + 48);
    return place;
  }
  return std::nullopt;
}

// The ZIP64 field replaces the 32-bit values that are all ones, in this order.
bool ApplyExtra(const std::uint8_t* extra, size_t n, TZipDirectoryEntry& e) {
  bool bigSize = e.size == kMax32, bigCompressed = e.compressedSize == kMax32,
       bigOffset = e.localOffset == kMax32;
  while (n >= 4) {
    const std::uint16_t id = Le16(extra);
    const size_t len = Le16(extra + 2);
    if (len > n - 4) return false;
    const std::uint8_t* d = extra + 4;
    if (id == 0x0001) {
      size_t at = 0;
      auto take = [&](std::uint64_t& v) {
        if (at + 8 > len) return false;
        v = Le64(d + at);
        at += 8;
        return true;
      };
      if (bigSize && !take(e.size)) return false;
      if (bigCompressed && !take(e.compressedSize)) return false;
      if (bigOffset && !take(e.localOffset)) return false;
      bigSize = bigCompressed = bigOffset = false;
    } else if (id == 0x5455 && len >= 5 && (d[0] & 1)) {
      e.mtime = static_cast<std::int32_t>(Le32(d + 1));
    }
    extra += 4 + len;
    n -= 4 + len;
  }
  return !bigSize && !bigCompressed && !bigOffset;
}

}  // namespace

std::optional<std::vector<TZipDirectoryEntry>> ReadZipDirectory(const TZipByteSource& read,
                                                                std::uint64_t archiveSize,
                                                                std::uint64_t maxDirectoryBytes) {
  const auto place = FindDirectory(read, archiveSize);
  if (!place || place->size > maxDirectoryBytes || place->offset > archiveSize ||
      archiveSize - place->offset < place->size || place->entries > place->size / kCentralSize)
    return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<size_t>(place->size));
  if (!bytes.empty() && !read(place->offset, bytes.data(), bytes.size())) return std::nullopt;
  std::vector<TZipDirectoryEntry> entries;
  entries.reserve(static_cast<size_t>(place->entries));
  size_t at = 0;
  for (std::uint64_t i = 0; i < place->entries; ++i) {
    if (bytes.size() - at < kCentralSize) return std::nullopt;
    const std::uint8_t* r = bytes.data() + at;
    if (std::memcmp(r, "PK\1\2", 4) != 0) return std::nullopt;
    const size_t nameLen = Le16(r + 28), extraLen = Le16(r + 30), commentLen = Le16(r + 32);
    if (bytes.size() - at - kCentralSize < nameLen + extraLen + commentLen) return std::nullopt;
    if (Le16(r + 34) != 0) return std::nullopt;  // another disk
    TZipDirectoryEntry e;
    e.madeBy = Le16(r + 4);
    e.flags = Le16(r + 8);
    e.method = Le16(r + 10);
    e.dosTime = Le32(r + 12);
    e.crc = Le32(r + 16);
    e.compressedSize = Le32(r + 20);
    e.size = Le32(r + 24);
    e.externalAttributes = Le32(r + 38);
    e.localOffset = Le32(r + 42);
    e.rawName.assign(reinterpret_cast<const char*>(r + kCentralSize), nameLen);
    if (!ApplyExtra(r + kCentralSize + nameLen, extraLen, e)) return std::nullopt;
    e.recordOffset = place->offset + at;
    e.recordSize = static_cast<std::uint32_t>(kCentralSize + nameLen + extraLen + commentLen);
    at += e.recordSize;
    entries.push_back(std::move(e));
  }
  return entries;
}

std::optional<std::uint64_t> ZipDataOffset(const TZipByteSource& read, std::uint64_t archiveSize,
                                           const TZipDirectoryEntry& entry) {
  if (entry.localOffset > archiveSize || archiveSize - entry.localOffset < kLocalSize)
    return std::nullopt;
  std::uint8_t h[kLocalSize];
  if (!read(entry.localOffset, h, sizeof h) || std::memcmp(h, "PK\3\4", 4) != 0)
    return std::nullopt;
  const std::uint64_t data = entry.localOffset + kLocalSize + Le16(h + 26) + Le16(h + 28);
  if (data > archiveSize || archiveSize - data < entry.compressedSize) return std::nullopt;
  return data;
}
