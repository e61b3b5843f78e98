// The image layout of CHalvorin_ISO9660FileTree: one pass over the in-memory tree gives every
// directory's record bytes, the path tables and every extent; then the system structures are
// formatted into one block of exactly that size and chained in front of the files.
#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>

#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/mastering/iso9660/iso9660_file_tree.h"
#include "lib/mastering/iso9660/iso9660_records.h"

namespace {

using Node = CHalvorin_ISO9660FileTreeNode;
constexpr std::uint32_t kSector = kHalvorinSectorSize;
constexpr std::uint32_t kFirstStructureSector = 21;  // after system area, descriptors, boot catalog
constexpr std::uint32_t kBootCatalogSector = 20;
constexpr std::uint32_t kMaxRecord = 255;  // a directory record's length byte

std::uint64_t Sectors(std::uint64_t bytes) {
  return (bytes + kSector - 1) / kSector;
}

// The identifier bytes of a node in one of the two hierarchies, into a buffer kept across
// records (no allocation a record once it has grown).
const std::string& NameBytes(const Node* p__PNode, bool p__BOOLEAN__IsJoliet,
                             std::string& p__STRING__Buffer) {
  if (!p__BOOLEAN__IsJoliet) return p__PNode->m__STRING__Identifier;
  const std::u16string& name = p__PNode->GetJolietName();
  p__STRING__Buffer.resize(name.size() * 2);
  for (std::size_t i = 0; i < name.size(); ++i) {
    p__STRING__Buffer[2 * i] = static_cast<char>(name[i] >> 8);
    p__STRING__Buffer[2 * i + 1] = static_cast<char>(name[i] & 0xFF);
  }
  return p__STRING__Buffer;
}

std::size_t NameSize(const Node* p__PNode, bool p__BOOLEAN__IsJoliet) {
  return p__BOOLEAN__IsJoliet ? p__PNode->GetJolietName().size() * 2
                              : p__PNode->m__STRING__Identifier.size();
}

// The kids in ECMA-119 order, each identifier split once (a large folder compares each many
// times); the stable sort keeps equal identifiers in their tree order.
template <class C>
void SortKids(std::vector<Node*>& p__VECTOR__Kids) {
  struct Keyed {
    CHalvorin_IdentifierKey<C> key;
    Node* node;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(p__VECTOR__Kids.size());
  for (Node* k : p__VECTOR__Kids) {
    if constexpr (std::is_same_v<C, char16_t>)
      keyed.push_back({HalvorinI_IdentifierKey(std::u16string_view(k->GetJolietName())), k});
    else
      keyed.push_back({HalvorinI_IdentifierKey(std::string_view(k->m__STRING__Identifier)), k});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    return HalvorinI_CompareIdentifierKeys(a.key, b.key) < 0;
  });
  for (std::size_t i = 0; i < keyed.size(); ++i) p__VECTOR__Kids[i] = keyed[i].node;
}

void WriteDirectoryRecord(std::uint8_t* p, std::uint32_t p__ULONG__Length,
                          std::uint32_t p__ULONG__Extent, std::uint32_t p__ULONG__DataLength,
                          const std::uint8_t* p__PUCHAR__Date, std::uint8_t p__UCHAR__Flags,
                          const void* p__PVOID__Identifier,
                          std::size_t p__ULONG__IdentifierLength) {
  p[0] = static_cast<std::uint8_t>(p__ULONG__Length);
  p[1] = 0;
  HalvorinI_PutBoth32(p + 2, p__ULONG__Extent);
  HalvorinI_PutBoth32(p + 10, p__ULONG__DataLength);
  std::memcpy(p + 18, p__PUCHAR__Date, 7);
  p[25] = p__UCHAR__Flags;
  p[26] = 0;
  p[27] = 0;
  HalvorinI_PutBoth16(p + 28, 1);
  p[32] = static_cast<std::uint8_t>(p__ULONG__IdentifierLength);
  std::memcpy(p + 33, p__PVOID__Identifier, p__ULONG__IdentifierLength);
}

// A text field: as given in the primary descriptor (left zero when it does not fit), UCS-2
// big-endian cut to the field in the Joliet one.
void PutText(std::uint8_t* p, std::size_t p__ULONG__Field, const char* p__PCHAR__Text,
             bool p__BOOLEAN__IsJoliet) {
  std::memset(p, 0, p__ULONG__Field);
  if (!p__PCHAR__Text || !*p__PCHAR__Text) return;
  if (!p__BOOLEAN__IsJoliet) {
    const std::size_t n = std::strlen(p__PCHAR__Text);
    if (n < p__ULONG__Field) std::memcpy(p, p__PCHAR__Text, n);
    return;
  }
  std::u16string text = HalvorinI_Utf8ToUtf16(p__PCHAR__Text);
  std::size_t units = std::min(text.size(), p__ULONG__Field / 2);
  if (units > 0 && units < text.size() && text[units - 1] >= 0xD800 && text[units - 1] <= 0xDBFF)
    --units;
  const std::string bytes = HalvorinI_Ucs2BigEndian(text.substr(0, units));
  std::memcpy(p, bytes.data(), bytes.size());
}

void PutDate17(std::uint8_t* p, const char* p__PCHAR__Date) {
  std::memset(p, 0, 17);
  if (p__PCHAR__Date && *p__PCHAR__Date && std::strlen(p__PCHAR__Date) <= 16) {
    std::memcpy(p, p__PCHAR__Date, std::strlen(p__PCHAR__Date));
    return;
  }
  std::memset(p, '0', 16);  // "not specified"
}

struct Strings {
  const char* label;
  const char* publisher;
  const char* application;
  const char* system;
  const char* copyright;
  const char* bibliographic;
  const char* dates[4];
};

}  // namespace

struct CHalvorin_ISO9660FileTree::Layout {
  struct Directory {
    Node* node;
    std::vector<Node*> kids;
    std::uint16_t number;
    std::uint16_t parent;
    std::uint32_t sectors;
  };
  struct Hierarchy {
    std::vector<Directory> directories;
    std::uint64_t pathTableBytes = 0;
    std::uint64_t directorySectors = 0;
    std::uint64_t PathTableSectors() const { return Sectors(pathTableBytes); }
  };
  Hierarchy iso;
  Hierarchy joliet;
  bool isJoliet = false;
};

namespace {

void PlanHierarchy(Node* p__PNode__Root, bool p__BOOLEAN__IsJoliet,
                   CHalvorin_ISO9660FileTree::Layout::Hierarchy& h) {
  h.directories.push_back({p__PNode__Root, {}, 1, 1, 1});
  for (std::size_t i = 0; i < h.directories.size(); ++i) {
    std::vector<Node*> kids;
    for (CHalvorin_FileTreeNode* k = h.directories[i].node->m__PCHalvorin_FileTreeNode__FirstKid; k;
         k = k->m__PCHalvorin_FileTreeNode__Next)
      kids.push_back(static_cast<Node*>(k));
    if (p__BOOLEAN__IsJoliet)
      SortKids<char16_t>(kids);
    else
      SortKids<char>(kids);
    std::uint64_t bytes = 68;
    for (const Node* k : kids) {
      const std::uint32_t r = HalvorinI_DirectoryRecordSize(NameSize(k, p__BOOLEAN__IsJoliet));
      const std::uint64_t pieces =
          k->IsDirectory() ? 1 : HalvorinI_ExtentPieces(k->m__ULONGLONG__SizeInUCHARs);
      for (std::uint64_t p = 0; p < pieces; ++p) bytes = HalvorinI_RecordStart(bytes, r) + r;
    }
    const std::uint16_t number = h.directories[i].number;
    h.directories[i].sectors = static_cast<std::uint32_t>(Sectors(bytes));
    h.directorySectors += h.directories[i].sectors;
    h.pathTableBytes += HalvorinI_PathTableRecordSize(
        i == 0 ? 1 : NameSize(h.directories[i].node, p__BOOLEAN__IsJoliet));
    for (Node* k : kids)
      if (k->IsDirectory()) {
        if (h.directories.size() >= 0xFFFF)
          HalvorinI_ThrowException(
              kHalvorinStatusGeneralFailure, 0,
              "CHalvorin_ISO9660FileTree::BuildImage(): more than 65534 directories!!!");
        h.directories.push_back(
            {k, {}, static_cast<std::uint16_t>(h.directories.size() + 1), number, 1});
      }
    h.directories[i].kids = std::move(kids);
  }
}

}  // namespace

void CHalvorin_ISO9660FileTree::PlanLayout(Layout& p__Layout) {
  p__Layout.isJoliet = IsJoliet();
  if (!m__PCHalvorin_FileTreeNode__Root) return;
  PlanHierarchy(static_cast<Node*>(m__PCHalvorin_FileTreeNode__Root), false, p__Layout.iso);
  if (p__Layout.isJoliet)
    PlanHierarchy(static_cast<Node*>(m__PCHalvorin_FileTreeNode__Root), true, p__Layout.joliet);
}

std::uint64_t CHalvorin_ISO9660FileTree::GetPathTableSizeInUCHARs() {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  Layout layout;
  PlanLayout(layout);
  return layout.iso.pathTableBytes + layout.joliet.pathTableBytes;
}

std::uint64_t CHalvorin_ISO9660FileTree::GetPathTableSizeInLBs() {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  Layout layout;
  PlanLayout(layout);
  return layout.iso.PathTableSectors() + layout.joliet.PathTableSectors();
}

std::uint64_t CHalvorin_ISO9660FileTree::GetDirectoriesSizeInLBs() {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  Layout layout;
  PlanLayout(layout);
  return layout.iso.directorySectors + layout.joliet.directorySectors;
}

void CHalvorin_ISO9660FileTree::BuildImage(
    std::int32_t p__LONG__StartAddress, std::uint32_t, bool p__BOOLEAN__IsXA,
    const char* p__PCHAR__VolumeLabel, const char* p__PCHAR__Publisher,
    const char* p__PCHAR__Application, const char* p__PCHAR__SystemIdentifier,
    const char* p__PCHAR__CopyrightFile, const char* p__PCHAR__BibliographicFile,
    const char* p__PCHAR__CreationDate, const char* p__PCHAR__ModificationDate,
    const char* p__PCHAR__ExpirationDate, const char* p__PCHAR__EffectiveDate) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  HalvorinI_Traced("CHalvorin_ISO9660FileTree::BuildImage", [&] {
    if (!m__PCHalvorin_FileTreeNode__Root)
      HalvorinI_ThrowException(
          kHalvorinStatusInternalState, 0,
          "CHalvorin_ISO9660FileTree::BuildImage(): m__PCHalvorin_FileTreeNode__Root is NULL!!!");
    if (m__BOOLEAN__IsImageBuild)
      HalvorinI_ThrowException(
          kHalvorinStatusInternalState, 0,
          "CHalvorin_ISO9660FileTree::BuildImage(): m__BOOLEAN__IsImageBuild is TRUE already!!!");
    if (p__LONG__StartAddress < 0)
      HalvorinI_ThrowException(
          kHalvorinStatusInvalidArgument, 0,
          "CHalvorin_ISO9660FileTree::BuildImage(): start address %ld is negative!!!",
          static_cast<long>(p__LONG__StartAddress));
    const Strings strings{p__PCHAR__VolumeLabel,
                          p__PCHAR__Publisher,
                          p__PCHAR__Application,
                          p__PCHAR__SystemIdentifier,
                          p__PCHAR__CopyrightFile,
                          p__PCHAR__BibliographicFile,
                          {p__PCHAR__CreationDate, p__PCHAR__ModificationDate,
                           p__PCHAR__ExpirationDate, p__PCHAR__EffectiveDate}};

    Layout layout;
    PlanLayout(layout);
    const bool joliet = layout.isJoliet;
    const std::uint64_t S = static_cast<std::uint64_t>(p__LONG__StartAddress);
    const std::uint64_t J1 = joliet ? 1 : 0;
    const std::uint64_t P = layout.iso.PathTableSectors();
    const std::uint64_t JP = joliet ? layout.joliet.PathTableSectors() : 0;
    const std::uint64_t D = layout.iso.directorySectors;
    const std::uint64_t JD = joliet ? layout.joliet.directorySectors : 0;
    const std::uint64_t isoL = S + kFirstStructureSector + J1, isoM = isoL + P;
    const std::uint64_t jolietL = isoM + P, jolietM = jolietL + JP;
    const std::uint64_t systemSectors = kFirstStructureSector + J1 + 2 * P + 2 * JP + D + JD;

    // Extents: directories of both hierarchies in path table order, then the files.
    std::uint64_t next = S + kFirstStructureSector + J1 + 2 * P + 2 * JP;
    for (auto& d : layout.iso.directories) {
      d.node->m__ULONG__Extent = static_cast<std::uint32_t>(next);
      d.node->m__ULONG__DirectorySectors = d.sectors;
      d.node->m__USHORT__DirectoryNumber = d.number;
      next += d.sectors;
    }
    for (auto& d : layout.joliet.directories) {
      d.node->m__ULONG__JolietExtent = static_cast<std::uint32_t>(next);
      d.node->m__ULONG__JolietDirectorySectors = d.sectors;
      d.node->m__USHORT__JolietDirectoryNumber = d.number;
      next += d.sectors;
    }
    std::vector<CHalvorin_File*> files;
    for (auto& d : layout.iso.directories)
      for (Node* k : d.kids)
        if (!k->IsDirectory() && k->m__PCHalvorin_File) {
          k->m__ULONG__Extent = static_cast<std::uint32_t>(next);
          next += k->m__ULONGLONG__FileSectors;
          files.push_back(k->m__PCHalvorin_File.get());
        }
    if (next > 0xFFFFFFFFull)
      HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                               "CHalvorin_ISO9660FileTree::BuildImage(): the image ends at sector "
                               "%llu, beyond 32 bits!!!",
                               static_cast<unsigned long long>(next));
    const std::uint32_t volumeSpace = static_cast<std::uint32_t>(next);

    std::vector<std::uint8_t> image;
    try {
      image.assign(systemSectors * kSector, 0);
    } catch (const std::bad_alloc&) {
      HalvorinI_ThrowException(
          kHalvorinStatusOutOfMemory, 0,
          "CHalvorin_ISO9660FileTree::BuildImage(): m__PUCHAR__SystemStructures is NULL!!!");
    }
    // Every write goes through this check: nothing is formatted outside the block.
    auto at = [&](std::uint64_t lba, std::uint64_t offset, std::uint64_t n) -> std::uint8_t* {
      const std::uint64_t pos = (lba - S) * kSector + offset;
      if (lba < S || pos + n > image.size())
        HalvorinI_ThrowException(kHalvorinStatusInternalState, 0,
                                 "CHalvorin_ISO9660FileTree::BuildImage(): a structure at sector "
                                 "%llu + %llu overruns the "
                                 "%llu-byte block!!!",
                                 static_cast<unsigned long long>(lba),
                                 static_cast<unsigned long long>(offset),
                                 static_cast<unsigned long long>(image.size()));
      return image.data() + pos;
    };

    auto writeHierarchy = [&](const Layout::Hierarchy& h, bool isJ, std::uint64_t lPath,
                              std::uint64_t mPath) {
      auto extentOf = [&](const Node* n) {
        return isJ ? n->m__ULONG__JolietExtent : n->m__ULONG__Extent;
      };
      auto sectorsOf = [&](const Node* n) {
        return isJ ? n->m__ULONG__JolietDirectorySectors : n->m__ULONG__DirectorySectors;
      };
      std::uint64_t pathOffset = 0;
      std::string idBuffer, kidIdBuffer;
      const std::string rootId(1, '\0');
      for (std::size_t i = 0; i < h.directories.size(); ++i) {
        const auto& d = h.directories[i];
        const std::string& id = i == 0 ? rootId : NameBytes(d.node, isJ, idBuffer);
        const std::uint32_t r = HalvorinI_PathTableRecordSize(id.size());
        std::uint8_t* l = at(lPath, pathOffset, r);
        std::uint8_t* m = at(mPath, pathOffset, r);
        l[0] = m[0] = static_cast<std::uint8_t>(id.size());
        HalvorinI_PutLE32(l + 2, extentOf(d.node));
        HalvorinI_PutBE32(m + 2, extentOf(d.node));
        HalvorinI_PutLE16(l + 6, d.parent);
        HalvorinI_PutBE16(m + 6, d.parent);
        std::memcpy(l + 8, id.data(), id.size());
        std::memcpy(m + 8, id.data(), id.size());
        pathOffset += r;

        const Node* parent =
            i == 0 ? d.node : static_cast<const Node*>(d.node->m__PCHalvorin_FileTreeNode__Parent);
        const std::uint32_t extent = extentOf(d.node);
        const std::uint64_t limit = std::uint64_t(sectorsOf(d.node)) * kSector;
        const std::uint8_t self = 0, up = 1;
        WriteDirectoryRecord(at(extent, 0, 34), 34, extent, sectorsOf(d.node) * kSector,
                             d.node->m__UCHAR__Date, 2, &self, 1);
        WriteDirectoryRecord(at(extent, 34, 34), 34, extentOf(parent), sectorsOf(parent) * kSector,
                             parent->m__UCHAR__Date, 2, &up, 1);
        std::uint64_t b = 68;
        for (const Node* k : d.kids) {
          const std::string& kidId = NameBytes(k, isJ, kidIdBuffer);
          const std::uint32_t rec = HalvorinI_DirectoryRecordSize(kidId.size());
          // The length is one byte: a longer record would read as a shorter one, and the
          // records after it in its sector as nothing.
          if (rec > kMaxRecord)
            HalvorinI_ThrowException(kHalvorinStatusInternalState, 0,
                                     "CHalvorin_ISO9660FileTree::BuildImage(): the record of '%s' "
                                     "takes %u bytes, more than %u!!!",
                                     k->m__STRING__AbsolutePath.c_str(), rec, kMaxRecord);
          std::uint8_t flags = (k->m__ULONG__Attributes & kHalvorinAttributeHidden) ? 1 : 0;
          if (k->IsDirectory()) {
            b = HalvorinI_RecordStart(b, rec);
            if (b + rec > limit) at(extent, limit, 1);  // reports the overrun
            WriteDirectoryRecord(at(extent, b, rec), rec, extentOf(k), sectorsOf(k) * kSector,
                                 k->m__UCHAR__Date, flags | 2, kidId.data(), kidId.size());
            b += rec;
            continue;
          }
          // Files of 4 GiB and more: one record per piece, all but the last flagged.
          const std::uint64_t size = k->m__ULONGLONG__SizeInUCHARs;
          const std::uint64_t pieces = HalvorinI_ExtentPieces(size);
          for (std::uint64_t p = 0; p < pieces; ++p) {
            b = HalvorinI_RecordStart(b, rec);
            if (b + rec > limit) at(extent, limit, 1);
            const std::uint64_t length =
                std::min(kHalvorinMaxExtentPiece, size - p * kHalvorinMaxExtentPiece);
            const std::uint32_t pieceExtent =
                k->m__ULONG__Extent +
                static_cast<std::uint32_t>(p * (kHalvorinMaxExtentPiece / kSector));
            WriteDirectoryRecord(at(extent, b, rec), rec, pieceExtent,
                                 static_cast<std::uint32_t>(length), k->m__UCHAR__Date,
                                 static_cast<std::uint8_t>(flags | (p + 1 < pieces ? 0x80 : 0)),
                                 kidId.data(), kidId.size());
            b += rec;
          }
        }
      }
    };
    writeHierarchy(layout.iso, false, isoL, isoM);
    if (joliet) writeHierarchy(layout.joliet, true, jolietL, jolietM);

    // Volume descriptors.
    const Node* root = static_cast<const Node*>(m__PCHalvorin_FileTreeNode__Root);
    auto formatDescriptor = [&](std::uint8_t* d, bool isJ) {
      d[0] = isJ ? 2 : 1;
      std::memcpy(d + 1, "CD001", 5);
      d[6] = 1;
      PutText(d + 8, 32, strings.system, isJ);
      if (isJ) {
        PutText(d + 40, 32, strings.label, true);
      } else {
        PutText(d + 40, 32, strings.label, false);
      }
      HalvorinI_PutBoth32(d + 80, volumeSpace);
      if (isJ) {
        d[88] = 0x25;
        d[89] = 0x2F;
        d[90] = 0x40;
      }
      HalvorinI_PutBoth16(d + 120, 1);
      HalvorinI_PutBoth16(d + 124, 1);
      HalvorinI_PutBoth16(d + 128, kSector);
      const auto& h = isJ ? layout.joliet : layout.iso;
      HalvorinI_PutBoth32(d + 132, static_cast<std::uint32_t>(h.pathTableBytes));
      HalvorinI_PutLE32(d + 140, static_cast<std::uint32_t>(isJ ? jolietL : isoL));
      HalvorinI_PutBE32(d + 148, static_cast<std::uint32_t>(isJ ? jolietM : isoM));
      const std::uint8_t self = 0;
      WriteDirectoryRecord(
          d + 156, 34, isJ ? root->m__ULONG__JolietExtent : root->m__ULONG__Extent,
          (isJ ? root->m__ULONG__JolietDirectorySectors : root->m__ULONG__DirectorySectors) *
              kSector,
          root->m__UCHAR__Date, 2, &self, 1);
      PutText(d + 190, 128, strings.label, isJ);
      PutText(d + 318, 128, strings.publisher, isJ);
      PutText(d + 446, 128, strings.publisher, isJ);
      PutText(d + 574, 128, strings.application, isJ);
      PutText(d + 702, 37, strings.copyright, isJ);
      PutText(d + 776, 37, strings.bibliographic, isJ);
      for (int i = 0; i < 4; ++i) PutDate17(d + 813 + 17 * i, strings.dates[i]);
      d[881] = 1;
      if (p__BOOLEAN__IsXA) std::memcpy(d + 1024, "CD-XA001", 8);
    };
    formatDescriptor(at(S + 16, 0, kSector), false);
    std::uint64_t descriptor = S + 17;
    const Node* boot = m__PCHalvorin_ISO9660FileTreeNode__BootImage;
    if (boot) {
      std::uint8_t* d = at(descriptor++, 0, kSector);
      d[0] = 0;
      std::memcpy(d + 1, "CD001", 5);
      d[6] = 1;
      std::memcpy(d + 7, "EL TORITO SPECIFICATION", 23);
      HalvorinI_PutLE32(d + 71, static_cast<std::uint32_t>(S + kBootCatalogSector));
      std::uint8_t* c = at(S + kBootCatalogSector, 0, 64);
      c[0] = 1;
      c[1] = 0;
      std::memcpy(c + 4, "Halvor", 6);
      c[30] = 0x55;
      c[31] = 0xAA;
      std::uint32_t sum = 0;
      for (int i = 0; i < 16; ++i)
        sum += std::uint32_t(c[2 * i]) | (std::uint32_t(c[2 * i + 1]) << 8);
      HalvorinI_PutLE16(c + 28, static_cast<std::uint16_t>(0x10000 - (sum & 0xFFFF)));
      c[32] = 0x88;
      c[33] = m__UCHAR__BootMediaType;
      HalvorinI_PutLE16(c + 34, 0x07C0);
      c[36] = m__UCHAR__SystemType;
      // Without emulation the BIOS loads the whole image, counted in 512-byte units.
      std::uint64_t count = 1;
      if (m__UCHAR__BootMediaType == 0)
        count =
            std::clamp<std::uint64_t>((boot->m__ULONGLONG__SizeInUCHARs + 511) / 512, 1, 0xFFFF);
      HalvorinI_PutLE16(c + 38, static_cast<std::uint16_t>(count));
      HalvorinI_PutLE32(c + 40, boot->m__ULONG__Extent);
    }
    if (joliet) formatDescriptor(at(descriptor++, 0, kSector), true);
    std::uint8_t* terminator = at(descriptor, 0, kSector);
    terminator[0] = 0xFF;
    std::memcpy(terminator + 1, "CD001", 5);
    terminator[6] = 1;

    // Commit: only a complete layout reaches the chain.
    auto memory = std::make_unique<CHalvorin_MemoryFile>(image.data(), image.size());
    m__PUCHAR__SystemStructures = std::move(image);
    m__PCHalvorin_MemoryFile__SystemStructures = std::move(memory);
    for (CHalvorin_File* f : files) AddChainTail(f);
    AddChainHead(m__PCHalvorin_MemoryFile__SystemStructures.get());
    m__ULONG__StartAddress = static_cast<std::uint32_t>(S);
    m__BOOLEAN__IsImageBuild = true;
    DebugTrace(
        "\nCHalvorin_ISO9660FileTree::BuildImage(): %llu system sectors, %zu files, volume space "
        "%u\n",
        static_cast<unsigned long long>(systemSectors), files.size(), volumeSpace);
  });
}
