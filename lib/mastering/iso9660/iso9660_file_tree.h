// A file tree laid out as an ISO9660 image and read as one stream: the tree is also the image's
// file chain. The layout (descriptors, path tables, directories, file extents) is computed in
// one pass over the in-memory tree when the image is built.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "lib/mastering/tree/file_chain.h"
#include "lib/mastering/tree/file_objects.h"
#include "lib/mastering/tree/file_tree.h"

class CHalvorin_ISO9660FileTreeNode : public CHalvorin_FileTreeNode {
 public:
  // A disk node (p__PUCHAR__MemoryBlock null) or a memory item over the caller's block. The
  // folder, where given, is the one the disk file's read probe resolves its path from.
  CHalvorin_ISO9660FileTreeNode(
      const char* p__PCHAR__AbsolutePathAndFileName, const char* p__PCHAR__LongFileName,
      const char* p__PCHAR__ShortFileName, std::uint32_t p__ULONG__Attributes,
      std::uint64_t p__ULONGLONG__Size, CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
      std::uint32_t p__ULONG__NodeNumber, std::int64_t p__LONGLONG__UnixTime,
      bool p__BOOLEAN__IsImport, bool p__BOOLEAN__IsHoldFilesOpen,
      bool p__BOOLEAN__IsLongIdentifiers, bool p__BOOLEAN__IsMemory,
      const std::uint8_t* p__PUCHAR__MemoryBlock,
      const CHalvorin_ProbeFolder* p__PCHalvorin_ProbeFolder = nullptr);

  void RebuildIdentifier() override;  // GetISO9660Name
  // The Joliet hierarchy's name (UTF-16 units); empty in a plain ISO9660 tree.
  virtual const std::u16string& GetJolietName() const;

  bool IsFileNode() const { return !IsDirectory() || m__BOOLEAN__IsMemory; }

  std::string m__STRING__Identifier;
  std::uint64_t m__ULONGLONG__FileSectors = 0;
  std::unique_ptr<CHalvorin_File> m__PCHalvorin_File;
  std::uint8_t m__UCHAR__Date[7] = {};
  std::uint32_t m__ULONG__Extent = 0;
  // Filled by the layout.
  std::uint32_t m__ULONG__DirectorySectors = 1;
  std::uint32_t m__ULONG__JolietExtent = 0;
  std::uint32_t m__ULONG__JolietDirectorySectors = 1;
  std::uint16_t m__USHORT__DirectoryNumber = 0;
  std::uint16_t m__USHORT__JolietDirectoryNumber = 0;
  bool m__BOOLEAN__IsMemory = false;
  bool m__BOOLEAN__IsLongIdentifiers = false;
  // A directory's kids by identifier, so that sibling checks cost no walk over the siblings.
  std::unique_ptr<std::unordered_multimap<std::string, CHalvorin_ISO9660FileTreeNode*>>
      m__MAP__KidsByIdentifier;
};

class CHalvorin_ISO9660FileTree : public CHalvorin_FileTree, public CHalvorin_FileChain {
 public:
  CHalvorin_ISO9660FileTree(HALVORIN_CALLBACK p__HALVORIN_CALLBACK__Callback,
                            void* p__PVOID__Context, bool p__BOOLEAN__IsIgnore,
                            bool p__BOOLEAN__IsHoldFilesOpen, bool p__BOOLEAN__IsLongIdentifiers);
  ~CHalvorin_ISO9660FileTree() override;

  // Strings may be null (empty). Dates are "YYYYMMDDhhmmsscc".
  virtual void BuildImage(
      std::int32_t p__LONG__StartAddress, std::uint32_t p__ULONG__Unused, bool p__BOOLEAN__IsXA,
      const char* p__PCHAR__VolumeLabel, const char* p__PCHAR__Publisher,
      const char* p__PCHAR__Application, const char* p__PCHAR__SystemIdentifier,
      const char* p__PCHAR__CopyrightFile, const char* p__PCHAR__BibliographicFile,
      const char* p__PCHAR__CreationDate, const char* p__PCHAR__ModificationDate,
      const char* p__PCHAR__ExpirationDate, const char* p__PCHAR__EffectiveDate);
  virtual void SetBootImage(const char* p__PCHAR__Path, const char* p__PCHAR__Name,
                            std::uint32_t p__ULONG__Attributes, std::int64_t p__LONGLONG__UnixTime,
                            std::uint64_t p__ULONGLONG__Size, std::uint8_t p__UCHAR__SystemType,
                            std::uint8_t p__UCHAR__BootMediaType);

  // A node of an earlier session: it keeps the extent and size of its data on the disc and is
  // never chained. Its name takes the tree's rules as an added one does: '.' and '..' are
  // refused (status 2), '\' and ':' become '_', and its identifiers are cut to the tree's
  // limits. Null when the name check dropped it; a node that fails is not left in the tree.
  virtual CHalvorin_FileTreeNode* ImportFileTreeNode(
      const char* p__PCHAR__AbsolutePath, const char* p__PCHAR__Name,
      std::uint32_t p__ULONG__Attributes, std::uint64_t p__ULONGLONG__Size,
      const std::uint8_t* p__PUCHAR__Date, std::uint32_t p__ULONG__Extent,
      CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent);
  // The tree as an import finds it, so that a failed import can leave it so: every top-level
  // node the import linked is removed, the root too when the import made it, and the level
  // is the one before.
  struct ImportMark {
    bool m__BOOLEAN__HadRoot = false;
    std::uint32_t m__ULONG__Level = 0;
  };
  ImportMark MarkImport();
  void TakeBackImport(const ImportMark& p__Mark,
                      const std::vector<CHalvorin_FileTreeNode*>& p__VECTOR__TopLevel);

  // Sizes of the layout the tree would get now (both hierarchies in a Joliet tree).
  virtual std::uint64_t GetPathTableSizeInUCHARs();
  virtual std::uint64_t GetPathTableSizeInLBs();
  virtual std::uint64_t GetDirectoriesSizeInLBs();

  // The node accessors; false for a node that is not one of this tree's.
  bool GetNodePower(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
                    std::uint64_t* p__PULONGLONG__Power);
  bool GetNodeSystemTime(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
                         SYSTEMTIME* p__PSYSTEMTIME__Time);
  bool GetNodeISO9660DateTime(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
                              std::uint8_t* p__PUCHAR__Date);

  // The image stream: read under the tree lock.
  void Read(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;
  std::uint64_t GetSizeInUCHARs() override;
  void SeekImage();

  bool IsBuilt() const { return m__BOOLEAN__IsImageBuild; }
  std::uint32_t GetStartAddress() const { return m__ULONG__StartAddress; }

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
  bool IsImageBuilt() const override { return m__BOOLEAN__IsImageBuild; }
  void NodeRemoved(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node) override;

  // The caller's answer to a collision of kind 0 (ISO9660) or 1 (Joliet); the record's
  // identifier holds the answered name afterwards.
  std::uint32_t AskCollision(std::uint8_t p__UCHAR__Kind, const void* p__PVOID__Identifier,
                             std::size_t p__ULONG__Bytes,
                             CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Old,
                             CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__New,
                             HALVORIN_NAME_COLLISION_RECORD* p__PRecord);

  virtual bool IsJoliet() const { return false; }

  bool m__BOOLEAN__IsHoldFilesOpen;
  bool m__BOOLEAN__IsLongIdentifiers;
  bool m__BOOLEAN__IsImageBuild = false;
  std::uint32_t m__ULONG__StartAddress = 0;
  std::vector<std::uint8_t> m__PUCHAR__SystemStructures;
  std::unique_ptr<CHalvorin_MemoryFile> m__PCHalvorin_MemoryFile__SystemStructures;
  CHalvorin_ISO9660FileTreeNode* m__PCHalvorin_ISO9660FileTreeNode__BootImage = nullptr;
  std::uint8_t m__UCHAR__SystemType = 6;
  std::uint8_t m__UCHAR__BootMediaType = 2;

 public:
  struct Layout;

 private:
  void PlanLayout(Layout& p__Layout);
  // Probes the chain's disk files folder by folder ahead of the rewind (see
  // CHalvorin_UnLockedDiskFile::ProbeForRewind).
  void ProbeFilesForRewind();
  // Visits the chain's unlocked disk files in order while the visitor returns true.
  template <class F>
  void ForEachUnLockedFile(F p__Visit);
};

// A rewritten ISO9660 identifier from a collision answer: upper case, at most 12 characters
// before a ";1" (31 with long identifiers).
std::string HalvorinI_AnsweredIdentifier(const std::string& p__STRING__Answer,
                                         bool p__BOOLEAN__IsLongIdentifiers);
