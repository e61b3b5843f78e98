// Nodes of an earlier session: the multisession import adds them to an ISO9660 or Joliet tree,
// where they keep their extent on the disc and are laid out without a file object.
#include <cstring>
#include <ctime>

#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/mastering/iso9660/iso9660_file_tree.h"
#include "lib/mastering/iso9660/iso9660_records.h"
#include "lib/mastering/iso9660/joliet_file_tree.h"

namespace {

constexpr const char* kMethod = "CHalvorin_ISO9660FileTree::ImportFileTreeNode()";

bool IsContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Where the last n characters of UTF-8 text begin.
std::size_t LastCharacters(const std::string& p__STRING__Text, std::size_t n) {
  std::size_t at = p__STRING__Text.size();
  while (at > 0 && n > 0)
    if (!IsContinuation(p__STRING__Text[--at])) --n;
  return at;
}

// The first characters of UTF-8 text, at most n of them in at most `bytes` bytes.
std::string FirstCharacters(const std::string& p__STRING__Text, std::size_t n, std::size_t bytes) {
  std::size_t end = 0;
  for (std::size_t taken = 0; end < p__STRING__Text.size() && taken < n; ++taken) {
    std::size_t next = end + 1;
    while (next < p__STRING__Text.size() && IsContinuation(p__STRING__Text[next])) ++next;
    if (next > bytes) break;
    end = next;
  }
  return p__STRING__Text.substr(0, end);
}

// The name when it fits the node's 12-byte short name; else its first 12 characters, or for a
// file whose last four characters hold a full stop, its first 8 characters and the extension
// from that stop; characters are counted in UTF-8 and cut whole, within the 12 bytes.
std::string ImportedShortName(const std::string& p__STRING__Name, bool p__BOOLEAN__IsFile) {
  constexpr std::size_t kBytes = kHalvorinMaxShortName - 1;
  if (p__STRING__Name.size() <= kBytes) return p__STRING__Name;
  if (p__BOOLEAN__IsFile) {
    const std::size_t dot = p__STRING__Name.find('.', LastCharacters(p__STRING__Name, 4));
    if (dot != std::string::npos && p__STRING__Name.size() - dot < kBytes)
      return FirstCharacters(p__STRING__Name, 8, kBytes - (p__STRING__Name.size() - dot)) +
             p__STRING__Name.substr(dot);
  }
  return FirstCharacters(p__STRING__Name, 12, kBytes);
}

// Seconds since 1970 (UTC) of a 7-byte directory record date; 0 for a date that is not one.
std::int64_t UnixTimeOf(const std::uint8_t* d) {
  if (d[1] < 1 || d[1] > 12 || d[2] < 1 || d[2] > 31 || d[3] > 23 || d[4] > 59 || d[5] > 59)
    return 0;
  std::tm t{};
  t.tm_year = d[0];
  t.tm_mon = d[1] - 1;
  t.tm_mday = d[2];
  t.tm_hour = d[3];
  t.tm_min = d[4];
  t.tm_sec = d[5];
  std::int32_t offset = static_cast<std::int8_t>(d[6]);
  if (offset < -48 || offset > 52) offset = 0;
  return static_cast<std::int64_t>(timegm(&t)) - offset * 900;
}

// The name an imported node takes: '.' and '..' name no entry of a folder (refused, naming the
// record); the tree's separator '\' and the drive mark ':' become '_', as in a Joliet name. A
// name that so becomes a sibling's (or a sibling's that so became this one) is refused when the
// node is made, naming both records.
std::string ImportedName(const char* p__PCHAR__Name, const char* p__PCHAR__AbsolutePath,
                         std::uint32_t p__ULONG__Extent) {
  std::string name = p__PCHAR__Name;
  if (name == "." || name == "..")
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s: The record '%s' (LBA %u) is named '%s', a name that no file or "
                             "folder may take!!!",
                             kMethod, p__PCHAR__AbsolutePath, p__ULONG__Extent, name.c_str());
  bool replaced = false;
  for (char& c : name)
    if (c == '\\' || c == ':') {
      c = '_';
      replaced = true;
    }
  if (replaced)
    DebugTrace("\n%s: WARNING! The record '%s' (LBA %u) is imported as '%s'\n", kMethod,
               p__PCHAR__AbsolutePath, p__ULONG__Extent, name.c_str());
  return name;
}

// An imported sibling of the same name from a record named otherwise on the disc: the two
// names folded together where '\' and ':' became '_'. Found through the parent's name indexes
// (the ISO9660 identifier, and the Joliet name in a Joliet tree); null when there is none.
const CHalvorin_FileTreeNode* FoldedSibling(const CHalvorin_ISO9660FileTreeNode* p__PParent,
                                            const CHalvorin_ISO9660FileTreeNode* p__PKid,
                                            bool p__BOOLEAN__IsJoliet) {
  const auto isFolded = [&](const CHalvorin_FileTreeNode* p__PSibling) {
    return p__PSibling != p__PKid && p__PSibling->m__ULONG__NodeType == kHalvorinNodeTypeImported &&
           p__PSibling->m__STRING__LongFileName == p__PKid->m__STRING__LongFileName &&
           p__PSibling->m__STRING__AbsolutePath != p__PKid->m__STRING__AbsolutePath;
  };
  if (p__PParent->m__MAP__KidsByIdentifier) {
    const auto range =
        p__PParent->m__MAP__KidsByIdentifier->equal_range(p__PKid->m__STRING__Identifier);
    for (auto it = range.first; it != range.second; ++it)
      if (isFolded(it->second)) return it->second;
  }
  if (p__BOOLEAN__IsJoliet) {
    const auto* parent = static_cast<const CHalvorin_JolietFileTreeNode*>(p__PParent);
    const auto* kid = static_cast<const CHalvorin_JolietFileTreeNode*>(p__PKid);
    if (parent->m__MAP__KidsByJolietName) {
      const auto range = parent->m__MAP__KidsByJolietName->equal_range(kid->m__WSTRING__JolietName);
      for (auto it = range.first; it != range.second; ++it)
        if (isFolded(it->second)) return it->second;
    }
  }
  return nullptr;
}

}  // namespace

CHalvorin_FileTreeNode* CHalvorin_ISO9660FileTree::ImportFileTreeNode(
    const char* p__PCHAR__AbsolutePath, const char* p__PCHAR__Name,
    std::uint32_t p__ULONG__Attributes, std::uint64_t p__ULONGLONG__Size,
    const std::uint8_t* p__PUCHAR__Date, std::uint32_t p__ULONG__Extent,
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  return HalvorinI_Traced("CHalvorin_ISO9660FileTree::ImportFileTreeNode", [&] {
    ThrowIfBuilt(kMethod);
    if (!p__PCHAR__AbsolutePath || !p__PCHAR__Name || !p__PUCHAR__Date)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0, "%s: A name is NULL!!!", kMethod);
    const std::string name = ImportedName(p__PCHAR__Name, p__PCHAR__AbsolutePath, p__ULONG__Extent);
    CHalvorin_FileTreeNode* parent = ResolveParent(&p__PCHalvorin_FileTreeNode__Parent, kMethod);
    const bool isFile = (p__ULONG__Attributes & kHalvorinAttributeDirectory) == 0;
    // The path of an imported node only names it: a deep one is cut rather than refused.
    const std::string longName = HalvorinI_Utf8Prefix(name, kHalvorinMaxPath - 1);
    CHalvorin_FileTreeNode* node = CountAndCreate(
        HalvorinI_Utf8Prefix(p__PCHAR__AbsolutePath, kHalvorinMaxPath - 1).c_str(),
        longName.c_str(), ImportedShortName(name, isFile).c_str(), p__ULONG__Attributes,
        p__ULONGLONG__Size, parent, UnixTimeOf(p__PUCHAR__Date), true, kMethod);
    try {
      auto* iso = static_cast<CHalvorin_ISO9660FileTreeNode*>(node);
      iso->m__ULONG__Extent = p__ULONG__Extent;
      std::memcpy(iso->m__UCHAR__Date, p__PUCHAR__Date, sizeof iso->m__UCHAR__Date);
      // A name past the node's limit takes its Joliet name from the whole name (cut there to
      // the Joliet limit, as an added name is).
      if (IsJoliet() && longName.size() < name.size())
        static_cast<CHalvorin_JolietFileTreeNode*>(node)->m__WSTRING__JolietName =
            HalvorinI_JolietName(HalvorinI_Utf8ToUtf16(name), iso->IsFileNode());
      // The name check would keep one of the two and the next session hide the other's file.
      if (const CHalvorin_FileTreeNode* sibling =
              FoldedSibling(static_cast<CHalvorin_ISO9660FileTreeNode*>(parent), iso, IsJoliet()))
        HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                 "%s: The records '%s' and '%s' both take the name '%s'!!!",
                                 kMethod, sibling->m__STRING__AbsolutePath.c_str(),
                                 node->m__STRING__AbsolutePath.c_str(),
                                 node->m__STRING__LongFileName.c_str());
      NodeAdded(node);
      if (CheckName(parent, node)) {
        DebugTrace("\n%s: '%s' dropped by the name check\n", kMethod,
                   node->m__STRING__AbsolutePath.c_str());
        DeleteFileTreeNode(&node);
        return static_cast<CHalvorin_FileTreeNode*>(nullptr);
      }
      LinkKid(parent, node);
    } catch (...) {
      DeleteFileTreeNode(&node);
      throw;
    }
    KidLinked(parent, node);
    return node;
  });
}

CHalvorin_ISO9660FileTree::ImportMark CHalvorin_ISO9660FileTree::MarkImport() {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  return {m__PCHalvorin_FileTreeNode__Root != nullptr, m__ULONG__MaximumDepth};
}

void CHalvorin_ISO9660FileTree::TakeBackImport(
    const ImportMark& p__Mark, const std::vector<CHalvorin_FileTreeNode*>& p__VECTOR__TopLevel) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  CHalvorin_FileTreeNode* root = m__PCHalvorin_FileTreeNode__Root;
  // A node the import linked and the name check of a later one removed is no longer here.
  for (CHalvorin_FileTreeNode* node : p__VECTOR__TopLevel)
    if (m__SET__Nodes.count(node) && node->m__BOOLEAN__IsLinked &&
        node->m__PCHalvorin_FileTreeNode__Parent == root)
      RemoveLinkedNode(node);
  if (!p__Mark.m__BOOLEAN__HadRoot && root && !root->m__PCHalvorin_FileTreeNode__FirstKid)
    RemoveLinkedNode(root);
  m__ULONG__MaximumDepth = p__Mark.m__ULONG__Level;
}
