#include "lib/mastering/iso9660/joliet_file_tree.h"

#include <cstring>
#include <vector>

#include "lib/core/debug_trace.h"
#include "lib/mastering/iso9660/iso9660_records.h"

namespace {

using JNode = CHalvorin_JolietFileTreeNode;

JNode* AsJoliet(CHalvorin_FileTreeNode* p) {
  return static_cast<JNode*>(p);
}

}  // namespace

void CHalvorin_JolietFileTreeNode::BuildJolietName() {
  if (!m__PCHalvorin_FileTreeNode__Parent && m__STRING__LongFileName == "/") {
    m__WSTRING__JolietName.clear();
    return;
  }
  m__WSTRING__JolietName =
      HalvorinI_JolietName(HalvorinI_Utf8ToUtf16(m__STRING__LongFileName), IsFileNode());
}

void CHalvorin_JolietFileTreeNode::RebuildIdentifier() {
  CHalvorin_ISO9660FileTreeNode::RebuildIdentifier();
  BuildJolietName();
}

CHalvorin_FileTreeNode* CHalvorin_JolietFileTree::NewMemoryNode(
    const std::uint8_t* p__PUCHAR__Block, const char* p__PCHAR__LongFileName,
    const char* p__PCHAR__ShortFileName, std::uint64_t p__ULONGLONG__Size,
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent, std::uint32_t p__ULONG__NodeNumber,
    std::int64_t p__LONGLONG__UnixTime) {
  return new JNode("", p__PCHAR__LongFileName, p__PCHAR__ShortFileName, kHalvorinAttributeNormal,
                   p__ULONGLONG__Size, p__PCHalvorin_FileTreeNode__Parent, p__ULONG__NodeNumber,
                   p__LONGLONG__UnixTime, false, false, m__BOOLEAN__IsLongIdentifiers, true,
                   p__PUCHAR__Block);
}

CHalvorin_FileTreeNode* CHalvorin_JolietFileTree::NewFileTreeNodeItem(
    const char* p__PCHAR__AbsolutePathAndFileName, const char* p__PCHAR__LongFileName,
    const char* p__PCHAR__ShortFileName, std::uint32_t p__ULONG__Attributes,
    std::uint64_t p__ULONGLONG__Size, CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
    std::uint32_t p__ULONG__NodeNumber, std::int64_t p__LONGLONG__UnixTime,
    bool p__BOOLEAN__IsImport) {
  return new JNode(p__PCHAR__AbsolutePathAndFileName, p__PCHAR__LongFileName,
                   p__PCHAR__ShortFileName, p__ULONG__Attributes, p__ULONGLONG__Size,
                   p__PCHalvorin_FileTreeNode__Parent, p__ULONG__NodeNumber, p__LONGLONG__UnixTime,
                   p__BOOLEAN__IsImport, m__BOOLEAN__IsHoldFilesOpen, m__BOOLEAN__IsLongIdentifiers,
                   false, nullptr, m__PCHalvorin_ProbeFolder__Kids);
}

void CHalvorin_JolietFileTree::KidIndexed(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid) {
  CHalvorin_ISO9660FileTree::KidIndexed(p__PCHalvorin_FileTreeNode__Parent,
                                        p__PCHalvorin_FileTreeNode__Kid);
  JNode* parent = AsJoliet(p__PCHalvorin_FileTreeNode__Parent);
  try {
    if (!parent->m__MAP__KidsByJolietName)
      parent->m__MAP__KidsByJolietName =
          std::make_unique<std::unordered_multimap<std::u16string, JNode*>>();
    parent->m__MAP__KidsByJolietName->emplace(
        AsJoliet(p__PCHalvorin_FileTreeNode__Kid)->m__WSTRING__JolietName,
        AsJoliet(p__PCHalvorin_FileTreeNode__Kid));
  } catch (...) {
    CHalvorin_ISO9660FileTree::KidUnindexed(p__PCHalvorin_FileTreeNode__Parent,
                                            p__PCHalvorin_FileTreeNode__Kid);
    throw;
  }
}

void CHalvorin_JolietFileTree::KidUnindexed(
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid) {
  CHalvorin_ISO9660FileTree::KidUnindexed(p__PCHalvorin_FileTreeNode__Parent,
                                          p__PCHalvorin_FileTreeNode__Kid);
  JNode* parent = AsJoliet(p__PCHalvorin_FileTreeNode__Parent);
  if (!parent->m__MAP__KidsByJolietName) return;
  auto range = parent->m__MAP__KidsByJolietName->equal_range(
      AsJoliet(p__PCHalvorin_FileTreeNode__Kid)->m__WSTRING__JolietName);
  for (auto it = range.first; it != range.second; ++it)
    if (it->second == p__PCHalvorin_FileTreeNode__Kid) {
      parent->m__MAP__KidsByJolietName->erase(it);
      return;
    }
}

bool CHalvorin_JolietFileTree::CheckName(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
                                         CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid) {
  if (CHalvorin_ISO9660FileTree::CheckName(p__PCHalvorin_FileTreeNode__Parent,
                                           p__PCHalvorin_FileTreeNode__Kid))
    return true;
  if (!p__PCHalvorin_FileTreeNode__Parent || !p__PCHalvorin_FileTreeNode__Kid) return false;
  JNode* parent = AsJoliet(p__PCHalvorin_FileTreeNode__Parent);
  JNode* kid = AsJoliet(p__PCHalvorin_FileTreeNode__Kid);
  for (int rewrites = 0; rewrites < 256; ++rewrites) {
    if (!parent->m__MAP__KidsByJolietName) return false;
    std::vector<JNode*> same;
    auto range = parent->m__MAP__KidsByJolietName->equal_range(kid->m__WSTRING__JolietName);
    for (auto it = range.first; it != range.second; ++it) same.push_back(it->second);
    bool renamed = false;
    for (JNode* sibling : same) {
      // The record carries UTF-16 little-endian.
      std::vector<std::uint8_t> le;
      for (char16_t c : kid->m__WSTRING__JolietName) {
        le.push_back(static_cast<std::uint8_t>(c & 0xFF));
        le.push_back(static_cast<std::uint8_t>(c >> 8));
      }
      le.push_back(0);
      le.push_back(0);
      HALVORIN_NAME_COLLISION_RECORD record;
      const std::uint32_t answer =
          AskCollision(HALVORIN_COLLISION_KIND_JOLIET, le.data(), le.size(), sibling, kid, &record);
      if (answer == HALVORIN_COLLISION_DROP_NEW) return true;
      if (answer == HALVORIN_COLLISION_DELETE_OLD) {
        RemoveLinkedNode(sibling);
        continue;
      }
      if (answer == HALVORIN_COLLISION_RENAME) {
        std::u16string name;
        for (std::size_t i = 0; i + 1 < sizeof record.m__UCHAR__Identifier; i += 2) {
          const char16_t c = static_cast<char16_t>(record.m__UCHAR__Identifier[i] |
                                                   (record.m__UCHAR__Identifier[i + 1] << 8));
          if (!c) break;
          name.push_back(c);
        }
        const bool isFile = kid->IsFileNode();
        if (isFile && name.size() >= 2 && name.compare(name.size() - 2, 2, u";1") == 0)
          name.resize(name.size() - 2);
        name = HalvorinI_JolietName(name, isFile);
        if (name.size() <= (isFile ? 2u : 0u) || name == kid->m__WSTRING__JolietName) {
          DebugTrace(
              "\nCHalvorin_JolietFileTree::CheckName(): WARNING! The answered name changes "
              "nothing, both are kept\n");
          continue;
        }
        kid->m__WSTRING__JolietName = name;
        renamed = true;
        break;
      }
    }
    if (!renamed) return false;
  }
  DebugTrace("\nCHalvorin_JolietFileTree::CheckName(): WARNING! Too many renames, both are kept\n");
  return false;
}
