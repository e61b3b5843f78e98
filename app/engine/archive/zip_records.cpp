#include "app/engine/archive/zip_records.h"

#include <ctime>
#include <limits>

namespace {

constexpr std::uint32_t kMax32 = 0xFFFFFFFF;
constexpr std::uint16_t kMax16 = 0xFFFF;
constexpr std::uint16_t kVersion20 = 20;  // deflate, traditional encryption
constexpr std::uint16_t kVersion45 = 45;  // ZIP64
constexpr std::uint16_t kMadeByUnix = 3 << 8;
constexpr std::uint32_t kRegularFileAttributes = 0100644u << 16;
constexpr std::uint16_t kZip64Field = 0x0001;
constexpr std::uint16_t kTimestampField = 0x5455;
// Compressed data may outgrow its input a little; such sizes get 64-bit fields.
constexpr std::uint64_t kZip64Margin = 64ull << 20;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
  Put32(out, static_cast<std::uint32_t>(v));
  Put32(out, static_cast<std::uint32_t>(v >> 32));
}
std::uint32_t Clamp32(std::uint64_t v) {
  return v >= kMax32 ? kMax32 : static_cast<std::uint32_t>(v);
}

bool NameIsAscii(const std::string& name) {
  for (const char c : name)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool HasTimestamp(const TZipRecord& r) {
  return r.mtime >= std::numeric_limits<std::int32_t>::min() &&
         r.mtime <= std::numeric_limits<std::int32_t>::max();
}

void AppendTimestamp(std::vector<std::uint8_t>& out, const TZipRecord& r) {
  if (!HasTimestamp(r)) return;
  Put16(out, kTimestampField);
  Put16(out, 5);
  out.push_back(1);  // modification time only
  Put32(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(r.mtime)));
}

std::uint16_t FlagsOf(const TZipRecord& r) {
  std::uint16_t flags = r.flags & ~kZipFlagUtf8;
  if (!NameIsAscii(*r.name)) flags |= kZipFlagUtf8;
  return flags;
}

}  // namespace

std::uint32_t DosTimeOf(std::int64_t unixTime) {
  const std::time_t t = static_cast<std::time_t>(unixTime);
  std::tm tm{};
  if (!localtime_r(&t, &tm) || tm.tm_year < 80) return (1 << 21) | (1 << 16);
  if (tm.tm_year > 207) return (127u << 25) | (12 << 21) | (31 << 16) | (23 << 11) | (59 << 5) | 29;
  return (static_cast<std::uint32_t>(tm.tm_year - 80) << 25) |
         (static_cast<std::uint32_t>(tm.tm_mon + 1) << 21) |
         (static_cast<std::uint32_t>(tm.tm_mday) << 16) |
         (static_cast<std::uint32_t>(tm.tm_hour) << 11) |
         (static_cast<std::uint32_t>(tm.tm_min) << 5) |
         (static_cast<std::uint32_t>(tm.tm_sec) >> 1);
}

bool NeedsZip64Sizes(std::uint64_t size) {
  return size >= kMax32 - kZip64Margin;
}

void AppendLocalHeader(std::vector<std::uint8_t>& out, const TZipRecord& r) {
  const bool sizesFollow = (r.flags & kZipFlagSizesFollow) != 0;
  std::vector<std::uint8_t> extra;
  if (r.zip64) {
    Put16(extra, kZip64Field);
    Put16(extra, 16);
    Put64(extra, sizesFollow ? 0 : r.size);
    Put64(extra, sizesFollow ? 0 : r.compressedSize);
  }
  AppendTimestamp(extra, r);
  Put32(out, 0x04034b50);
  Put16(out, r.zip64 ? kVersion45 : kVersion20);
  Put16(out, FlagsOf(r));
  Put16(out, r.method);
  Put32(out, r.dosTime);
  Put32(out, sizesFollow ? 0 : r.crc);
  Put32(out, r.zip64 ? kMax32 : sizesFollow ? 0 : static_cast<std::uint32_t>(r.compressedSize));
  Put32(out, r.zip64 ? kMax32 : sizesFollow ? 0 : static_cast<std::uint32_t>(r.size));
  Put16(out, static_cast<std::uint32_t>(r.name->size()));
  Put16(out, static_cast<std::uint32_t>(extra.size()));
  out.insert(out.end(), r.name->begin(), r.name->end());
  out.insert(out.end(), extra.begin(), extra.end());
}

void AppendDataDescriptor(std::vector<std::uint8_t>& out, const TZipRecord& r) {
  Put32(out, 0x08074b50);
  Put32(out, r.crc);
  if (r.zip64) {
    Put64(out, r.compressedSize);
    Put64(out, r.size);
  } else {
    Put32(out, static_cast<std::uint32_t>(r.compressedSize));
    Put32(out, static_cast<std::uint32_t>(r.size));
  }
}

void AppendCentralRecord(std::vector<std::uint8_t>& out, const TZipRecord& r) {
  std::vector<std::uint8_t> extra;
  const bool bigSize = r.size >= kMax32;
  const bool bigCompressed = r.compressedSize >= kMax32;
  const bool bigOffset = r.offset >= kMax32;
  if (bigSize || bigCompressed || bigOffset) {
    Put16(extra, kZip64Field);
    Put16(extra, 8 * (bigSize + bigCompressed + bigOffset));
    if (bigSize) Put64(extra, r.size);
    if (bigCompressed) Put64(extra, r.compressedSize);
    if (bigOffset) Put64(extra, r.offset);
  }
  AppendTimestamp(extra, r);
  const bool zip64 = r.zip64 || bigSize || bigCompressed || bigOffset;
  Put32(out, 0x02014b50);
  Put16(out, kMadeByUnix | (zip64 ? kVersion45 : kVersion20));
  Put16(out, zip64 ? kVersion45 : kVersion20);
  Put16(out, FlagsOf(r));
  Put16(out, r.method);
  Put32(out, r.dosTime);
  Put32(out, r.crc);
  Put32(out, Clamp32(r.compressedSize));
  Put32(out, Clamp32(r.size));
  Put16(out, static_cast<std::uint32_t>(r.name->size()));
  Put16(out, static_cast<std::uint32_t>(extra.size()));
  Put16(out, 0);  // comment
  Put16(out, 0);  // disk: volumes are byte slices of one file
  Put16(out, 0);  // internal attributes
  Put32(out, kRegularFileAttributes);
  Put32(out, Clamp32(r.offset));
  out.insert(out.end(), r.name->begin(), r.name->end());
  out.insert(out.end(), extra.begin(), extra.end());
}

void AppendEndRecords(std::vector<std::uint8_t>& out, std::uint64_t entries,
                      std::uint64_t directoryOffset, std::uint64_t directorySize) {
  const bool zip64 = entries >= kMax16 || directoryOffset >= kMax32 || directorySize >= kMax32;
  if (zip64) {
    const std::uint64_t recordOffset = directoryOffset + directorySize;
    Put32(out, 0x06064b50);
    Put64(out, 44);
    Put16(out, kMadeByUnix | kVersion45);
    Put16(out, kVersion45);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, entries);
    Put64(out, entries);
    Put64(out, directorySize);
    Put64(out, directoryOffset);
    Put32(out, 0x07064b50);  // locator
    Put32(out, 0);
    Put64(out, recordOffset);
    Put32(out, 1);
  }
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, entries >= kMax16 ? kMax16 : static_cast<std::uint32_t>(entries));
  Put16(out, entries >= kMax16 ? kMax16 : static_cast<std::uint32_t>(entries));
  Put32(out, Clamp32(directorySize));
  Put32(out, Clamp32(directoryOffset));
  Put16(out, 0);  // comment
}
