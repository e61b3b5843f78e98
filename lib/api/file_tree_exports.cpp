// Exports of the file trees: thin frames over CHalvorin_ISO9660FileTree and its Joliet kind.
// Handles are checked (a foreign or null tree or node gives a status or the neutral result).
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "halvorin.h"
#include "lib/api/export_frame.h"
#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/mastering/iso9660/iso9660_file_tree.h"
#include "lib/mastering/iso9660/joliet_file_tree.h"
#include "platform/fs/fs.h"

namespace {

CHalvorin_ISO9660FileTree* TreeOf(void* p__PVOID__Tree) {
  return p__PVOID__Tree ? HalvorinI_ObjectOf<CHalvorin_ISO9660FileTree>(p__PVOID__Tree) : nullptr;
}

// The tree of a handle, or status 2.
CHalvorin_ISO9660FileTree* TreeOrThrow(void* p__PVOID__Tree, const char* p__PCHAR__Export) {
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  if (!tree)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "Halvorin:%s(): The tree handle %p is not a file tree!!!",
                             p__PCHAR__Export, p__PVOID__Tree);
  return tree;
}

// A node of the tree, or null.
CHalvorin_FileTreeNode* NodeOf(CHalvorin_ISO9660FileTree* p__PTree, void* p__PVOID__Node) {
  auto* node = static_cast<CHalvorin_FileTreeNode*>(p__PVOID__Node);
  return p__PTree && p__PTree->IsNodeOfTree(node) ? node : nullptr;
}

const char* OrEmpty(const char* p) {
  return p ? p : "";
}

HALVORIN_STATUS Build(const char* p__PCHAR__Export, void* p__PVOID__Tree,
                      const HalvorinI_ExportPrefix& p__Prefix, int32_t start, uint32_t unused,
                      uint8_t xa, const char* label, const char* publisher, const char* application,
                      const char* system, const char* copyright, const char* biblio,
                      const char* creation, const char* modification, const char* expiration,
                      const char* effective) {
  return HalvorinI_RunExport(p__PCHAR__Export, p__Prefix, [&] {
    CHalvorin_ISO9660FileTree* tree = TreeOrThrow(p__PVOID__Tree, p__PCHAR__Export);
    tree->BuildImage(start, unused, xa != 0, OrEmpty(label), OrEmpty(publisher),
                     OrEmpty(application), OrEmpty(system), OrEmpty(copyright), OrEmpty(biblio),
                     OrEmpty(creation), OrEmpty(modification), OrEmpty(expiration),
                     OrEmpty(effective));
    tree->SeekImage();
  });
}

// The caller's parent handle, checked against the tree.
CHalvorin_FileTreeNode** ParentOrThrow(CHalvorin_ISO9660FileTree* p__PTree,
                                       void** p__PPVOID__Parent, const char* p__PCHAR__Export) {
  if (!p__PPVOID__Parent || !*p__PPVOID__Parent)
    return reinterpret_cast<CHalvorin_FileTreeNode**>(p__PPVOID__Parent);
  if (!NodeOf(p__PTree, *p__PPVOID__Parent))
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "Halvorin:%s(): The parent handle %p is not a node of the tree!!!",
                             p__PCHAR__Export, *p__PPVOID__Parent);
  return reinterpret_cast<CHalvorin_FileTreeNode**>(p__PPVOID__Parent);
}

}  // namespace

HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_Create(
    void** p__PPVOID__Tree, char* p__PCHAR__ExceptionText, uint32_t p__ULONG__ExceptionTextLength,
    uint32_t* p__PULONG__SystemError, HALVORIN_CALLBACK p__HALVORIN_CALLBACK__Callback,
    void* p__PVOID__Context, uint8_t p__BOOLEAN__IsIgnore, uint8_t p__BOOLEAN__IsHoldFilesOpen,
    uint8_t p__BOOLEAN__IsLongIdentifiers, uint8_t p__BOOLEAN__IsJoliet) {
  return HalvorinI_RunCreatingExport(
      "Halvorin_ISO9660JolietFileTree_Create", p__PPVOID__Tree,
      HalvorinI_PrefixOf(p__PCHAR__ExceptionText, p__ULONG__ExceptionTextLength,
                         p__PULONG__SystemError),
      [&]() -> std::unique_ptr<CHalvorin_Object> {
        std::unique_ptr<CHalvorin_ISO9660FileTree> tree;
        if (p__BOOLEAN__IsJoliet)
          tree = std::make_unique<CHalvorin_JolietFileTree>(
              p__HALVORIN_CALLBACK__Callback, p__PVOID__Context, p__BOOLEAN__IsIgnore != 0,
              p__BOOLEAN__IsHoldFilesOpen != 0, p__BOOLEAN__IsLongIdentifiers != 0);
        else
          tree = std::make_unique<CHalvorin_ISO9660FileTree>(
              p__HALVORIN_CALLBACK__Callback, p__PVOID__Context, p__BOOLEAN__IsIgnore != 0,
              p__BOOLEAN__IsHoldFilesOpen != 0, p__BOOLEAN__IsLongIdentifiers != 0);
        // The handle is the file tree's root object, so that Halvorin_Destroy and the checks agree.
        return std::unique_ptr<CHalvorin_Object>(static_cast<CHalvorin_FileTree*>(tree.release()));
      });
}

uint32_t Halvorin_ISO9660JolietFileTree_GetLevel(void* p__PVOID__Tree) {
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  return tree ? tree->GetLevel() : 0;
}

HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_BuildImage(
    void* p__PVOID__Tree, char* p__PCHAR__ExceptionText, uint32_t p__ULONG__ExceptionTextLength,
    uint32_t* p__PULONG__SystemError, int32_t p__LONG__StartAddress, uint32_t p__ULONG__Unused,
    uint8_t p__BOOLEAN__IsXA, const char* p__PCHAR__VolumeLabel, const char* p__PCHAR__Publisher,
    const char* p__PCHAR__Application) {
  return Build("Halvorin_ISO9660JolietFileTree_BuildImage", p__PVOID__Tree,
               HalvorinI_PrefixOf(p__PCHAR__ExceptionText, p__ULONG__ExceptionTextLength,
                                  p__PULONG__SystemError),
               p__LONG__StartAddress, p__ULONG__Unused, p__BOOLEAN__IsXA, p__PCHAR__VolumeLabel,
               p__PCHAR__Publisher, p__PCHAR__Application, "", "", "", "", "", "", "");
}

HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_BuildImageEx(
    void* p__PVOID__Tree, char* p__PCHAR__ExceptionText, uint32_t p__ULONG__ExceptionTextLength,
    uint32_t* p__PULONG__SystemError, int32_t p__LONG__StartAddress, uint32_t p__ULONG__Unused,
    uint8_t p__BOOLEAN__IsXA, const char* p__PCHAR__VolumeLabel, const char* p__PCHAR__Publisher,
    const char* p__PCHAR__Application, const char* p__PCHAR__SystemIdentifier,
    const char* p__PCHAR__CopyrightFile, const char* p__PCHAR__BibliographicFile,
    const char* p__PCHAR__CreationDate, const char* p__PCHAR__ModificationDate,
    const char* p__PCHAR__ExpirationDate, const char* p__PCHAR__EffectiveDate) {
  return Build("Halvorin_ISO9660JolietFileTree_BuildImageEx", p__PVOID__Tree,
               HalvorinI_PrefixOf(p__PCHAR__ExceptionText, p__ULONG__ExceptionTextLength,
                                  p__PULONG__SystemError),
               p__LONG__StartAddress, p__ULONG__Unused, p__BOOLEAN__IsXA, p__PCHAR__VolumeLabel,
               p__PCHAR__Publisher, p__PCHAR__Application, p__PCHAR__SystemIdentifier,
               p__PCHAR__CopyrightFile, p__PCHAR__BibliographicFile, p__PCHAR__CreationDate,
               p__PCHAR__ModificationDate, p__PCHAR__ExpirationDate, p__PCHAR__EffectiveDate);
}

uint32_t Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(void* p__PVOID__Tree,
                                                        uint32_t* p__PULONG__High) {
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  const uint64_t size = tree ? tree->GetSizeInUCHARs() : 0;
  if (p__PULONG__High) *p__PULONG__High = static_cast<uint32_t>(size >> 32);
  return static_cast<uint32_t>(size);
}

HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_Read(
    void* p__PVOID__Tree, char* p__PCHAR__ExceptionText, uint32_t p__ULONG__ExceptionTextLength,
    uint32_t* p__PULONG__SystemError, int32_t p__LONG__Count, void* p__PVOID__Buffer) {
  return HalvorinI_RunExport(
      "Halvorin_ISO9660JolietFileTree_Read",
      HalvorinI_PrefixOf(p__PCHAR__ExceptionText, p__ULONG__ExceptionTextLength,
                         p__PULONG__SystemError),
      [&] {
        CHalvorin_ISO9660FileTree* tree =
            TreeOrThrow(p__PVOID__Tree, "Halvorin_ISO9660JolietFileTree_Read");
        if (p__LONG__Count < 0 || (!p__PVOID__Buffer && p__LONG__Count > 0))
          HalvorinI_ThrowException(
              kHalvorinStatusInvalidArgument, 0,
              "Halvorin:Halvorin_ISO9660JolietFileTree_Read(): count %ld or buffer %p is "
              "invalid!!!",
              static_cast<long>(p__LONG__Count), p__PVOID__Buffer);
        tree->Read(static_cast<uint64_t>(p__LONG__Count), static_cast<uint8_t*>(p__PVOID__Buffer));
      });
}

HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_SeekToBegin(void* p__PVOID__Tree,
                                                           char* p__PCHAR__ExceptionText,
                                                           uint32_t p__ULONG__ExceptionTextLength,
                                                           uint32_t* p__PULONG__SystemError) {
  return HalvorinI_RunExport(
      "Halvorin_ISO9660JolietFileTree_SeekToBegin",
      HalvorinI_PrefixOf(p__PCHAR__ExceptionText, p__ULONG__ExceptionTextLength,
                         p__PULONG__SystemError),
      [&] {
        TreeOrThrow(p__PVOID__Tree, "Halvorin_ISO9660JolietFileTree_SeekToBegin")->SeekImage();
      });
}

HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_Add(
    void* p__PVOID__Tree, char* p__PCHAR__ExceptionText, uint32_t p__ULONG__ExceptionTextLength,
    uint32_t* p__PULONG__SystemError, const char* p__PCHAR__AbsolutePath,
    const char* p__PCHAR__Name, int32_t p__LONG__TimeKind, void** p__PPVOID__Parent) {
  return HalvorinI_RunExport(
      "Halvorin_ISO9660JolietFileTree_Add",
      HalvorinI_PrefixOf(p__PCHAR__ExceptionText, p__ULONG__ExceptionTextLength,
                         p__PULONG__SystemError),
      [&] {
        CHalvorin_ISO9660FileTree* tree =
            TreeOrThrow(p__PVOID__Tree, "Halvorin_ISO9660JolietFileTree_Add");
        CHalvorin_FileTreeNode** parent =
            ParentOrThrow(tree, p__PPVOID__Parent, "Halvorin_ISO9660JolietFileTree_Add");
        if (!p__PCHAR__AbsolutePath)
          return tree->CreateFromRoot(nullptr, p__PCHAR__Name, p__LONG__TimeKind, parent);
        const std::size_t n = strnlen(p__PCHAR__AbsolutePath, kHalvorinMaxPath);
        if (n >= kHalvorinMaxPath)
          HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                   "Halvorin:Halvorin_ISO9660JolietFileTree_Add(): the path is %zu "
                                   "characters or longer, more "
                                   "than the %zu the buffer holds!!!",
                                   kHalvorinMaxPath, kHalvorinMaxPath - 1);
        std::string path(p__PCHAR__AbsolutePath, n);
        if (!path.empty() && path.back() == '\\') path.pop_back();
        if (path.size() == 2 && path[1] == ':') {
          path += '\\';
          DebugTrace("\nHalvorin:Halvorin_ISO9660JolietFileTree_Add(): Added backslash...\n");
        }
        tree->CreateFromRoot(path.c_str(), p__PCHAR__Name, p__LONG__TimeKind, parent);
      });
}

uint8_t Halvorin_ISO9660JolietFileTree_Remove(void* p__PVOID__Tree, void** p__PPVOID__Node) {
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  if (!tree || !p__PPVOID__Node || !NodeOf(tree, *p__PPVOID__Node)) return 0;
  auto* node = static_cast<CHalvorin_FileTreeNode*>(*p__PPVOID__Node);
  const bool found = tree->RemoveFileTreeNode(&node);
  if (!node) *p__PPVOID__Node = nullptr;
  return found ? 1 : 0;
}

void Halvorin_ISO9660JolietFileTree_Cancel(void* p__PVOID__Tree) {
  if (CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree)) tree->Cancel();
}

void* Halvorin_ISO9660JolietFileTree_GetRoot(void* p__PVOID__Tree) {
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  return tree ? tree->GetRoot() : nullptr;
}

void* Halvorin_ISO9660JolietFileTree_GetFirstKid(void* p__PVOID__Tree, void* p__PVOID__Node) {
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  return tree ? tree->GetFirstKid(static_cast<CHalvorin_FileTreeNode*>(p__PVOID__Node)) : nullptr;
}

void* Halvorin_ISO9660JolietFileTree_GetNextKid(void* p__PVOID__Tree, void* p__PVOID__Node,
                                                void* p__PVOID__Kid) {
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  return tree ? tree->GetNextKid(static_cast<CHalvorin_FileTreeNode*>(p__PVOID__Node),
                                 static_cast<CHalvorin_FileTreeNode*>(p__PVOID__Kid))
              : nullptr;
}

void* Halvorin_ISO9660JolietFileTree_GetParent(void* p__PVOID__Tree, void* p__PVOID__Node) {
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  return tree ? tree->GetParent(static_cast<CHalvorin_FileTreeNode*>(p__PVOID__Node)) : nullptr;
}

void Halvorin_ISO9660JolietFileTree_GetNames(void* p__PVOID__Tree, void* p__PVOID__Node,
                                             char* p__PCHAR__AbsolutePath,
                                             char* p__PCHAR__LongFileName,
                                             char* p__PCHAR__ShortFileName) {
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  if (!tree) {
    for (char* b : {p__PCHAR__AbsolutePath, p__PCHAR__LongFileName, p__PCHAR__ShortFileName})
      if (b) std::memset(b, 0, kHalvorinMaxPath);
    return;
  }
  tree->GetNames(static_cast<CHalvorin_FileTreeNode*>(p__PVOID__Node), p__PCHAR__AbsolutePath,
                 p__PCHAR__LongFileName, p__PCHAR__ShortFileName);
  if (p__PCHAR__AbsolutePath && std::strcmp(p__PCHAR__AbsolutePath, ":") == 0)
    p__PCHAR__AbsolutePath[0] = 0;
}

uint8_t Halvorin_ISO9660JolietFileTree_SetNames(void* p__PVOID__Tree, void* p__PVOID__Node,
                                                const char*, const char* p__PCHAR__LongFileName,
                                                const char* p__PCHAR__ShortFileName) {
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  return tree && tree->SetNames(static_cast<CHalvorin_FileTreeNode*>(p__PVOID__Node),
                                p__PCHAR__LongFileName, p__PCHAR__ShortFileName)
             ? 1
             : 0;
}

uint32_t Halvorin_ISO9660JolietFileTree_GetAttributes(void* p__PVOID__Tree, void* p__PVOID__Node) {
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  return tree ? tree->GetAttributes(static_cast<CHalvorin_FileTreeNode*>(p__PVOID__Node)) : 0;
}

uint32_t Halvorin_ISO9660JolietFileTree_GetNodePowerInUCHARs(void* p__PVOID__Tree,
                                                             void* p__PVOID__Node,
                                                             uint32_t* p__PULONG__High) {
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  uint64_t power = 0;
  if (tree) tree->GetNodePower(static_cast<CHalvorin_FileTreeNode*>(p__PVOID__Node), &power);
  if (p__PULONG__High) *p__PULONG__High = static_cast<uint32_t>(power >> 32);
  return static_cast<uint32_t>(power);
}

HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_AddMemory(
    void* p__PVOID__Tree, char* p__PCHAR__ExceptionText, uint32_t p__ULONG__ExceptionTextLength,
    uint32_t* p__PULONG__SystemError, const void* p__PVOID__Block, uint32_t p__ULONG__SizeLow,
    uint32_t p__ULONG__SizeHigh, const char* p__PCHAR__Name, int32_t p__LONG__TimeKind,
    void** p__PPVOID__Parent) {
  return HalvorinI_RunExport(
      "Halvorin_ISO9660JolietFileTree_AddMemory",
      HalvorinI_PrefixOf(p__PCHAR__ExceptionText, p__ULONG__ExceptionTextLength,
                         p__PULONG__SystemError),
      [&] {
        CHalvorin_ISO9660FileTree* tree =
            TreeOrThrow(p__PVOID__Tree, "Halvorin_ISO9660JolietFileTree_AddMemory");
        CHalvorin_FileTreeNode** parent =
            ParentOrThrow(tree, p__PPVOID__Parent, "Halvorin_ISO9660JolietFileTree_AddMemory");
        const uint64_t size = (static_cast<uint64_t>(p__ULONG__SizeHigh) << 32) | p__ULONG__SizeLow;
        tree->AddMemory(static_cast<const uint8_t*>(p__PVOID__Block), size, p__PCHAR__Name,
                        p__LONG__TimeKind, parent);
      });
}

HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_SetBootImage(
    void* p__PVOID__Tree, const char* p__PCHAR__BootImagePath, uint8_t p__UCHAR__SystemType,
    uint8_t p__UCHAR__BootMediaType, char* p__PCHAR__ExceptionText,
    uint32_t p__ULONG__ExceptionTextLength, uint32_t* p__PULONG__SystemError) {
  const HalvorinI_ExportPrefix prefix = HalvorinI_PrefixOf(
      p__PCHAR__ExceptionText, p__ULONG__ExceptionTextLength, p__PULONG__SystemError);
  const auto info =
      p__PCHAR__BootImagePath ? platform::fs::Stat(p__PCHAR__BootImagePath) : std::nullopt;
  if (TreeOf(p__PVOID__Tree) && (!info || info->type != platform::fs::EntryType::Regular)) {
    const uint32_t error = 2;  // file not found
    if (p__PULONG__SystemError) *p__PULONG__SystemError = error;
    if (p__PCHAR__ExceptionText && p__ULONG__ExceptionTextLength) {
      std::snprintf(p__PCHAR__ExceptionText, p__ULONG__ExceptionTextLength,
                    "Halvorin:Halvorin_ISO9660JolietFileTree_SetBootImage(): CreateFile( '%s' ) "
                    "failed, status %ld ( 0x%X )",
                    OrEmpty(p__PCHAR__BootImagePath), static_cast<long>(error), error);
    }
    return HALVORIN_STATUS_SYSTEM_CALL;
  }
  return HalvorinI_RunExport("Halvorin_ISO9660JolietFileTree_SetBootImage", prefix, [&] {
    CHalvorin_ISO9660FileTree* tree =
        TreeOrThrow(p__PVOID__Tree, "Halvorin_ISO9660JolietFileTree_SetBootImage");
    tree->SetBootImage(p__PCHAR__BootImagePath, "boot.img", 0,
                       static_cast<int64_t>(std::time(nullptr)), info->size, p__UCHAR__SystemType,
                       p__UCHAR__BootMediaType);
  });
}

HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_GetFileSizeInUCHARs(void* p__PVOID__Tree,
                                                                   void* p__PVOID__Node,
                                                                   uint64_t* p__PULONGLONG__Size) {
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  if (!p__PULONGLONG__Size) {
    DebugTrace(
        "\nHalvorin:Halvorin_ISO9660JolietFileTree_GetFileSizeInUCHARs(): Size pointer is "
        "NULL!!!\n");
    return HALVORIN_STATUS_INVALID_ARGUMENT;
  }
  CHalvorin_FileTreeNode* node = NodeOf(tree, p__PVOID__Node);
  if (!node) return HALVORIN_STATUS_INVALID_ARGUMENT;
  if (tree->GetAttributes(node) & kHalvorinAttributeDirectory) {
    DebugTrace(
        "\nHalvorin:Halvorin_ISO9660JolietFileTree_GetFileSizeInUCHARs(): Node is a directory, not "
        "a file!!!\n");
    return HALVORIN_STATUS_INTERNAL_STATE;
  }
  uint64_t power = 0;
  tree->GetNodePower(node, &power);
  *p__PULONGLONG__Size = power;
  return HALVORIN_STATUS_SUCCESS;
}

HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_GetNodeSystemTime(void* p__PVOID__Tree,
                                                                 void* p__PVOID__Node,
                                                                 SYSTEMTIME* p__PSYSTEMTIME__Time) {
  if (!p__PSYSTEMTIME__Time) {
    DebugTrace(
        "\nHalvorin:Halvorin_ISO9660JolietFileTree_GetNodeSystemTime(): System time pointer is "
        "NULL!!!\n");
    return HALVORIN_STATUS_INVALID_ARGUMENT;
  }
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  CHalvorin_FileTreeNode* node = NodeOf(tree, p__PVOID__Node);
  if (!node) return HALVORIN_STATUS_INVALID_ARGUMENT;
  tree->GetNodeSystemTime(node, p__PSYSTEMTIME__Time);
  return HALVORIN_STATUS_SUCCESS;
}

HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_GetNodeISO9660DateTime(
    void* p__PVOID__Tree, void* p__PVOID__Node, uint8_t* p__PUCHAR__DateTime) {
  if (!p__PUCHAR__DateTime) {
    DebugTrace(
        "\nHalvorin:Halvorin_ISO9660JolietFileTree_GetNodeISO9660DateTime(): ISO9660 date and time "
        "pointer is NULL!!!\n");
    return HALVORIN_STATUS_INVALID_ARGUMENT;
  }
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  CHalvorin_FileTreeNode* node = NodeOf(tree, p__PVOID__Node);
  if (!node) return HALVORIN_STATUS_INVALID_ARGUMENT;
  tree->GetNodeISO9660DateTime(node, p__PUCHAR__DateTime);
  return HALVORIN_STATUS_SUCCESS;
}

uint32_t Halvorin_ISO9660JolietFileTree_GetFullPath(void* p__PVOID__Tree, void* p__PVOID__Node,
                                                    char* p__PCHAR__FullPath) {
  CHalvorin_ISO9660FileTree* tree = TreeOf(p__PVOID__Tree);
  CHalvorin_FileTreeNode* node = NodeOf(tree, p__PVOID__Node);
  if (!node) return 0;
  if (p__PCHAR__FullPath) std::memset(p__PCHAR__FullPath, 0, kHalvorinMaxPath);
  tree->GetFullPath(node, p__PCHAR__FullPath);
  return tree->GetNodeType(node);
}
