#include "lib/mastering/tree/file_tree.h"

#include <cstring>
#include <ctime>
#include <memory>

#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/mastering/tree/probe_folder.h"
#include "platform/fs/fs.h"

namespace {

void FillLocalTime(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
                   std::int64_t p__LONGLONG__UnixTime) {
  const std::time_t t = static_cast<std::time_t>(p__LONGLONG__UnixTime);
  std::tm local{};
  if (!localtime_r(&t, &local)) {
    DebugTrace(
        "\nCHalvorin_FileTreeNode::CHalvorin_FileTreeNode(): FileTimeToLocalFileTime() "
        "failed!!!\n");
    return;
  }
  SYSTEMTIME& st = p__PCHalvorin_FileTreeNode__Node->m__SYSTEMTIME__Time;
  st.wYear = static_cast<std::uint16_t>(local.tm_year + 1900);
  st.wMonth = static_cast<std::uint16_t>(local.tm_mon + 1);
  st.wDayOfWeek = static_cast<std::uint16_t>(local.tm_wday);
  st.wDay = static_cast<std::uint16_t>(local.tm_mday);
  st.wHour = static_cast<std::uint16_t>(local.tm_hour);
  st.wMinute = static_cast<std::uint16_t>(local.tm_min);
  st.wSecond = static_cast<std::uint16_t>(local.tm_sec);
  st.wMilliseconds = 0;
  p__PCHalvorin_FileTreeNode__Node->m__LONG__GMTOffset =
      static_cast<std::int32_t>(local.tm_gmtoff / 900);
}

std::uint32_t AttributesOf(const platform::fs::FileInfo& p__FileInfo__Info) {
  std::uint32_t attributes = 0;
  if (p__FileInfo__Info.type == platform::fs::EntryType::Directory)
    attributes |= kHalvorinAttributeDirectory;
  else
    attributes |= kHalvorinAttributeArchive;
  if (p__FileInfo__Info.hidden) attributes |= kHalvorinAttributeHidden;
  if (p__FileInfo__Info.readOnly) attributes |= kHalvorinAttributeReadOnly;
  return attributes;
}

// The time of the kind asked for: 0 creation (the birth time where the file system keeps
// one, else the last change time), 1 last access, any other value last write.
std::int64_t EntryTime(const std::string& p__STRING__Path,
                       const platform::fs::FileInfo& p__FileInfo__Info,
                       std::int32_t p__LONG__TimeKind) {
  switch (p__LONG__TimeKind) {
    case 0:
      return platform::fs::BirthTimeSec(p__STRING__Path).value_or(p__FileInfo__Info.ctimeSec);
    case 1:
      return p__FileInfo__Info.atimeSec;
    default:
      return p__FileInfo__Info.mtimeSec;
  }
}

std::string JoinPath(const std::string& p__STRING__Folder, const std::string& p__STRING__Name) {
  if (!p__STRING__Folder.empty() && p__STRING__Folder.back() == '\\')
    return p__STRING__Folder + p__STRING__Name;
  return p__STRING__Folder + "\\" + p__STRING__Name;
}

bool IsDrive(const char* p__PCHAR__Path) {
  const std::size_t n = std::strlen(p__PCHAR__Path);
  return (n == 2 || (n == 3 && p__PCHAR__Path[2] == '\\')) && p__PCHAR__Path[1] == ':';
}

// Entries that cannot be read as a file or folder (devices, sockets, pipes, broken links).
bool IsUnreadable(const platform::fs::FileInfo& p__FileInfo__Info) {
  return p__FileInfo__Info.isBrokenLink || p__FileInfo__Info.type == platform::fs::EntryType::Other;
}

std::int64_t Now() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace

std::string HalvorinI_Utf8Prefix(const std::string& p__STRING__Text, std::size_t p__ULONG__Bytes) {
  if (p__STRING__Text.size() <= p__ULONG__Bytes) return p__STRING__Text;
  std::size_t n = p__ULONG__Bytes;
  while (n > 0 && (static_cast<unsigned char>(p__STRING__Text[n]) & 0xC0) == 0x80) --n;
  return p__STRING__Text.substr(0, n);
}

CHalvorin_FileTreeNode::CHalvorin_FileTreeNode(
    const char* p__PCHAR__AbsolutePathAndFileName, const char* p__PCHAR__LongFileName,
    const char* p__PCHAR__ShortFileName, std::uint32_t p__ULONG__Attributes,
    std::uint64_t p__ULONGLONG__Size, CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
    std::uint32_t p__ULONG__NodeNumber, std::int64_t p__LONGLONG__UnixTime,
    bool p__BOOLEAN__IsImport) {
  const char* path = p__PCHAR__AbsolutePathAndFileName ? p__PCHAR__AbsolutePathAndFileName : "";
  const char* longName = p__PCHAR__LongFileName ? p__PCHAR__LongFileName : "";
  const char* shortName = p__PCHAR__ShortFileName ? p__PCHAR__ShortFileName : "";
  if (std::strlen(path) >= kHalvorinMaxPath)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "CHalvorin_FileTreeNode::CHalvorin_FileTreeNode(): strlen( "
                             "p__PCHAR__AbsolutePathAndFileName ) == %ld exceeds (>=) %ld!!!",
                             static_cast<long>(std::strlen(path)),
                             static_cast<long>(kHalvorinMaxPath));
  if (std::strlen(longName) >= kHalvorinMaxPath)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "CHalvorin_FileTreeNode::CHalvorin_FileTreeNode(): strlen( "
                             "p__PCHAR__LongFileName ) == %ld exceeds (>=) %ld!!!",
                             static_cast<long>(std::strlen(longName)),
                             static_cast<long>(kHalvorinMaxPath));
  if (std::strlen(shortName) >= kHalvorinMaxShortName)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "CHalvorin_FileTreeNode::CHalvorin_FileTreeNode(): strlen( "
                             "p__PCHAR__ShortFileName ) == %ld exceeds (>=) %ld!!!",
                             static_cast<long>(std::strlen(shortName)),
                             static_cast<long>(kHalvorinMaxShortName));
  m__STRING__AbsolutePath = path;
  m__STRING__LongFileName = longName;
  m__STRING__ShortFileName = shortName;
  m__ULONG__Attributes = p__ULONG__Attributes;
  m__ULONGLONG__SizeInUCHARs = IsDirectory() ? 0 : p__ULONGLONG__Size;
  m__ULONGLONG__NodePowerInUCHARs = m__ULONGLONG__SizeInUCHARs;
  m__PCHalvorin_FileTreeNode__Parent = p__PCHalvorin_FileTreeNode__Parent;
  m__ULONG__NodeNumber = p__ULONG__NodeNumber;
  m__ULONG__Depth = p__PCHalvorin_FileTreeNode__Parent
                        ? p__PCHalvorin_FileTreeNode__Parent->m__ULONG__Depth + 1
                        : 1;
  m__LONGLONG__UnixTime = p__LONGLONG__UnixTime;
  FillLocalTime(this, p__LONGLONG__UnixTime);
  if (p__BOOLEAN__IsImport)
    m__ULONG__NodeType = kHalvorinNodeTypeImported;
  else if (m__STRING__AbsolutePath.empty() || m__STRING__AbsolutePath == ":")
    m__ULONG__NodeType = kHalvorinNodeTypeNoDiskPath;
  else
    m__ULONG__NodeType = kHalvorinNodeTypeDisk;
}

CHalvorin_FileTree::CHalvorin_FileTree(HALVORIN_CALLBACK p__HALVORIN_CALLBACK__Callback,
                                       void* p__PVOID__Context, bool p__BOOLEAN__IsIgnore)
    : m__HALVORIN_CALLBACK__Callback(p__HALVORIN_CALLBACK__Callback),
      m__PVOID__Context(p__PVOID__Context),
      m__BOOLEAN__IsIgnore(p__BOOLEAN__IsIgnore) {}

CHalvorin_FileTree::~CHalvorin_FileTree() {
  // Runs as the base tree: every node is reported with reason 1, kids before their parents.
  DeleteFileTreeNode(&m__PCHalvorin_FileTreeNode__Root);
}

void CHalvorin_FileTree::Callback(std::uint32_t p__ULONG__Reason, void* p__PVOID__Param1,
                                  void* p__PVOID__Param2) {
  if (m__HALVORIN_CALLBACK__Callback)
    m__HALVORIN_CALLBACK__Callback(p__ULONG__Reason, m__PVOID__Context, p__PVOID__Param1,
                                   p__PVOID__Param2);
}

void CHalvorin_FileTree::ThrowIfBuilt(const char* p__PCHAR__Method) const {
  if (IsImageBuilt())
    HalvorinI_ThrowException(kHalvorinStatusInternalState, 0,
                             "%s: the image is built already, the tree cannot change!!!",
                             p__PCHAR__Method);
}

bool CHalvorin_FileTree::IsNodeOfTree(
    const CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  return p__PCHalvorin_FileTreeNode__Node &&
         m__SET__Nodes.count(p__PCHalvorin_FileTreeNode__Node) != 0;
}

CHalvorin_FileTreeNode* CHalvorin_FileTree::NewFileTreeNodeItem(
    const char* p__PCHAR__AbsolutePathAndFileName, const char* p__PCHAR__LongFileName,
    const char* p__PCHAR__ShortFileName, std::uint32_t p__ULONG__Attributes,
    std::uint64_t p__ULONGLONG__Size, CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
    std::uint32_t p__ULONG__NodeNumber, std::int64_t p__LONGLONG__UnixTime,
    bool p__BOOLEAN__IsImport) {
  return new CHalvorin_FileTreeNode(
      p__PCHAR__AbsolutePathAndFileName, p__PCHAR__LongFileName, p__PCHAR__ShortFileName,
      p__ULONG__Attributes, p__ULONGLONG__Size, p__PCHalvorin_FileTreeNode__Parent,
      p__ULONG__NodeNumber, p__LONGLONG__UnixTime, p__BOOLEAN__IsImport);
}

void CHalvorin_FileTree::NodeAdded(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node) {
  Callback(HALVORIN_CALLBACK_REASON_ADD_NAME,
           const_cast<char*>(p__PCHalvorin_FileTreeNode__Node->m__STRING__AbsolutePath.c_str()),
           p__PCHalvorin_FileTreeNode__Node);
  if (p__PCHalvorin_FileTreeNode__Node->m__ULONG__Depth > m__ULONG__MaximumDepth)
    m__ULONG__MaximumDepth = p__PCHalvorin_FileTreeNode__Node->m__ULONG__Depth;
  p__PCHalvorin_FileTreeNode__Node->m__BOOLEAN__IsAdded = true;
}

void CHalvorin_FileTree::NodeRemoved(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node) {
  Callback(HALVORIN_CALLBACK_REASON_REMOVE_NAME,
           const_cast<char*>(p__PCHalvorin_FileTreeNode__Node->m__STRING__AbsolutePath.c_str()),
           p__PCHalvorin_FileTreeNode__Node);
}

CHalvorin_FileTreeNode* CHalvorin_FileTree::CountAndCreate(
    const char* p__PCHAR__AbsolutePathAndFileName, const char* p__PCHAR__LongFileName,
    const char* p__PCHAR__ShortFileName, std::uint32_t p__ULONG__Attributes,
    std::uint64_t p__ULONGLONG__Size, CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
    std::int64_t p__LONGLONG__UnixTime, bool p__BOOLEAN__IsImport, const char* p__PCHAR__Method) {
  ++m__ULONG__NodeCount;
  std::unique_ptr<CHalvorin_FileTreeNode> node;
  try {
    node.reset(NewFileTreeNodeItem(
        p__PCHAR__AbsolutePathAndFileName, p__PCHAR__LongFileName, p__PCHAR__ShortFileName,
        p__ULONG__Attributes, p__ULONGLONG__Size, p__PCHalvorin_FileTreeNode__Parent,
        m__ULONG__NodeCount, p__LONGLONG__UnixTime, p__BOOLEAN__IsImport));
    if (!node)
      HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0,
                               "%s: NewFileTreeNodeItem() for Current failed!!!", p__PCHAR__Method);
    // A node the set could not take is deleted here: the tree knows of no node it cannot free.
    m__SET__Nodes.insert(node.get());
  } catch (...) {
    --m__ULONG__NodeCount;
    throw;
  }
  return node.release();
}

void CHalvorin_FileTree::CreateRootNode() {
  if (m__PCHalvorin_FileTreeNode__Root) return;
  m__PCHalvorin_FileTreeNode__Root =
      CreateFileTreeNodeAndKids("/", "/", "/", kHalvorinAttributeDirectory, 0, nullptr, Now());
}

CHalvorin_FileTreeNode* CHalvorin_FileTree::ResolveParent(
    CHalvorin_FileTreeNode** p__PPCHalvorin_FileTreeNode__Parent, const char* p__PCHAR__Method) {
  CreateRootNode();
  if (!p__PPCHalvorin_FileTreeNode__Parent || !*p__PPCHalvorin_FileTreeNode__Parent)
    return m__PCHalvorin_FileTreeNode__Root;
  CHalvorin_FileTreeNode* parent = *p__PPCHalvorin_FileTreeNode__Parent;
  if (!m__SET__Nodes.count(parent) || !parent->IsDirectory())
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s: the parent node %p is not a directory of this tree!!!",
                             p__PCHAR__Method, static_cast<void*>(parent));
  return parent;
}

void CHalvorin_FileTree::LinkKid(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
                                 CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid) {
  CHalvorin_FileTreeNode* parent = p__PCHalvorin_FileTreeNode__Parent;
  CHalvorin_FileTreeNode* kid = p__PCHalvorin_FileTreeNode__Kid;
  // The indexes first: they may run out of memory, and then nothing is linked yet.
  KidIndexed(parent, kid);
  kid->m__PCHalvorin_FileTreeNode__Parent = parent;
  kid->m__PCHalvorin_FileTreeNode__Next = nullptr;
  kid->m__PCHalvorin_FileTreeNode__Previous = parent->m__PCHalvorin_FileTreeNode__LastKid;
  if (parent->m__PCHalvorin_FileTreeNode__LastKid)
    parent->m__PCHalvorin_FileTreeNode__LastKid->m__PCHalvorin_FileTreeNode__Next = kid;
  else
    parent->m__PCHalvorin_FileTreeNode__FirstKid = kid;
  parent->m__PCHalvorin_FileTreeNode__LastKid = kid;
  kid->m__BOOLEAN__IsLinked = true;
  // Powers change by the kid's power along the linked ancestors only: an unlinked directory
  // brings its whole power when it is linked itself.
  for (CHalvorin_FileTreeNode* p = parent; p;
       p = p->m__BOOLEAN__IsLinked ? p->m__PCHalvorin_FileTreeNode__Parent : nullptr)
    p->m__ULONGLONG__NodePowerInUCHARs += kid->m__ULONGLONG__NodePowerInUCHARs;
}

void CHalvorin_FileTree::LinkKidOrDelete(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
                                         CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid) {
  try {
    LinkKid(p__PCHalvorin_FileTreeNode__Parent, p__PCHalvorin_FileTreeNode__Kid);
  } catch (...) {
    DebugTrace(
        "\nCHalvorin_FileTree::LinkKidOrDelete(): WARNING! '%s' could not be linked, deleted\n",
        p__PCHalvorin_FileTreeNode__Kid->m__STRING__AbsolutePath.c_str());
    DeleteFileTreeNode(&p__PCHalvorin_FileTreeNode__Kid);
    throw;
  }
}

void CHalvorin_FileTree::UnlinkKid(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid) {
  CHalvorin_FileTreeNode* kid = p__PCHalvorin_FileTreeNode__Kid;
  CHalvorin_FileTreeNode* parent = kid->m__PCHalvorin_FileTreeNode__Parent;
  if (!kid->m__BOOLEAN__IsLinked || !parent) return;
  for (CHalvorin_FileTreeNode* p = parent; p;
       p = p->m__BOOLEAN__IsLinked ? p->m__PCHalvorin_FileTreeNode__Parent : nullptr)
    p->m__ULONGLONG__NodePowerInUCHARs -= kid->m__ULONGLONG__NodePowerInUCHARs;
  KidUnindexed(parent, kid);
  if (kid->m__PCHalvorin_FileTreeNode__Previous)
    kid->m__PCHalvorin_FileTreeNode__Previous->m__PCHalvorin_FileTreeNode__Next =
        kid->m__PCHalvorin_FileTreeNode__Next;
  else
    parent->m__PCHalvorin_FileTreeNode__FirstKid = kid->m__PCHalvorin_FileTreeNode__Next;
  if (kid->m__PCHalvorin_FileTreeNode__Next)
    kid->m__PCHalvorin_FileTreeNode__Next->m__PCHalvorin_FileTreeNode__Previous =
        kid->m__PCHalvorin_FileTreeNode__Previous;
  else
    parent->m__PCHalvorin_FileTreeNode__LastKid = kid->m__PCHalvorin_FileTreeNode__Previous;
  kid->m__PCHalvorin_FileTreeNode__Next = kid->m__PCHalvorin_FileTreeNode__Previous = nullptr;
  kid->m__BOOLEAN__IsLinked = false;
}

void CHalvorin_FileTree::DeleteSubtree(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
                                       bool) {
  CHalvorin_FileTreeNode* node = p__PCHalvorin_FileTreeNode__Node;
  while (CHalvorin_FileTreeNode* kid = node->m__PCHalvorin_FileTreeNode__FirstKid) {
    node->m__PCHalvorin_FileTreeNode__FirstKid = kid->m__PCHalvorin_FileTreeNode__Next;
    kid->m__BOOLEAN__IsLinked = false;
    DeleteSubtree(kid, false);
  }
  node->m__PCHalvorin_FileTreeNode__LastKid = nullptr;
  NodeRemoved(node);
  m__SET__Nodes.erase(node);
  delete node;
  --m__ULONG__NodeCount;
}

void CHalvorin_FileTree::DeleteFileTreeNode(
    CHalvorin_FileTreeNode** p__PPCHalvorin_FileTreeNode__Node) {
  if (!p__PPCHalvorin_FileTreeNode__Node || !*p__PPCHalvorin_FileTreeNode__Node) return;
  DeleteSubtree(*p__PPCHalvorin_FileTreeNode__Node, true);
  *p__PPCHalvorin_FileTreeNode__Node = nullptr;
}

void CHalvorin_FileTree::RemoveLinkedNode(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node) {
  UnlinkKid(p__PCHalvorin_FileTreeNode__Node);
  if (p__PCHalvorin_FileTreeNode__Node == m__PCHalvorin_FileTreeNode__Root)
    m__PCHalvorin_FileTreeNode__Root = nullptr;
  DeleteFileTreeNode(&p__PCHalvorin_FileTreeNode__Node);
}

void CHalvorin_FileTree::FinishAddition(
    const char* p__PCHAR__Path, CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent) {
  if (!p__PCHalvorin_FileTreeNode__Node) {
    Callback(HALVORIN_CALLBACK_REASON_IGNORE_NAME, const_cast<char*>(p__PCHAR__Path), nullptr);
    return;
  }
  if (CheckName(p__PCHalvorin_FileTreeNode__Parent, p__PCHalvorin_FileTreeNode__Node)) {
    DeleteFileTreeNode(&p__PCHalvorin_FileTreeNode__Node);
    return;
  }
  LinkKidOrDelete(p__PCHalvorin_FileTreeNode__Parent, p__PCHalvorin_FileTreeNode__Node);
  KidLinked(p__PCHalvorin_FileTreeNode__Parent, p__PCHalvorin_FileTreeNode__Node);
}

void CHalvorin_FileTree::CreateFromRoot(
    const char* p__PCHAR__AbsolutePath, const char* p__PCHAR__NewName,
    std::int32_t p__LONG__TimeKind, CHalvorin_FileTreeNode** p__PPCHalvorin_FileTreeNode__Parent) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  HalvorinI_Traced("CHalvorin_FileTree::CreateFromRoot", [&] {
    ThrowIfBuilt("CHalvorin_FileTree::CreateFromRoot()");
    m__BOOLEAN__IsCancelCreation.store(0);
    if (!p__PCHAR__AbsolutePath && !p__PCHAR__NewName)
      HalvorinI_ThrowException(
          kHalvorinStatusInvalidArgument, 0,
          "CHalvorin_FileTree::CreateFromRoot(): Both absolute and new names are "
          "NULL - this is illegal!!!");
    if (p__PCHAR__AbsolutePath && std::strlen(p__PCHAR__AbsolutePath) >= kHalvorinMaxPath)
      HalvorinI_ThrowException(
          kHalvorinStatusInvalidArgument, 0,
          "CHalvorin_FileTree::CreateFromRoot(): strlen( '%s' ) == %ld exceeds (>=) %ld!!!",
          p__PCHAR__AbsolutePath, static_cast<long>(std::strlen(p__PCHAR__AbsolutePath)),
          static_cast<long>(kHalvorinMaxPath));
    CHalvorin_FileTreeNode* parent =
        ResolveParent(p__PPCHalvorin_FileTreeNode__Parent, "CHalvorin_FileTree::CreateFromRoot()");
    if (!p__PCHAR__AbsolutePath) {
      // A virtual directory.
      const std::string name = p__PCHAR__NewName;
      CHalvorin_FileTreeNode* node = nullptr;
      try {
        node = CreateFileTreeNodeAndKids(":", name, HalvorinI_Utf8Prefix(name, 12),
                                         kHalvorinAttributeDirectory, 0, parent, Now());
      } catch (CHalvorin_Exception* e) {
        if (!m__BOOLEAN__IsIgnore || (e && e->GetStatus() == kHalvorinStatusCancelled)) throw;
        DebugTrace(
            "\nCHalvorin_FileTree::CreateFromRoot(): WARNING! '%s' ignored, exception %d '%s'\n",
            name.c_str(), e ? e->GetStatus() : 12, e ? e->GetText() : "");
        delete e;
      }
      FinishAddition(":", node, parent);
      return;
    }
    if (!IsDrive(p__PCHAR__AbsolutePath) && platform::fs::Stat(p__PCHAR__AbsolutePath)) {
      CreateFromRootChecked(p__PCHAR__AbsolutePath, p__PCHAR__NewName, p__LONG__TimeKind, parent);
      return;
    }
    // Not an entry of its own (a drive): every entry of its root under the parent.
    std::string folder = p__PCHAR__AbsolutePath;
    std::vector<platform::fs::DirEntry> entries;
    try {
      entries = platform::fs::ListDirectory(JoinPath(folder, "*.*"));
    } catch (const platform::fs::FsError& e) {
      HalvorinI_ThrowException(
          kHalvorinStatusSystemCall, static_cast<std::uint32_t>(e.error()),
          "CHalvorin_FileTree::CreateFromRoot(): FindFirstFile( '%s' ) failed, status %ld!!!",
          p__PCHAR__AbsolutePath, static_cast<long>(e.error()));
    }
    for (const auto& entry : entries)
      CreateFromRootChecked(JoinPath(folder, entry.name).c_str(), nullptr, p__LONG__TimeKind,
                            parent);
  });
}

void CHalvorin_FileTree::CreateFromRootChecked(
    const char* p__PCHAR__Path, const char* p__PCHAR__NewName, std::int32_t p__LONG__TimeKind,
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent) {
  const auto info = platform::fs::Stat(p__PCHAR__Path);
  if (!info)
    HalvorinI_ThrowException(
        kHalvorinStatusSystemCall, ENOENT,
        "CHalvorin_FileTree::CreateFromRootChecked(): FindFirstFile( '%s' ) failed, status %ld!!!",
        p__PCHAR__Path, static_cast<long>(ENOENT));
  const std::string entryName = platform::fs::FileNamePart(p__PCHAR__Path);
  const std::string longName =
      (p__PCHAR__NewName && std::strlen(p__PCHAR__NewName) < kHalvorinMaxPath) ? p__PCHAR__NewName
                                                                               : entryName;
  CHalvorin_FileTreeNode* node = nullptr;
  if (IsUnreadable(*info)) {
    DebugTrace(
        "\nCHalvorin_FileTree::CreateFromRootChecked(): WARNING! '%s' is neither a file nor a "
        "folder\n",
        p__PCHAR__Path);
  } else {
    try {
      node = CreateFileTreeNodeAndKids(
          p__PCHAR__Path, longName, HalvorinI_Utf8Prefix(entryName, 12), AttributesOf(*info),
          info->size, p__PCHalvorin_FileTreeNode__Parent,
          EntryTime(p__PCHAR__Path, *info, p__LONG__TimeKind), p__LONG__TimeKind);
    } catch (CHalvorin_Exception* e) {
      if (!m__BOOLEAN__IsIgnore || (e && e->GetStatus() == kHalvorinStatusCancelled)) throw;
      DebugTrace(
          "\nCHalvorin_FileTree::CreateFromRootChecked(): WARNING! '%s' ignored, exception %d "
          "'%s'\n",
          p__PCHAR__Path, e ? e->GetStatus() : 12, e ? e->GetText() : "");
      delete e;
    }
  }
  FinishAddition(p__PCHAR__Path, node, p__PCHalvorin_FileTreeNode__Parent);
}

CHalvorin_FileTreeNode* CHalvorin_FileTree::CreateFileTreeNodeAndKids(
    const std::string& p__STRING__Path, const std::string& p__STRING__LongFileName,
    const std::string& p__STRING__ShortFileName, std::uint32_t p__ULONG__Attributes,
    std::uint64_t p__ULONGLONG__Size, CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
    std::int64_t p__LONGLONG__UnixTime, std::int32_t p__LONG__TimeKind) {
  if (m__BOOLEAN__IsCancelCreation.load())
    HalvorinI_ThrowException(
        kHalvorinStatusCancelled, 0,
        "CHalvorin_FileTree::CreateFileTreeNodeAndKids(): m__BOOLEAN__IsCancelCreation == TRUE!!!");
  CHalvorin_FileTreeNode* node = CountAndCreate(
      p__STRING__Path.c_str(), p__STRING__LongFileName.c_str(), p__STRING__ShortFileName.c_str(),
      p__ULONG__Attributes, p__ULONGLONG__Size, p__PCHalvorin_FileTreeNode__Parent,
      p__LONGLONG__UnixTime, false, "CHalvorin_FileTree::CreateFileTreeNodeAndKids()");
  const bool isRoot = p__STRING__Path == "/" && p__STRING__LongFileName == "/";
  if (isRoot || p__STRING__Path.starts_with(":") ||
      !(p__ULONG__Attributes & kHalvorinAttributeDirectory)) {
    NodeAdded(node);
    return node;
  }
  try {
    std::vector<platform::fs::DirEntry> entries;
    try {
      entries = platform::fs::ListDirectoryForReading(JoinPath(p__STRING__Path, "*.*"));
    } catch (const platform::fs::FsError& e) {
      HalvorinI_ThrowException(kHalvorinStatusSystemCall, static_cast<std::uint32_t>(e.error()),
                               "CHalvorin_FileTree::CreateFileTreeNodeAndKids(): FindFirstFile( "
                               "'%s' ) failed, status %ld!!!",
                               JoinPath(p__STRING__Path, "*.*").c_str(),
                               static_cast<long>(e.error()));
    }
    // The kids' read probes resolve their names from the folder, or take the listing's word;
    // the folder's own walk ends with the pointer as it found it.
    CHalvorin_ProbeFolder folder(p__STRING__Path);
    m__SET__Nodes.reserve(m__SET__Nodes.size() + entries.size());  // one rehash, not dozens
    const CHalvorin_ProbeFolder* const outer = m__PCHalvorin_ProbeFolder__Kids;
    struct Restore {
      const CHalvorin_ProbeFolder*& slot;
      const CHalvorin_ProbeFolder* value;
      ~Restore() { slot = value; }
    } restore{m__PCHalvorin_ProbeFolder__Kids, outer};
    for (const auto& entry : entries) {
      m__PCHalvorin_ProbeFolder__Kids = &folder;
      folder.Vouch(entry.info.readable ? entry.name : std::string());
      const std::string kidPath = JoinPath(p__STRING__Path, entry.name);
      CHalvorin_FileTreeNode* kid = nullptr;
      if (IsUnreadable(entry.info)) {
        DebugTrace(
            "\nCHalvorin_FileTree::CreateFileTreeNodeAndKids(): WARNING! '%s' is neither a file "
            "nor a folder\n",
            kidPath.c_str());
      } else {
        try {
          kid = CreateFileTreeNodeAndKids(kidPath, entry.name, HalvorinI_Utf8Prefix(entry.name, 12),
                                          AttributesOf(entry.info), entry.info.size, node,
                                          EntryTime(kidPath, entry.info, p__LONG__TimeKind),
                                          p__LONG__TimeKind);
        } catch (CHalvorin_Exception* e) {
          if (!m__BOOLEAN__IsIgnore || (e && e->GetStatus() == kHalvorinStatusCancelled)) throw;
          DebugTrace(
              "\nCHalvorin_FileTree::CreateFileTreeNodeAndKids(): CreateFileTreeNodeAndKids() "
              "failed, ignore == TRUE\n");
          DebugTrace(
              "\nCHalvorin_FileTree::CreateFileTreeNodeAndKids(): WARNING! Exception %d '%s'\n",
              e ? e->GetStatus() : 12, e ? e->GetText() : "");
          delete e;
        }
      }
      if (!kid)
        Callback(HALVORIN_CALLBACK_REASON_IGNORE_NAME, const_cast<char*>(kidPath.c_str()), nullptr);
      else if (CheckName(node, kid))
        DeleteFileTreeNode(&kid);
      else
        LinkKidOrDelete(node, kid);
    }
  } catch (...) {
    DeleteFileTreeNode(&node);
    throw;
  }
  NodeAdded(node);
  return node;
}

void CHalvorin_FileTree::AddMemory(const std::uint8_t* p__PUCHAR__Block,
                                   std::uint64_t p__ULONGLONG__Size, const char* p__PCHAR__Name,
                                   std::int32_t,
                                   CHalvorin_FileTreeNode** p__PPCHalvorin_FileTreeNode__Parent) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  HalvorinI_Traced("CHalvorin_FileTree::AddMemory", [&] {
    ThrowIfBuilt("CHalvorin_FileTree::AddMemory()");
    if (!p__PCHAR__Name || !*p__PCHAR__Name || (!p__PUCHAR__Block && p__ULONGLONG__Size))
      HalvorinI_ThrowException(
          kHalvorinStatusInvalidArgument, 0,
          "CHalvorin_FileTree::AddMemory(): a memory item needs a name and a block!!!");
    const std::int64_t now = Now();
    CHalvorin_FileTreeNode* parent =
        ResolveParent(p__PPCHalvorin_FileTreeNode__Parent, "CHalvorin_FileTree::AddMemory()");
    const std::string name = HalvorinI_Utf8Prefix(p__PCHAR__Name, kHalvorinMaxPath - 1);
    const std::string shortName = HalvorinI_Utf8Prefix(name, 12);
    CHalvorin_FileTreeNode* node = nullptr;
    try {
      ++m__ULONG__NodeCount;
      try {
        node = NewMemoryNode(p__PUCHAR__Block, name.c_str(), shortName.c_str(), p__ULONGLONG__Size,
                             parent, m__ULONG__NodeCount, now);
      } catch (...) {
        --m__ULONG__NodeCount;
        throw;
      }
      if (!node) {
        --m__ULONG__NodeCount;
        HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0,
                                 "CHalvorin_FileTree::CreateFileTreeNodeMemory(): "
                                 "NewFileTreeNodeItem() for Current failed!!!");
      }
      m__SET__Nodes.insert(node);
      NodeAdded(node);
    } catch (CHalvorin_Exception* e) {
      DebugTrace(
          "\nCHalvorin_FileTree::CreateFromRootMemoryChecked(): CreateFileTreeNodeMemory( '%s' ) "
          "failed, ignore == %s!!!\n",
          name.c_str(), m__BOOLEAN__IsIgnore ? "TRUE" : "FALSE");
      if (!m__BOOLEAN__IsIgnore) throw;
      delete e;
    }
    FinishAddition("", node, parent);
  });
}

bool CHalvorin_FileTree::RemoveFileTreeNode(
    CHalvorin_FileTreeNode** p__PPCHalvorin_FileTreeNode__Node) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  if (!p__PPCHalvorin_FileTreeNode__Node ||
      !m__SET__Nodes.count(*p__PPCHalvorin_FileTreeNode__Node))
    return false;
  if (IsImageBuilt()) {
    DebugTrace(
        "\nCHalvorin_FileTree::RemoveFileTreeNode(): the image is built already, nothing is "
        "removed!!!\n");
    return false;
  }
  CHalvorin_FileTreeNode* node = *p__PPCHalvorin_FileTreeNode__Node;
  const bool found = node->m__BOOLEAN__IsLinked || node == m__PCHalvorin_FileTreeNode__Root;
  RemoveLinkedNode(node);
  *p__PPCHalvorin_FileTreeNode__Node = nullptr;
  return found;
}

bool CHalvorin_FileTree::SetNames(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
                                  const char* p__PCHAR__LongFileName,
                                  const char* p__PCHAR__ShortFileName) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  CHalvorin_FileTreeNode* node = p__PCHalvorin_FileTreeNode__Node;
  if (!m__SET__Nodes.count(node) || !node->m__BOOLEAN__IsLinked ||
      !node->m__PCHalvorin_FileTreeNode__Parent)
    return false;
  if (IsImageBuilt()) {
    DebugTrace("\nCHalvorin_FileTree::SetNames(): the image is built already, the names stay!!!\n");
    return false;
  }
  CHalvorin_FileTreeNode* parent = node->m__PCHalvorin_FileTreeNode__Parent;
  NodeRemoved(node);
  KidUnindexed(parent, node);
  node->m__STRING__LongFileName = HalvorinI_Utf8Prefix(
      p__PCHAR__LongFileName ? p__PCHAR__LongFileName : "", kHalvorinMaxPath - 1);
  std::string shortName = p__PCHAR__ShortFileName ? p__PCHAR__ShortFileName : "";
  if (shortName.size() > 12) shortName = HalvorinI_Utf8Prefix(shortName, 31);
  node->m__STRING__ShortFileName = shortName;
  node->RebuildIdentifier();
  NodeAdded(node);
  KidIndexed(parent, node);
  KidLinked(parent, node);
  return true;
}

CHalvorin_FileTreeNode* CHalvorin_FileTree::GetRoot() {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  return m__PCHalvorin_FileTreeNode__Root;
}

CHalvorin_FileTreeNode* CHalvorin_FileTree::GetFirstKid(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  if (!m__SET__Nodes.count(p__PCHalvorin_FileTreeNode__Node)) return nullptr;
  return p__PCHalvorin_FileTreeNode__Node->m__PCHalvorin_FileTreeNode__FirstKid;
}

CHalvorin_FileTreeNode* CHalvorin_FileTree::GetNextKid(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  if (!m__SET__Nodes.count(p__PCHalvorin_FileTreeNode__Node) ||
      !m__SET__Nodes.count(p__PCHalvorin_FileTreeNode__Kid) ||
      !p__PCHalvorin_FileTreeNode__Kid->m__BOOLEAN__IsLinked ||
      p__PCHalvorin_FileTreeNode__Kid->m__PCHalvorin_FileTreeNode__Parent !=
          p__PCHalvorin_FileTreeNode__Node)
    return nullptr;
  return p__PCHalvorin_FileTreeNode__Kid->m__PCHalvorin_FileTreeNode__Next;
}

CHalvorin_FileTreeNode* CHalvorin_FileTree::GetParent(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  if (!m__SET__Nodes.count(p__PCHalvorin_FileTreeNode__Node)) return nullptr;
  return p__PCHalvorin_FileTreeNode__Node->m__PCHalvorin_FileTreeNode__Parent;
}

std::uint32_t CHalvorin_FileTree::GetAttributes(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  if (!m__SET__Nodes.count(p__PCHalvorin_FileTreeNode__Node)) return 0;
  return p__PCHalvorin_FileTreeNode__Node->m__ULONG__Attributes;
}

std::uint32_t CHalvorin_FileTree::GetNodeType(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  if (!m__SET__Nodes.count(p__PCHalvorin_FileTreeNode__Node)) return 0;
  return p__PCHalvorin_FileTreeNode__Node->m__ULONG__NodeType;
}

std::uint32_t CHalvorin_FileTree::GetLevel() {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  return m__ULONG__MaximumDepth;
}

std::uint32_t CHalvorin_FileTree::GetNodeCount() {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  return m__ULONG__NodeCount;
}

bool CHalvorin_FileTree::GetFullPath(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
                                     char* p__PCHAR__Path) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  if (!m__SET__Nodes.count(p__PCHalvorin_FileTreeNode__Node)) return false;
  std::vector<const CHalvorin_FileTreeNode*> chain;
  for (const CHalvorin_FileTreeNode* n = p__PCHalvorin_FileTreeNode__Node;
       n && n->m__PCHalvorin_FileTreeNode__Parent; n = n->m__PCHalvorin_FileTreeNode__Parent)
    chain.push_back(n);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    path += "\\" + ((*it)->m__STRING__LongFileName.empty() ? (*it)->m__STRING__ShortFileName
                                                           : (*it)->m__STRING__LongFileName);
  path = HalvorinI_Utf8Prefix(path, kHalvorinMaxPath - 1);
  if (p__PCHAR__Path) std::memcpy(p__PCHAR__Path, path.c_str(), path.size() + 1);
  return true;
}

bool CHalvorin_FileTree::GetNames(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
                                  char* p__PCHAR__AbsolutePath, char* p__PCHAR__LongFileName,
                                  char* p__PCHAR__ShortFileName) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  auto put = [](char* buffer, const std::string& text) {
    if (!buffer) return;
    std::memset(buffer, 0, kHalvorinMaxPath);
    std::memcpy(buffer, text.c_str(), std::min(text.size(), kHalvorinMaxPath - 1));
  };
  if (!m__SET__Nodes.count(p__PCHalvorin_FileTreeNode__Node)) {
    put(p__PCHAR__AbsolutePath, "");
    put(p__PCHAR__LongFileName, "");
    put(p__PCHAR__ShortFileName, "");
    return false;
  }
  put(p__PCHAR__AbsolutePath, p__PCHalvorin_FileTreeNode__Node->m__STRING__AbsolutePath);
  put(p__PCHAR__LongFileName, p__PCHalvorin_FileTreeNode__Node->m__STRING__LongFileName);
  put(p__PCHAR__ShortFileName, p__PCHalvorin_FileTreeNode__Node->m__STRING__ShortFileName);
  return true;
}
