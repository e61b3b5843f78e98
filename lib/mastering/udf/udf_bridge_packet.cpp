#include "lib/mastering/udf/udf_bridge_packet.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "lib/core/halvorin_exception.h"
#include "lib/mastering/iso9660/iso9660_records.h"

namespace {

using Item = HALVORIN_UDF_TREE_ITEM;
constexpr std::uint32_t kSector = 2048;
constexpr std::uint32_t kPartitionStart = 262;
constexpr std::uint32_t kMPathTable = 257, kLPathTable = 258, kRoot = 259, kAudioTs = 261;
constexpr std::uint64_t kMaxFileSize = 0x7FFFF800ull;
constexpr std::size_t kMaxIdentifier = 222;  // a record holds 255 bytes

struct FileRecord {
  std::string identifier;
  std::uint32_t extent;
  std::uint32_t size;
  const std::uint8_t* date;
};

std::vector<FileRecord> VideoTsRecords(const Item* p__PVideoTs) {
  std::vector<FileRecord> records;
  for (const Item* k = p__PVideoTs->m__PFirstKid; k; k = k->m__PNext) {
    if (k->m__BOOLEAN__IsDirectory) continue;
    const std::uint64_t size = k->m__ULONGLONG__Size;
    if (size > kMaxFileSize)
      HalvorinI_ThrowException(HALVORIN_STATUS_FILE_TOO_LARGE, 0,
                               "Halvorin:UDF_FormatISO9660FileSystemPacket(): EXITing with "
                               "failure, file size %lld is larger then limit %lld, status %ld "
                               "( 0x%X )",
                               static_cast<long long>(size), static_cast<long long>(kMaxFileSize),
                               static_cast<long>(HALVORIN_STATUS_FILE_TOO_LARGE),
                               static_cast<unsigned>(HALVORIN_STATUS_FILE_TOO_LARGE));
    std::string identifier(k->m__CHAR__Name, strnlen(k->m__CHAR__Name, sizeof k->m__CHAR__Name));
    identifier += ";1";
    if (identifier.size() > kMaxIdentifier)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "Halvorin:UDF_FormatISO9660FileSystemPacket(): the name '%s' is "
                               "too long for the VIDEO_TS directory!!!",
                               identifier.c_str());
    records.push_back({identifier, size ? k->m__ULONG__ContentLocation + kPartitionStart : 0,
                       static_cast<std::uint32_t>(size), k->m__UCHAR__Date});
  }
  // Readers show a file by its identifier without the version and without a full stop that
  // ends it, and keep one of two that show alike: the other file would be lost.
  std::unordered_map<std::string, const FileRecord*> shown;
  shown.reserve(records.size());
  for (const FileRecord& r : records) {
    std::string name = r.identifier.substr(0, r.identifier.size() - 2);
    if (!name.empty() && name.back() == '.') name.pop_back();
    const auto [same, isNew] = shown.emplace(name, &r);
    if (!isNew)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "Halvorin:UDF_FormatISO9660FileSystemPacket(): EXITing with "
                               "failure, the VIDEO_TS records '%s' and '%s' read as one name, "
                               "status %ld ( 0x%X )",
                               same->second->identifier.c_str(), r.identifier.c_str(),
                               static_cast<long>(kHalvorinStatusInvalidArgument),
                               static_cast<unsigned>(kHalvorinStatusInvalidArgument));
  }
  // ECMA-119 order, whatever the kid order.
  std::stable_sort(records.begin(), records.end(), [](const FileRecord& a, const FileRecord& b) {
    return HalvorinI_CompareIdentifiers(a.identifier, b.identifier) < 0;
  });
  return records;
}

void Record(std::uint8_t* p, std::uint32_t extent, std::uint32_t size, const std::uint8_t* date,
            std::uint8_t flags, const std::string& identifier) {
  const std::uint32_t length = HalvorinI_DirectoryRecordSize(identifier.size());
  p[0] = static_cast<std::uint8_t>(length);
  HalvorinI_PutBoth32(p + 2, extent);
  HalvorinI_PutBoth32(p + 10, size);
  std::memcpy(p + 18, date, 7);
  p[25] = flags;
  HalvorinI_PutBoth16(p + 28, 1);
  p[32] = static_cast<std::uint8_t>(identifier.size());
  std::memcpy(p + 33, identifier.data(), identifier.size());
}

// A directory's own and parent entries.
std::uint32_t Dots(std::uint8_t* p, std::uint32_t self, std::uint32_t selfSize,
                   const std::uint8_t* selfDate, std::uint32_t parent, std::uint32_t parentSize,
                   const std::uint8_t* parentDate) {
  Record(p, self, selfSize, selfDate, 2, std::string(1, '\0'));
  Record(p + 34, parent, parentSize, parentDate, 2, std::string(1, '\1'));
  return 68;
}

void PathRecord(std::uint8_t* p, bool bigEndian, std::uint32_t extent, const std::string& id) {
  p[0] = static_cast<std::uint8_t>(id.size());
  if (bigEndian) {
    HalvorinI_PutBE32(p + 2, extent);
    HalvorinI_PutBE16(p + 6, 1);
  } else {
    HalvorinI_PutLE32(p + 2, extent);
    HalvorinI_PutLE16(p + 6, 1);
  }
  std::memcpy(p + 8, id.data(), id.size());
}

void Spaces(std::uint8_t* p, std::size_t n, const std::string& text = "") {
  std::memset(p, ' ', n);
  std::memcpy(p, text.data(), std::min(n, text.size()));
}

// The label as the primary descriptor's volume identifier: its first 32 characters, ASCII
// upper-cased, each character outside printable ASCII as '_', so that every character takes
// one byte of the field.
std::string IsoLabel(const std::string& p__STRING__Utf8) {
  std::string out;
  for (const char ch : p__STRING__Utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c & 0xC0) == 0x80) continue;  // within a character already written
    if (out.size() == 32) break;
    out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '_');
  }
  return HalvorinI_UpperAscii(out);
}

void Date17(std::uint8_t* p, const char* digits) {
  std::memcpy(p, digits, 16);
  p[16] = 0;
}

}  // namespace

void HalvorinI_UdfCheckBridgeFolders(const Item* p__PRoot, const Item* p__PVideoTs,
                                     const Item* p__PAudioTs) {
  // Records of a folder elsewhere would point at content laid out for another place.
  for (const auto& [item, name] : {std::pair{p__PVideoTs, "VIDEO_TS"}, {p__PAudioTs, "AUDIO_TS"}})
    if (!item->m__BOOLEAN__IsDirectory || item->m__PParent != p__PRoot)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "Halvorin:UDF_FormatISO9660FileSystemPacket(): EXITing with "
                               "failure, the %s item is not a folder under the root item, status "
                               "%ld ( 0x%X )",
                               name, static_cast<long>(kHalvorinStatusInvalidArgument),
                               static_cast<unsigned>(kHalvorinStatusInvalidArgument));
}

std::uint32_t HalvorinI_UdfVideoTsSectors(const Item* p__PVideoTs) {
  std::uint64_t bytes = 68;
  for (const FileRecord& r : VideoTsRecords(p__PVideoTs)) {
    const std::uint32_t length = HalvorinI_DirectoryRecordSize(r.identifier.size());
    bytes = HalvorinI_RecordStart(bytes, length) + length;
  }
  return static_cast<std::uint32_t>((bytes + kSector - 1) / kSector);
}

void HalvorinI_UdfFormatBridgePacket(std::uint8_t* head, const std::string& p__STRING__Label,
                                     const Item* p__PRoot, const Item* p__PVideoTs,
                                     std::uint32_t p__ULONG__ImageSectors,
                                     std::uint32_t p__ULONG__VideoTsSector,
                                     std::uint8_t* p__PUCHAR__VideoTs,
                                     std::uint32_t p__ULONG__VideoTsSectors) {
  const std::string label = IsoLabel(p__STRING__Label);
  const std::uint32_t videoTsSize = p__ULONG__VideoTsSectors * kSector;
  const std::uint8_t* rootDate = p__PRoot->m__UCHAR__Date;
  const std::uint8_t* videoDate = p__PVideoTs->m__UCHAR__Date;

  std::uint8_t* d = head + 16 * kSector;
  d[0] = 1;
  std::memcpy(d + 1, "CD001", 5);
  d[6] = 1;
  Spaces(d + 8, 32);
  Spaces(d + 40, 32, label);
  HalvorinI_PutBoth32(d + 80, p__ULONG__ImageSectors);
  HalvorinI_PutBoth16(d + 120, 1);
  HalvorinI_PutBoth16(d + 124, 1);
  HalvorinI_PutBoth16(d + 128, kSector);
  HalvorinI_PutBoth32(d + 132, 42);
  HalvorinI_PutLE32(d + 140, kLPathTable);
  HalvorinI_PutBE32(d + 148, kMPathTable);
  Record(d + 156, kRoot, kSector, rootDate, 2, std::string(1, '\0'));
  std::mt19937 random(static_cast<std::uint32_t>(std::time(nullptr)) ^
                      static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(head)));
  Spaces(d + 190, 128, label + std::to_string(random() % 1000000000u));
  Spaces(d + 318, 128);
  Spaces(d + 446, 128);
  Spaces(d + 574, 128);
  Spaces(d + 702, 37);
  Spaces(d + 739, 37);
  Spaces(d + 776, 37);
  Date17(d + 813, "2004010101010101");
  Date17(d + 830, "2004010101010101");
  Date17(d + 847, "0000000000000000");
  Date17(d + 864, "2004010101010101");
  d[881] = 1;

  std::uint8_t* t = head + 17 * kSector;
  t[0] = 0xFF;
  std::memcpy(t + 1, "CD001", 5);
  t[6] = 1;

  for (bool bigEndian : {true, false}) {
    std::uint8_t* p = head + (bigEndian ? kMPathTable : kLPathTable) * kSector;
    PathRecord(p, bigEndian, kRoot, std::string(1, '\0'));
    PathRecord(p + 10, bigEndian, kAudioTs, "AUDIO_TS");
    PathRecord(p + 26, bigEndian, p__ULONG__VideoTsSector, "VIDEO_TS");
  }

  std::uint8_t* root = head + kRoot * kSector;
  std::uint32_t at = Dots(root, kRoot, kSector, rootDate, kRoot, kSector, rootDate);
  Record(root + at, kAudioTs, kSector, videoDate, 2, "AUDIO_TS");
  at += HalvorinI_DirectoryRecordSize(8);
  Record(root + at, p__ULONG__VideoTsSector, videoTsSize, videoDate, 2, "VIDEO_TS");

  Dots(head + kAudioTs * kSector, kAudioTs, kSector, videoDate, kRoot, kSector, rootDate);

  std::uint64_t bytes = Dots(p__PUCHAR__VideoTs, p__ULONG__VideoTsSector, videoTsSize, videoDate,
                             kRoot, kSector, rootDate);
  for (const FileRecord& r : VideoTsRecords(p__PVideoTs)) {
    const std::uint32_t length = HalvorinI_DirectoryRecordSize(r.identifier.size());
    bytes = HalvorinI_RecordStart(bytes, length);
    Record(p__PUCHAR__VideoTs + bytes, r.extent, r.size, r.date, 0, r.identifier);
    bytes += length;
  }
}
