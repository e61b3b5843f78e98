// Multisession import: the directory hierarchy of a data track already on the disc becomes
// imported nodes of a caller's tree. The disc is untrusted: every size, extent and record is
// checked against the bytes read and the track before it is used.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/mastering/iso9660/iso9660_file_tree.h"
#include "lib/mastering/tree/utf16_text.h"

struct CHalvorin_ImportWalk {
  std::int64_t m__LONGLONG__TrackStart = 0;
  // Inclusive; no further than the drive's capacity, whatever the table of contents claims.
  std::int64_t m__LONGLONG__TrackEnd = 0;
  std::uint32_t m__ULONG__Depth = 0;
  // The sectors of every directory read, first to end (exclusive). On a sound disc no two
  // directories share a sector: each is read once, and all of them together fit in the
  // track, which bounds the records, and so the nodes, of the whole import.
  std::map<std::uint32_t, std::uint64_t> m__MAP__Directories;
  std::vector<CHalvorin_FileTreeNode*> m__VECTOR__TopLevel;
};

namespace {

constexpr const char* kTrack = "CHalvorin_CdvdBurnerGrabber::ImportTrack()";
constexpr const char* kDirectory = "CHalvorin_CdvdBurnerGrabber::ImportDirectory()";
constexpr std::uint32_t kSector = 2048;
constexpr std::uint32_t kDescriptorSectors = 5;
// The largest transfer of one READ(10).
constexpr std::uint32_t kReadSectors = 30;
// Far beyond any real directory (100,000 long Joliet names take about 16 MB), and a bound
// for what a hostile record may make the import allocate.
constexpr std::uint64_t kMaxDirectorySectors = 32768;
constexpr std::uint32_t kMaxDepth = 128;

std::uint32_t LE32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool IsJolietDescriptor(const std::uint8_t* d) {
  return d[0] == 2 && d[88] == '%' && d[89] == '/' &&
         (d[90] == '@' || d[90] == 'C' || d[90] == 'E');
}

// One record of a directory, its name decoded; it owns its bytes, so the directory's sectors
// are freed before the walk goes down into its folders.
struct Entry {
  std::string name;
  std::uint32_t extent = 0;
  std::uint64_t size = 0;
  std::uint8_t flags = 0;
  std::uint8_t date[7] = {};
};

// False when the name cannot name a node (traced): a NUL or '/' in it, empty, or an odd
// Joliet identifier.
bool DecodeName(const std::uint8_t* p__PUCHAR__Identifier, std::uint32_t n,
                bool p__BOOLEAN__IsJoliet, const std::string& p__STRING__Directory,
                std::uint32_t p__ULONG__Offset, std::string& p__STRING__Name) {
  if (p__BOOLEAN__IsJoliet) {
    if (n % 2 != 0) {
      DebugTrace("\n%s: WARNING! Joliet name of odd length %u at byte %u of '%s' skipped\n",
                 kDirectory, n, p__ULONG__Offset, p__STRING__Directory.c_str());
      return false;
    }
    const std::u16string units = HalvorinI_Utf16FromBigEndian(p__PUCHAR__Identifier, n);
    for (char16_t c : units)
      if (c == 0 || c == u'/') {
        DebugTrace("\n%s: WARNING! Name with NUL or '/' at byte %u of '%s' skipped\n", kDirectory,
                   p__ULONG__Offset, p__STRING__Directory.c_str());
        return false;
      }
    p__STRING__Name = HalvorinI_Utf16ToUtf8(units);
  } else {
    p__STRING__Name.assign(reinterpret_cast<const char*>(p__PUCHAR__Identifier), n);
    if (p__STRING__Name.find('\0') != std::string::npos ||
        p__STRING__Name.find('/') != std::string::npos) {
      DebugTrace("\n%s: WARNING! Name with NUL or '/' at byte %u of '%s' skipped\n", kDirectory,
                 p__ULONG__Offset, p__STRING__Directory.c_str());
      return false;
    }
  }
  if (p__STRING__Name.size() > 2 && p__STRING__Name[p__STRING__Name.size() - 2] == ';')
    p__STRING__Name.resize(p__STRING__Name.size() - 2);
  if (p__STRING__Name.empty()) {
    DebugTrace("\n%s: WARNING! Empty name at byte %u of '%s' skipped\n", kDirectory,
               p__ULONG__Offset, p__STRING__Directory.c_str());
    return false;
  }
  return true;
}

// The entries of a directory's sectors: every record checked against its sector and the
// track, the pieces of a file in several extents joined into one entry.
std::vector<Entry> ParseDirectory(const std::vector<std::uint8_t>& p__VECTOR__Sectors,
                                  bool p__BOOLEAN__IsJoliet, const std::string& p__STRING__Path,
                                  std::uint32_t p__ULONG__Extent,
                                  std::int64_t p__LONGLONG__TrackEnd) {
  const char* path = p__STRING__Path.c_str();
  auto damaged = [&](std::uint64_t offset, const char* what) {
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s: Damaged record at byte %llu of the directory '%s' (LBA %u): "
                             "%s!!!",
                             kDirectory, static_cast<unsigned long long>(offset), path,
                             p__ULONG__Extent, what);
  };
  std::vector<Entry> entries;
  Entry pending;
  bool isPending = false;
  std::uint32_t index = 0;
  for (std::uint64_t pos = 0; pos < p__VECTOR__Sectors.size();) {
    const std::uint64_t sectorEnd = (pos / kSector + 1) * kSector;
    const std::uint8_t* r = p__VECTOR__Sectors.data() + pos;
    const std::uint32_t length = r[0];
    if (length == 0) {  // the rest of the sector is padding
      pos = sectorEnd;
      continue;
    }
    if (length < 34) damaged(pos, "shorter than 34 bytes");
    if (pos + length > sectorEnd) damaged(pos, "crosses its sector's end");
    const std::uint32_t n = r[32];
    if (33 + n > length) damaged(pos, "its name runs past its end");
    const std::uint64_t offset = pos;
    pos += length;
    if (index++ < 2) continue;  // the directory itself and its parent
    if (n == 1 && (r[33] == 0 || r[33] == 1)) continue;

    Entry e;
    if (!DecodeName(r + 33, n, p__BOOLEAN__IsJoliet, p__STRING__Path,
                    static_cast<std::uint32_t>(offset), e.name))
      continue;
    e.extent = LE32(r + 2);
    e.size = LE32(r + 10);
    std::memcpy(e.date, r + 18, sizeof e.date);
    e.flags = r[25];
    const bool isDirectory = (e.flags & 0x02) != 0;
    if (e.flags & 0x80) {
      if (isDirectory) damaged(offset, "a directory in several extents");
      if (!isPending) {
        pending = e;
        isPending = true;
        continue;
      }
    }
    if (isPending) {
      if (e.name != pending.name) damaged(offset, "a file's next extent is missing");
      if (pending.size % kSector != 0 ||
          e.extent != std::uint64_t(pending.extent) + pending.size / kSector)
        HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                 "%s: The extents of '%s/%s' are not contiguous!!!", kDirectory,
                                 path, e.name.c_str());
      pending.size += e.size;
      if (e.flags & 0x80) continue;
      pending.flags = e.flags;
      e = pending;
      isPending = false;
    }
    if (!isDirectory && e.size > 0) {
      const std::uint64_t end = e.extent + (e.size + kSector - 1) / kSector;
      if (end > static_cast<std::uint64_t>(p__LONGLONG__TrackEnd) + 1)
        HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                 "%s: The file '%s/%s' at LBA %u ends past the track!!!",
                                 kDirectory, path, e.name.c_str(), e.extent);
    }

    entries.push_back(std::move(e));
  }
  if (isPending)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s: The last extent of '%s/%s' is missing!!!", kDirectory, path,
                             pending.name.c_str());
  return entries;
}

}  // namespace

void CHalvorin_CdvdBurnerGrabber::ImportTrack(
    CHalvorin_ISO9660FileTree* p__PCHalvorin_ISO9660FileTree__Tree,
    std::uint8_t p__UCHAR__TrackNumber, bool p__BOOLEAN__IsJoliet) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  HalvorinI_Traced("CHalvorin_CdvdBurnerGrabber::ImportTrack", [&] {
    if (!p__PCHalvorin_ISO9660FileTree__Tree)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0, "%s: The tree is NULL!!!",
                               kTrack);
    auto toc = std::make_unique<TOC_INFORMATION>();
    GetTOCInformation(toc.get());
    const std::uint8_t number = p__UCHAR__TrackNumber;
    const TOC_TRACK_ENTRY* entry =
        number != 0 && number <= toc->m__UCHAR__NumberOfTracks && number <= 100
            ? &toc->m__TOC_TRACK_ENTRY__Tracks[number - 1]
            : nullptr;
    if (!entry || !toc->m__UCHAR__IsValid || !entry->m__UCHAR__IsValid ||
        !entry->m__BOOLEAN__IsDataTrack || entry->m__UCHAR__TrackNumber != number)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "\nCHalvorin_CdvdBurnerGrabber::ImportTrack(): Invalid track "
                               "number to import\n");

    CHalvorin_ImportWalk walk;
    walk.m__LONGLONG__TrackStart = entry->m__LONG__StartLBA;
    walk.m__LONGLONG__TrackEnd = entry->m__LONG__EndLBA;
    // The table of contents of a DVD may take its end from the disc's own volume descriptor:
    // the drive's capacity is the disc's real size.
    std::uint32_t last = 0, blockLength = 0;
    try {
      GetCapacity(&last, &blockLength);
      if (last < walk.m__LONGLONG__TrackEnd) {
        DebugTrace("\n%s: WARNING! The track ends at LBA %lld, the disc at %u\n", kTrack,
                   static_cast<long long>(walk.m__LONGLONG__TrackEnd), last);
        walk.m__LONGLONG__TrackEnd = last;
      }
    } catch (CHalvorin_Exception* e) {
      // A drive that does not tell leaves the table of contents' word.
      std::unique_ptr<CHalvorin_Exception> failed(e);
      DebugTrace("\n%s: WARNING! No capacity, status %d\n", kTrack,
                 failed ? failed->GetStatus() : 12);
    }
    const std::int64_t first = walk.m__LONGLONG__TrackStart + 16;
    const std::int64_t available = walk.m__LONGLONG__TrackEnd - first + 1;
    const std::uint32_t sectors =
        available <= 0
            ? 0
            : static_cast<std::uint32_t>(std::min<std::int64_t>(available, kDescriptorSectors));
    std::vector<std::uint8_t> descriptors(kDescriptorSectors * kSector);
    if (sectors)
      Read10(descriptors.data(), sectors * kSector, static_cast<std::uint32_t>(first),
             static_cast<std::uint16_t>(sectors));
    const std::uint8_t* descriptor = nullptr;
    for (std::uint32_t i = 0; i < sectors && !descriptor; ++i) {
      const std::uint8_t* d = descriptors.data() + i * kSector;
      if (std::memcmp(d + 1, "CD001", 5) != 0) continue;
      if (d[0] == 0xFF) break;  // the set ends here
      if (p__BOOLEAN__IsJoliet ? IsJolietDescriptor(d) : d[0] == 1) descriptor = d;
    }
    if (!descriptor)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "\nCHalvorin_CdvdBurnerGrabber::ImportTrack(): Volume Descriptor "
                               "was not found\n");

    char root[64];
    std::snprintf(root, sizeof root, "ImportingTrack(%d):", static_cast<int>(number));
    const std::uint32_t extent = LE32(descriptor + 158);
    const std::uint32_t size = LE32(descriptor + 166);
    const CHalvorin_ISO9660FileTree::ImportMark mark =
        p__PCHalvorin_ISO9660FileTree__Tree->MarkImport();
    try {
      ImportDirectory(p__PCHalvorin_ISO9660FileTree__Tree, p__BOOLEAN__IsJoliet, root, extent, size,
                      nullptr, walk);
    } catch (...) {
      // A failed import leaves nothing of itself in the tree, whatever failed (memory too).
      p__PCHalvorin_ISO9660FileTree__Tree->TakeBackImport(mark, walk.m__VECTOR__TopLevel);
      throw;
    }
  });
}

void CHalvorin_CdvdBurnerGrabber::ImportDirectory(
    CHalvorin_ISO9660FileTree* p__PCHalvorin_ISO9660FileTree__Tree, bool p__BOOLEAN__IsJoliet,
    const std::string& p__STRING__ParentPath, std::uint32_t p__ULONG__Extent,
    std::uint32_t p__ULONG__Size, CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
    CHalvorin_ImportWalk& p__Walk) {
  HalvorinI_Traced("CHalvorin_CdvdBurnerGrabber::ImportDirectory", [&] {
    const char* path = p__STRING__ParentPath.c_str();
    struct Level {
      std::uint32_t& depth;
      ~Level() { --depth; }
    } level{++p__Walk.m__ULONG__Depth};
    if (p__Walk.m__ULONG__Depth > kMaxDepth)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "%s: '%s' lies deeper than %u directory levels!!!", kDirectory, path,
                               kMaxDepth);
    const std::uint64_t sectors = (std::uint64_t(p__ULONG__Size) + kSector - 1) / kSector;
    if (sectors == 0 || sectors > kMaxDirectorySectors)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "%s: The directory '%s' of %u bytes is not a directory!!!",
                               kDirectory, path, p__ULONG__Size);
    if (p__ULONG__Extent < p__Walk.m__LONGLONG__TrackStart ||
        p__ULONG__Extent + static_cast<std::int64_t>(sectors) - 1 > p__Walk.m__LONGLONG__TrackEnd)
      HalvorinI_ThrowException(
          kHalvorinStatusInvalidArgument, 0,
          "%s: The directory '%s' at LBA %u (%llu sectors) lies outside the track %lld-%lld!!!",
          kDirectory, path, p__ULONG__Extent, static_cast<unsigned long long>(sectors),
          static_cast<long long>(p__Walk.m__LONGLONG__TrackStart),
          static_cast<long long>(p__Walk.m__LONGLONG__TrackEnd));
    // The first directory read at or after this one's start, and the last one before it.
    auto& read = p__Walk.m__MAP__Directories;
    const std::uint64_t end = p__ULONG__Extent + sectors;
    const auto next = read.lower_bound(p__ULONG__Extent);
    auto overlapped = read.end();
    if (next != read.end() && next->first < end)
      overlapped = next;
    else if (next != read.begin() && std::prev(next)->second > p__ULONG__Extent)
      overlapped = std::prev(next);
    if (overlapped != read.end())
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "%s: The directory '%s' at LBA %u (%llu sectors) shares sectors "
                               "with the one at LBA %u: directories overlap!!!",
                               kDirectory, path, p__ULONG__Extent,
                               static_cast<unsigned long long>(sectors), overlapped->first);
    read.emplace_hint(next, p__ULONG__Extent, end);
    std::vector<Entry> entries;
    {  // the sectors are freed before the walk goes down
      std::vector<std::uint8_t> buffer;
      try {
        buffer.resize(sectors * kSector);
      } catch (const std::bad_alloc&) {
        HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0,
                                 "CHalvorin_CdvdBurnerGrabber::ImportDirectory(): Not enought "
                                 "memory for directory");
      }
      for (std::uint64_t done = 0; done < sectors;) {
        const auto n =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(kReadSectors, sectors - done));
        Read10(buffer.data() + done * kSector, n * kSector,
               static_cast<std::uint32_t>(p__ULONG__Extent + done), static_cast<std::uint16_t>(n));
        done += n;
      }
      entries = ParseDirectory(buffer, p__BOOLEAN__IsJoliet, p__STRING__ParentPath,
                               p__ULONG__Extent, p__Walk.m__LONGLONG__TrackEnd);
    }

    // The top-level nodes are what a failed import takes back: room for all of them first.
    if (!p__PCHalvorin_FileTreeNode__Parent)
      p__Walk.m__VECTOR__TopLevel.reserve(p__Walk.m__VECTOR__TopLevel.size() + entries.size());
    for (const Entry& e : entries) {
      const bool isDirectory = (e.flags & 0x02) != 0;
      const std::string kidPath = p__STRING__ParentPath + "/" + e.name;
      std::uint32_t attributes = isDirectory ? kHalvorinAttributeDirectory : 0;
      if (e.flags & 0x01) attributes |= kHalvorinAttributeHidden;
      CHalvorin_FileTreeNode* node = p__PCHalvorin_ISO9660FileTree__Tree->ImportFileTreeNode(
          kidPath.c_str(), e.name.c_str(), attributes, e.size, e.date, e.extent,
          p__PCHalvorin_FileTreeNode__Parent);
      if (!node) continue;
      if (!p__PCHalvorin_FileTreeNode__Parent) p__Walk.m__VECTOR__TopLevel.push_back(node);
      if (!isDirectory) continue;
      if (p__Walk.m__MAP__Directories.count(e.extent)) {
        DebugTrace("\n%s: WARNING! '%s' at LBA %u is a directory met before: not entered\n",
                   kDirectory, kidPath.c_str(), e.extent);
        continue;
      }
      ImportDirectory(p__PCHalvorin_ISO9660FileTree__Tree, p__BOOLEAN__IsJoliet, kidPath, e.extent,
                      static_cast<std::uint32_t>(e.size), node, p__Walk);
    }
  });
}
