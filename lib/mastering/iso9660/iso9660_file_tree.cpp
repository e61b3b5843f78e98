#include "lib/mastering/iso9660/iso9660_file_tree.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <new>

#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/mastering/iso9660/iso9660_records.h"
#include "lib/mastering/tree/probe_folder.h"

namespace {

using Node = CHalvorin_ISO9660FileTreeNode;

constexpr std::uint32_t kSector = kHalvorinSectorSize;

Node* AsIso(CHalvorin_FileTreeNode* p) {
  return static_cast<Node*>(p);
}

std::uint64_t Sectors(std::uint64_t bytes) {
  return (bytes + kSector - 1) / kSector;
}

const std::u16string kNoName;

}  // namespace

std::string HalvorinI_AnsweredIdentifier(const std::string& p__STRING__Answer,
                                         bool p__BOOLEAN__IsLongIdentifiers) {
  std::string id = HalvorinI_UpperAscii(p__STRING__Answer);
  const std::size_t limit = p__BOOLEAN__IsLongIdentifiers ? 31 : 12;
  if (id.size() >= 2 && id.compare(id.size() - 2, 2, ";1") == 0) {
    std::string base = id.substr(0, id.size() - 2);
    return HalvorinI_Utf8Prefix(base, limit) + ";1";
  }
  return HalvorinI_Utf8Prefix(id, limit);
}

// Node.

CHalvorin_ISO9660FileTreeNode::CHalvorin_ISO9660FileTreeNode(
    const char* p__PCHAR__AbsolutePathAndFileName, const char* p__PCHAR__LongFileName,
    const char* p__PCHAR__ShortFileName, std::uint32_t p__ULONG__Attributes,
    std::uint64_t p__ULONGLONG__Size, CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
    std::uint32_t p__ULONG__NodeNumber, std::int64_t p__LONGLONG__UnixTime,
    bool p__BOOLEAN__IsImport, bool p__BOOLEAN__IsHoldFilesOpen, bool p__BOOLEAN__IsLongIdentifiers,
    bool p__BOOLEAN__IsMemory, const std::uint8_t* p__PUCHAR__MemoryBlock,
    const CHalvorin_ProbeFolder* p__PCHalvorin_ProbeFolder)
    : CHalvorin_FileTreeNode(p__PCHAR__AbsolutePathAndFileName, p__PCHAR__LongFileName,
                             p__PCHAR__ShortFileName, p__ULONG__Attributes, p__ULONGLONG__Size,
                             p__PCHalvorin_FileTreeNode__Parent, p__ULONG__NodeNumber,
                             p__LONGLONG__UnixTime, p__BOOLEAN__IsImport),
      m__BOOLEAN__IsMemory(p__BOOLEAN__IsMemory),
      m__BOOLEAN__IsLongIdentifiers(p__BOOLEAN__IsLongIdentifiers) {
  m__ULONGLONG__FileSectors = IsDirectory() ? 0 : Sectors(m__ULONGLONG__SizeInUCHARs);
  const SYSTEMTIME& t = m__SYSTEMTIME__Time;
  m__UCHAR__Date[0] = static_cast<std::uint8_t>(t.wYear >= 1900 ? t.wYear - 1900 : 0);
  m__UCHAR__Date[1] = static_cast<std::uint8_t>(t.wMonth);
  m__UCHAR__Date[2] = static_cast<std::uint8_t>(t.wDay);
  m__UCHAR__Date[3] = static_cast<std::uint8_t>(t.wHour);
  m__UCHAR__Date[4] = static_cast<std::uint8_t>(t.wMinute);
  m__UCHAR__Date[5] = static_cast<std::uint8_t>(t.wSecond);
  m__UCHAR__Date[6] = static_cast<std::uint8_t>(static_cast<std::int8_t>(m__LONG__GMTOffset));
  RebuildIdentifier();
  if (IsDirectory()) return;
  const std::uint64_t padded = m__ULONGLONG__FileSectors * kSector;
  if (p__BOOLEAN__IsMemory) {
    m__PCHalvorin_File = std::make_unique<CHalvorin_MemoryFile>(p__PUCHAR__MemoryBlock,
                                                                m__ULONGLONG__SizeInUCHARs, padded);
  } else if (!p__BOOLEAN__IsImport) {
    if (m__STRING__AbsolutePath.size() >= kHalvorinMaxPath)
      HalvorinI_ThrowException(kHalvorinStatusNameTooLong, 0,
                               "CHalvorin_ISO9660FileTreeNode::CHalvorin_ISO9660FileTreeNode(): "
                               "strlen( '%s' ) == %ld ( >= %ld )!!!",
                               m__STRING__AbsolutePath.c_str(),
                               static_cast<long>(m__STRING__AbsolutePath.size()),
                               static_cast<long>(kHalvorinMaxPath));
    if (p__BOOLEAN__IsHoldFilesOpen)
      m__PCHalvorin_File = std::make_unique<CHalvorin_DiskFile>(m__STRING__AbsolutePath.c_str(),
                                                                m__ULONGLONG__SizeInUCHARs, padded);
    else
      m__PCHalvorin_File = std::make_unique<CHalvorin_UnLockedDiskFile>(
          m__STRING__AbsolutePath.c_str(), m__ULONGLONG__SizeInUCHARs, padded,
          p__PCHalvorin_ProbeFolder);
  }
}

void CHalvorin_ISO9660FileTreeNode::RebuildIdentifier() {
  if (m__BOOLEAN__IsLongIdentifiers && !m__BOOLEAN__IsMemory)
    m__STRING__Identifier = HalvorinI_Utf8Prefix(m__STRING__LongFileName, 31);
  else if (IsDirectory() && !m__BOOLEAN__IsMemory)
    m__STRING__Identifier = m__STRING__ShortFileName;
  else
    m__STRING__Identifier = m__STRING__ShortFileName + ";1";
  m__STRING__Identifier = HalvorinI_UpperAscii(m__STRING__Identifier);
}

const std::u16string& CHalvorin_ISO9660FileTreeNode::GetJolietName() const {
  return kNoName;
}

// Tree.

CHalvorin_ISO9660FileTree::CHalvorin_ISO9660FileTree(
    HALVORIN_CALLBACK p__HALVORIN_CALLBACK__Callback, void* p__PVOID__Context,
    bool p__BOOLEAN__IsIgnore, bool p__BOOLEAN__IsHoldFilesOpen, bool p__BOOLEAN__IsLongIdentifiers)
    : CHalvorin_FileTree(p__HALVORIN_CALLBACK__Callback, p__PVOID__Context, p__BOOLEAN__IsIgnore),
      m__BOOLEAN__IsHoldFilesOpen(p__BOOLEAN__IsHoldFilesOpen),
      m__BOOLEAN__IsLongIdentifiers(p__BOOLEAN__IsLongIdentifiers) {}

CHalvorin_ISO9660FileTree::~CHalvorin_ISO9660FileTree() = default;

CHalvorin_FileTreeNode* CHalvorin_ISO9660FileTree::NewMemoryNode(
    const std::uint8_t* p__PUCHAR__Block, const char* p__PCHAR__LongFileName,
    const char* p__PCHAR__ShortFileName, std::uint64_t p__ULONGLONG__Size,
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent, std::uint32_t p__ULONG__NodeNumber,
    std::int64_t p__LONGLONG__UnixTime) {
  return new CHalvorin_ISO9660FileTreeNode(
      "", p__PCHAR__LongFileName, p__PCHAR__ShortFileName, kHalvorinAttributeNormal,
      p__ULONGLONG__Size, p__PCHalvorin_FileTreeNode__Parent, p__ULONG__NodeNumber,
      p__LONGLONG__UnixTime, false, false, m__BOOLEAN__IsLongIdentifiers, true, p__PUCHAR__Block);
}

CHalvorin_FileTreeNode* CHalvorin_ISO9660FileTree::NewFileTreeNodeItem(
    const char* p__PCHAR__AbsolutePathAndFileName, const char* p__PCHAR__LongFileName,
    const char* p__PCHAR__ShortFileName, std::uint32_t p__ULONG__Attributes,
    std::uint64_t p__ULONGLONG__Size, CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
    std::uint32_t p__ULONG__NodeNumber, std::int64_t p__LONGLONG__UnixTime,
    bool p__BOOLEAN__IsImport) {
  return new CHalvorin_ISO9660FileTreeNode(
      p__PCHAR__AbsolutePathAndFileName, p__PCHAR__LongFileName, p__PCHAR__ShortFileName,
      p__ULONG__Attributes, p__ULONGLONG__Size, p__PCHalvorin_FileTreeNode__Parent,
      p__ULONG__NodeNumber, p__LONGLONG__UnixTime, p__BOOLEAN__IsImport,
      m__BOOLEAN__IsHoldFilesOpen, m__BOOLEAN__IsLongIdentifiers, false, nullptr,
      m__PCHalvorin_ProbeFolder__Kids);
}

void CHalvorin_ISO9660FileTree::NodeRemoved(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node) {
  CHalvorin_FileTree::NodeRemoved(p__PCHalvorin_FileTreeNode__Node);
  if (p__PCHalvorin_FileTreeNode__Node == m__PCHalvorin_ISO9660FileTreeNode__BootImage)
    m__PCHalvorin_ISO9660FileTreeNode__BootImage = nullptr;
}

void CHalvorin_ISO9660FileTree::KidIndexed(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid) {
  Node* parent = AsIso(p__PCHalvorin_FileTreeNode__Parent);
  if (!parent->m__MAP__KidsByIdentifier)
    parent->m__MAP__KidsByIdentifier =
        std::make_unique<std::unordered_multimap<std::string, Node*>>();
  parent->m__MAP__KidsByIdentifier->emplace(
      AsIso(p__PCHalvorin_FileTreeNode__Kid)->m__STRING__Identifier,
      AsIso(p__PCHalvorin_FileTreeNode__Kid));
}

void CHalvorin_ISO9660FileTree::KidUnindexed(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid) {
  Node* parent = AsIso(p__PCHalvorin_FileTreeNode__Parent);
  if (!parent->m__MAP__KidsByIdentifier) return;
  auto range = parent->m__MAP__KidsByIdentifier->equal_range(
      AsIso(p__PCHalvorin_FileTreeNode__Kid)->m__STRING__Identifier);
  for (auto it = range.first; it != range.second; ++it)
    if (it->second == p__PCHalvorin_FileTreeNode__Kid) {
      parent->m__MAP__KidsByIdentifier->erase(it);
      return;
    }
}

std::uint32_t CHalvorin_ISO9660FileTree::AskCollision(
    std::uint8_t p__UCHAR__Kind, const void* p__PVOID__Identifier, std::size_t p__ULONG__Bytes,
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Old,
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__New,
    HALVORIN_NAME_COLLISION_RECORD* p__PRecord) {
  std::memset(p__PRecord, 0, sizeof *p__PRecord);
  p__PRecord->m__UCHAR__NameKind = p__UCHAR__Kind;
  std::memcpy(p__PRecord->m__UCHAR__Identifier, p__PVOID__Identifier,
              std::min(p__ULONG__Bytes, sizeof p__PRecord->m__UCHAR__Identifier - 2));
  p__PRecord->m__PCHAR__OldAbsolutePath =
      p__PCHalvorin_FileTreeNode__Old->m__STRING__AbsolutePath.c_str();
  p__PRecord->m__ULONG__OldAttributes = p__PCHalvorin_FileTreeNode__Old->m__ULONG__Attributes;
  p__PRecord->m__PCHAR__NewAbsolutePath =
      p__PCHalvorin_FileTreeNode__New->m__STRING__AbsolutePath.c_str();
  p__PRecord->m__ULONG__NewAttributes = p__PCHalvorin_FileTreeNode__New->m__ULONG__Attributes;
  // Without an answer the new node is dropped: nothing already in the tree is lost.
  p__PRecord->m__ULONG__Answer = HALVORIN_COLLISION_DROP_NEW;
  Callback(HALVORIN_CALLBACK_REASON_NAME_COLLISION, p__PRecord, nullptr);
  p__PRecord->m__UCHAR__Identifier[sizeof p__PRecord->m__UCHAR__Identifier - 1] = 0;
  p__PRecord->m__UCHAR__Identifier[sizeof p__PRecord->m__UCHAR__Identifier - 2] = 0;
  DebugTrace(
      "\nCHalvorin_ISO9660FileTree::CheckName(): collision of kind %u for '%s' and '%s', answer "
      "%u\n",
      p__UCHAR__Kind, p__PRecord->m__PCHAR__OldAbsolutePath, p__PRecord->m__PCHAR__NewAbsolutePath,
      p__PRecord->m__ULONG__Answer);
  return p__PRecord->m__ULONG__Answer;
}

bool CHalvorin_ISO9660FileTree::CheckName(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid) {
  if (!p__PCHalvorin_FileTreeNode__Parent || !p__PCHalvorin_FileTreeNode__Kid) {
    DebugTrace(
        "\nCHalvorin_ISO9660FileTree::CheckName() : Invalid arguments: %p, %p. EXITing with "
        "failure.\n",
        static_cast<void*>(p__PCHalvorin_FileTreeNode__Parent),
        static_cast<void*>(p__PCHalvorin_FileTreeNode__Kid));
    return false;
  }
  Node* parent = AsIso(p__PCHalvorin_FileTreeNode__Parent);
  Node* kid = AsIso(p__PCHalvorin_FileTreeNode__Kid);
  // A caller that keeps answering with colliding names is not asked forever.
  for (int rewrites = 0; rewrites < 256; ++rewrites) {
    if (!parent->m__MAP__KidsByIdentifier) return false;
    std::vector<Node*> same;
    auto range = parent->m__MAP__KidsByIdentifier->equal_range(kid->m__STRING__Identifier);
    for (auto it = range.first; it != range.second; ++it) same.push_back(it->second);
    bool renamed = false;
    for (Node* sibling : same) {
      HALVORIN_NAME_COLLISION_RECORD record;
      const std::uint32_t answer =
          AskCollision(HALVORIN_COLLISION_KIND_ISO9660, kid->m__STRING__Identifier.c_str(),
                       kid->m__STRING__Identifier.size() + 1, sibling, kid, &record);
      if (answer == HALVORIN_COLLISION_DROP_NEW) return true;
      if (answer == HALVORIN_COLLISION_DELETE_OLD) {
        RemoveLinkedNode(sibling);
        continue;
      }
      if (answer == HALVORIN_COLLISION_RENAME) {
        const std::string id =
            HalvorinI_AnsweredIdentifier(reinterpret_cast<const char*>(record.m__UCHAR__Identifier),
                                         m__BOOLEAN__IsLongIdentifiers);
        if (id.empty() || id == kid->m__STRING__Identifier) {
          DebugTrace(
              "\nCHalvorin_ISO9660FileTree::CheckName(): WARNING! The answered name '%s' changes "
              "nothing, both are kept\n",
              id.c_str());
          continue;
        }
        kid->m__STRING__Identifier = id;
        renamed = true;
        break;
      }
    }
    if (!renamed) return false;
  }
  DebugTrace(
      "\nCHalvorin_ISO9660FileTree::CheckName(): WARNING! Too many renames for '%s', both are "
      "kept\n",
      kid->m__STRING__Identifier.c_str());
  return false;
}

void CHalvorin_ISO9660FileTree::SetBootImage(const char* p__PCHAR__Path, const char* p__PCHAR__Name,
                                             std::uint32_t p__ULONG__Attributes,
                                             std::int64_t p__LONGLONG__UnixTime,
                                             std::uint64_t p__ULONGLONG__Size,
                                             std::uint8_t p__UCHAR__SystemType,
                                             std::uint8_t p__UCHAR__BootMediaType) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  HalvorinI_Traced("CHalvorin_ISO9660FileTree::SetBootImage", [&] {
    ThrowIfBuilt("CHalvorin_ISO9660FileTree::SetBootImage()");
    CreateRootNode();
    const std::string name = p__PCHAR__Name ? p__PCHAR__Name : "boot.img";
    const std::string shortName =
        name.size() < kHalvorinMaxShortName ? name : HalvorinI_Utf8Prefix(name, 12);
    CHalvorin_FileTreeNode* node =
        CountAndCreate(p__PCHAR__Path, name.c_str(), shortName.c_str(),
                       p__ULONG__Attributes & ~kHalvorinAttributeDirectory, p__ULONGLONG__Size,
                       m__PCHalvorin_FileTreeNode__Root, p__LONGLONG__UnixTime, false,
                       "CHalvorin_ISO9660FileTree::SetBootImage()");
    // A second boot image replaces the first.
    if (m__PCHalvorin_ISO9660FileTreeNode__BootImage)
      RemoveLinkedNode(m__PCHalvorin_ISO9660FileTreeNode__BootImage);
    m__UCHAR__SystemType = p__UCHAR__SystemType;
    m__UCHAR__BootMediaType = p__UCHAR__BootMediaType;
    NodeAdded(node);
    LinkKid(m__PCHalvorin_FileTreeNode__Root, node);
    KidLinked(m__PCHalvorin_FileTreeNode__Root, node);
    m__PCHalvorin_ISO9660FileTreeNode__BootImage = AsIso(node);
  });
}

bool CHalvorin_ISO9660FileTree::GetNodePower(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node, std::uint64_t* p__PULONGLONG__Power) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  if (!m__SET__Nodes.count(p__PCHalvorin_FileTreeNode__Node)) return false;
  *p__PULONGLONG__Power = p__PCHalvorin_FileTreeNode__Node->m__ULONGLONG__NodePowerInUCHARs;
  return true;
}

bool CHalvorin_ISO9660FileTree::GetNodeSystemTime(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node, SYSTEMTIME* p__PSYSTEMTIME__Time) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  if (!m__SET__Nodes.count(p__PCHalvorin_FileTreeNode__Node)) return false;
  *p__PSYSTEMTIME__Time = p__PCHalvorin_FileTreeNode__Node->m__SYSTEMTIME__Time;
  return true;
}

bool CHalvorin_ISO9660FileTree::GetNodeISO9660DateTime(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node, std::uint8_t* p__PUCHAR__Date) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  if (!m__SET__Nodes.count(p__PCHalvorin_FileTreeNode__Node)) return false;
  std::memcpy(p__PUCHAR__Date, AsIso(p__PCHalvorin_FileTreeNode__Node)->m__UCHAR__Date, 7);
  return true;
}

void CHalvorin_ISO9660FileTree::Read(std::uint64_t p__ULONGLONG__Count,
                                     std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  CHalvorin_FileChain::Read(p__ULONGLONG__Count, p__PUCHAR__Buffer);
}

std::uint64_t CHalvorin_ISO9660FileTree::GetSizeInUCHARs() {
  return CHalvorin_FileChain::GetSizeInUCHARs();
}

template <class F>
void CHalvorin_ISO9660FileTree::ForEachUnLockedFile(F p__Visit) {
  CHalvorin_CriticalSectionLock chain(&m__CRITICAL_SECTION__Chain);
  for (CHalvorin_File* f = m__PCHalvorin_File__Head; f; f = f->GetNext())
    if (auto* file = dynamic_cast<CHalvorin_UnLockedDiskFile*>(f))
      if (!p__Visit(file)) return;
}

void CHalvorin_ISO9660FileTree::SeekImage() {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  // The probes stand for this rewind alone, however it ends.
  struct Forget {
    CHalvorin_ISO9660FileTree* tree;
    ~Forget() {
      tree->ForEachUnLockedFile([](CHalvorin_UnLockedDiskFile* f) {
        f->ForgetRewindProbe();
        return true;
      });
    }
  } forget{this};
  ProbeFilesForRewind();
  SeekToBegin();
}

void CHalvorin_ISO9660FileTree::ProbeFilesForRewind() {
  // The chain holds a folder's files one after the other: one folder open at a time. The
  // first file that fails is left to the rewind, which reports it as before.
  std::string folderPath;
  std::unique_ptr<CHalvorin_ProbeFolder> folder;
  ForEachUnLockedFile([&](CHalvorin_UnLockedDiskFile* file) {
    const std::string& path = file->GetPath();
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string::npos) return true;
    if (!folder || path.compare(0, slash, folderPath) != 0) {
      folderPath.assign(path, 0, slash);
      folder = std::make_unique<CHalvorin_ProbeFolder>(folderPath);
    }
    return file->ProbeForRewind(*folder);
  });
}
