// An ISO9660 tree with a second, Joliet directory hierarchy of UCS-2 names that shares the
// files of the first.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>

#include "lib/mastering/iso9660/iso9660_file_tree.h"

class CHalvorin_JolietFileTreeNode : public CHalvorin_ISO9660FileTreeNode {
 public:
  template <class... Args>
  explicit CHalvorin_JolietFileTreeNode(Args&&... p__Args)
      : CHalvorin_ISO9660FileTreeNode(std::forward<Args>(p__Args)...) {
    BuildJolietName();
  }

  void RebuildIdentifier() override;  // GetJolietName: the ISO9660 identifier, then the Joliet name
  const std::u16string& GetJolietName() const override { return m__WSTRING__JolietName; }

  std::u16string m__WSTRING__JolietName;  // UTF-16 units; written big-endian
  std::unique_ptr<std::unordered_multimap<std::u16string, CHalvorin_JolietFileTreeNode*>>
      m__MAP__KidsByJolietName;

 private:
  void BuildJolietName();
};

class CHalvorin_JolietFileTree : public CHalvorin_ISO9660FileTree {
 public:
  using CHalvorin_ISO9660FileTree::CHalvorin_ISO9660FileTree;

 protected:
  CHalvorin_FileTreeNode* NewMemoryNode(const std::uint8_t* p__PUCHAR__Block,
                                        const char* p__PCHAR__LongFileName,
                                        const char* p__PCHAR__ShortFileName,
                                        std::uint64_t p__ULONGLONG__Size,
                                        CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
                                        std::uint32_t p__ULONG__NodeNumber,
                                        std::int64_t p__LONGLONG__UnixTime) override;
  CHalvorin_FileTreeNode* NewFileTreeNodeItem(
      const char* p__PCHAR__AbsolutePathAndFileName, const char* p__PCHAR__LongFileName,
      const char* p__PCHAR__ShortFileName, std::uint32_t p__ULONG__Attributes,
      std::uint64_t p__ULONGLONG__Size, CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
      std::uint32_t p__ULONG__NodeNumber, std::int64_t p__LONGLONG__UnixTime,
      bool p__BOOLEAN__IsImport) override;
  bool CheckName(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
                 CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid) override;
  void KidIndexed(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
                  CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid) override;
  void KidUnindexed(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
                    CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid) override;
  bool IsJoliet() const override { return true; }
};
