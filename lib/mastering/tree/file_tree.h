// The in-memory picture of what goes on a disc: nodes for disk entries, memory items and
// virtual directories, the walk that builds them from disk paths, and the callbacks that tell
// the caller what was added, removed or ignored and ask it about name collisions.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_set>

#include "halvorin.h"
#include "lib/core/critical_section_lock.h"
#include "lib/core/halvorin_object.h"
#include "lib/core/path_limit.h"

class CHalvorin_FileTree;
class CHalvorin_ProbeFolder;

inline constexpr std::uint32_t kHalvorinAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kHalvorinAttributeHidden = 0x02;
inline constexpr std::uint32_t kHalvorinAttributeDirectory = 0x10;
inline constexpr std::uint32_t kHalvorinAttributeArchive = 0x20;
inline constexpr std::uint32_t kHalvorinAttributeNormal = 0x80;

inline constexpr std::uint32_t kHalvorinNodeTypeImported = 1;
inline constexpr std::uint32_t kHalvorinNodeTypeDisk = 2;
inline constexpr std::uint32_t kHalvorinNodeTypeNoDiskPath = 3;

// Limits of the names a node keeps (characters, the terminator not counted: less than these).
inline constexpr std::size_t kHalvorinMaxShortName = 13;

class CHalvorin_FileTreeNode : public CHalvorin_Object {
 public:
  // p__LONGLONG__UnixTime: the node's time in seconds since 1970 (UTC).
  CHalvorin_FileTreeNode(const char* p__PCHAR__AbsolutePathAndFileName,
                         const char* p__PCHAR__LongFileName, const char* p__PCHAR__ShortFileName,
                         std::uint32_t p__ULONG__Attributes, std::uint64_t p__ULONGLONG__Size,
                         CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
                         std::uint32_t p__ULONG__NodeNumber, std::int64_t p__LONGLONG__UnixTime,
                         bool p__BOOLEAN__IsImport);

  // Rebuilds the disc identifiers from the names.
  virtual void RebuildIdentifier() {}

  bool IsDirectory() const { return (m__ULONG__Attributes & kHalvorinAttributeDirectory) != 0; }

  // Sibling links and the kid list (first and last kid).
  CHalvorin_FileTreeNode* m__PCHalvorin_FileTreeNode__Next = nullptr;
  CHalvorin_FileTreeNode* m__PCHalvorin_FileTreeNode__Previous = nullptr;
  CHalvorin_FileTreeNode* m__PCHalvorin_FileTreeNode__FirstKid = nullptr;
  CHalvorin_FileTreeNode* m__PCHalvorin_FileTreeNode__LastKid = nullptr;
  CHalvorin_FileTreeNode* m__PCHalvorin_FileTreeNode__Parent = nullptr;
  bool m__BOOLEAN__IsLinked = false;  // in its parent's kid list
  bool m__BOOLEAN__IsAdded = false;
  std::string m__STRING__AbsolutePath;
  std::string m__STRING__LongFileName;
  std::string m__STRING__ShortFileName;
  std::uint64_t m__ULONGLONG__SizeInUCHARs = 0;
  std::uint32_t m__ULONG__NodeNumber = 0;
  std::uint32_t m__ULONG__Depth = 1;
  std::uint32_t m__ULONG__Attributes = 0;
  SYSTEMTIME m__SYSTEMTIME__Time{};
  std::int64_t m__LONGLONG__UnixTime = 0;
  std::int32_t m__LONG__GMTOffset = 0;  // 15-minute units east of GMT at the node's time
  std::uint32_t m__ULONG__NodeType = kHalvorinNodeTypeDisk;
  // A file's size, a directory's sum of its linked kids' powers; kept by linking.
  std::uint64_t m__ULONGLONG__NodePowerInUCHARs = 0;
};

class CHalvorin_FileTree : public CHalvorin_Object {
 public:
  CHalvorin_FileTree(HALVORIN_CALLBACK p__HALVORIN_CALLBACK__Callback, void* p__PVOID__Context,
                     bool p__BOOLEAN__IsIgnore);
  ~CHalvorin_FileTree() override;

  // Time kind of disk entries: 0 creation (the birth time where the file system reports one,
  // else the last change time), 1 last access, any other value last write.
  void CreateFromRoot(const char* p__PCHAR__AbsolutePath, const char* p__PCHAR__NewName,
                      std::int32_t p__LONG__TimeKind,
                      CHalvorin_FileTreeNode** p__PPCHalvorin_FileTreeNode__Parent);
  void AddMemory(const std::uint8_t* p__PUCHAR__Block, std::uint64_t p__ULONGLONG__Size,
                 const char* p__PCHAR__Name, std::int32_t p__LONG__TimeKind,
                 CHalvorin_FileTreeNode** p__PPCHalvorin_FileTreeNode__Parent);
  bool RemoveFileTreeNode(CHalvorin_FileTreeNode** p__PPCHalvorin_FileTreeNode__Node);
  virtual bool SetNames(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
                        const char* p__PCHAR__LongFileName, const char* p__PCHAR__ShortFileName);

  // Accessors; a node that is not one of this tree's gives the neutral result.
  CHalvorin_FileTreeNode* GetRoot();
  CHalvorin_FileTreeNode* GetFirstKid(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node);
  CHalvorin_FileTreeNode* GetNextKid(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
                                     CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid);
  CHalvorin_FileTreeNode* GetParent(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node);
  std::uint32_t GetAttributes(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node);
  std::uint32_t GetNodeType(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node);
  // Fills a buffer of kHalvorinMaxPath bytes; false for a node not of this tree.
  bool GetFullPath(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node, char* p__PCHAR__Path);
  bool GetNames(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
                char* p__PCHAR__AbsolutePath, char* p__PCHAR__LongFileName,
                char* p__PCHAR__ShortFileName);
  std::uint32_t GetLevel();
  std::uint32_t GetNodeCount();
  bool IsNodeOfTree(const CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node);

  void Cancel() { m__BOOLEAN__IsCancelCreation.store(1); }

  std::atomic<std::uint8_t> m__BOOLEAN__IsCancelCreation{0};

 protected:
  virtual CHalvorin_FileTreeNode* NewMemoryNode(
      const std::uint8_t* p__PUCHAR__Block, const char* p__PCHAR__LongFileName,
      const char* p__PCHAR__ShortFileName, std::uint64_t p__ULONGLONG__Size,
      CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
      std::uint32_t p__ULONG__NodeNumber, std::int64_t p__LONGLONG__UnixTime) = 0;
  virtual CHalvorin_FileTreeNode* NewFileTreeNodeItem(
      const char* p__PCHAR__AbsolutePathAndFileName, const char* p__PCHAR__LongFileName,
      const char* p__PCHAR__ShortFileName, std::uint32_t p__ULONG__Attributes,
      std::uint64_t p__ULONGLONG__Size, CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
      std::uint32_t p__ULONG__NodeNumber, std::int64_t p__LONGLONG__UnixTime,
      bool p__BOOLEAN__IsImport);
  virtual void NodeAdded(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node);
  virtual void NodeRemoved(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node);
  virtual void KidLinked(CHalvorin_FileTreeNode*, CHalvorin_FileTreeNode*) {}
  // True when the new kid must be dropped.
  virtual bool CheckName(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
                         CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid) = 0;
  // Keep the sibling indexes of the derived trees; called for every link and unlink. A
  // KidIndexed that throws leaves the kid in no index.
  virtual void KidIndexed(CHalvorin_FileTreeNode*, CHalvorin_FileTreeNode*) {}
  virtual void KidUnindexed(CHalvorin_FileTreeNode*, CHalvorin_FileTreeNode*) {}
  // Changes are refused once the image is laid out.
  virtual bool IsImageBuilt() const { return false; }
  void ThrowIfBuilt(const char* p__PCHAR__Method) const;

  void CreateRootNode();
  // LinkKid, and when that throws (an index out of memory) the kid and its subtree deleted,
  // each node reported removed, before the exception goes on.
  void LinkKidOrDelete(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
                       CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid);
  void LinkKid(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
               CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid);
  void UnlinkKid(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Kid);
  void DeleteFileTreeNode(CHalvorin_FileTreeNode** p__PPCHalvorin_FileTreeNode__Node);
  // Takes a node out from under its parent and deletes it with everything under it.
  void RemoveLinkedNode(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node);
  // Counts and creates a node through NewFileTreeNodeItem; the count is taken back on failure.
  CHalvorin_FileTreeNode* CountAndCreate(
      const char* p__PCHAR__AbsolutePathAndFileName, const char* p__PCHAR__LongFileName,
      const char* p__PCHAR__ShortFileName, std::uint32_t p__ULONG__Attributes,
      std::uint64_t p__ULONGLONG__Size, CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
      std::int64_t p__LONGLONG__UnixTime, bool p__BOOLEAN__IsImport, const char* p__PCHAR__Method);
  // The root, or the node the caller's parent pointer names (a directory of this tree).
  CHalvorin_FileTreeNode* ResolveParent(
      CHalvorin_FileTreeNode** p__PPCHalvorin_FileTreeNode__Parent, const char* p__PCHAR__Method);
  void Callback(std::uint32_t p__ULONG__Reason, void* p__PVOID__Param1, void* p__PVOID__Param2);
  // Links a new top-level entry or drops it after CheckName; reason 2 for a missing node.
  void FinishAddition(const char* p__PCHAR__Path,
                      CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
                      CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent);

  HALVORIN_CALLBACK m__HALVORIN_CALLBACK__Callback;
  void* m__PVOID__Context;
  bool m__BOOLEAN__IsIgnore;
  CHalvorin_CriticalSection m__CRITICAL_SECTION__Tree;
  std::uint32_t m__ULONG__MaximumDepth = 0;
  std::uint32_t m__ULONG__NodeCount = 0;
  CHalvorin_FileTreeNode* m__PCHalvorin_FileTreeNode__Root = nullptr;
  // Every node alive in this tree: handles from callers are checked against it.
  std::unordered_set<const CHalvorin_FileTreeNode*> m__SET__Nodes;
  // While a disk folder's kids are created: the folder, open for their read probes.
  const CHalvorin_ProbeFolder* m__PCHalvorin_ProbeFolder__Kids = nullptr;

 private:
  void CreateFromRootChecked(const char* p__PCHAR__Path, const char* p__PCHAR__NewName,
                             std::int32_t p__LONG__TimeKind,
                             CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent);
  // The kids of a disk folder take their time of the given kind (see CreateFromRoot).
  CHalvorin_FileTreeNode* CreateFileTreeNodeAndKids(
      const std::string& p__STRING__Path, const std::string& p__STRING__LongFileName,
      const std::string& p__STRING__ShortFileName, std::uint32_t p__ULONG__Attributes,
      std::uint64_t p__ULONGLONG__Size, CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
      std::int64_t p__LONGLONG__UnixTime, std::int32_t p__LONG__TimeKind = 2);
  void DeleteSubtree(CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Node,
                     bool p__BOOLEAN__IsBase);
};

// The first characters of a name that fit in p__ULONG__Bytes bytes, not splitting a UTF-8
// sequence.
std::string HalvorinI_Utf8Prefix(const std::string& p__STRING__Text, std::size_t p__ULONG__Bytes);
