// Exports of the UDF builder: plain functions over the caller's tree items and UDF object.
#include <cstring>
#include <memory>

#include "halvorin.h"
#include "lib/api/export_frame.h"
#include "lib/mastering/udf/udf_builder.h"
#include "lib/mastering/udf/udf_ifo_patch.h"
#include "lib/mastering/udf/udf_tree_items.h"

uint32_t Halvorin_UDF_FormatTreeItemAsFile(HALVORIN_UDF_TREE_ITEM* p__PItem,
                                           uint32_t p__ULONG__Identifier,
                                           const char* p__PCHAR__Name, const char* p__PCHAR__Path,
                                           HALVORIN_UDF_TREE_ITEM* p__PParent) {
  return HalvorinI_UdfFormatFile(p__PItem, p__ULONG__Identifier, p__PCHAR__Name, p__PCHAR__Path,
                                 p__PParent);
}

uint32_t Halvorin_UDF_FormatTreeItemAsDirectory(HALVORIN_UDF_TREE_ITEM* p__PItem,
                                                uint32_t p__ULONG__Identifier,
                                                const char* p__PCHAR__Name,
                                                HALVORIN_UDF_TREE_ITEM* p__PParent) {
  return HalvorinI_UdfFormatDirectory(p__PItem, p__ULONG__Identifier, p__PCHAR__Name, p__PParent);
}

HALVORIN_STATUS Halvorin_UDF_Create(uint8_t* p__PUCHAR__Head, uint32_t p__ULONG__HeadSize,
                                    uint8_t* p__PUCHAR__Tail, uint32_t p__ULONG__TailSize, uint8_t*,
                                    HALVORIN_UDF_TREE_ITEM* p__PRoot,
                                    HALVORIN_UDF_TREE_ITEM* p__PVideoTs,
                                    HALVORIN_UDF_TREE_ITEM* p__PAudioTs,
                                    HALVORIN_UDF_OBJECT* p__PObject, char* p__PCHAR__ExceptionText,
                                    uint32_t p__ULONG__ExceptionTextLength,
                                    uint32_t* p__PULONG__SystemError,
                                    const char* p__PCHAR__VolumeLabel) {
  constexpr const char* kExport = "Halvorin_UDF_Create";
  if (!HalvorinI_IsStarted()) {
    DebugTrace("\nHalvorin:%s(): EXITing with failure, was not initialized\n", kExport);
    return HALVORIN_STATUS_NOT_INITIALIZED;
  }
  const HalvorinI_ExportPrefix prefix = HalvorinI_PrefixOf(
      p__PCHAR__ExceptionText, p__ULONG__ExceptionTextLength, p__PULONG__SystemError);
  return HalvorinI_RunExport(kExport, prefix, [&] {
    if (!p__PObject)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "Halvorin:%s(): The UDF object pointer is NULL!!!", kExport);
    std::memset(p__PObject, 0, sizeof *p__PObject);
    HalvorinI_UdfImage image = HalvorinI_UdfBuild(
        p__PUCHAR__Head, p__ULONG__HeadSize, p__PUCHAR__Tail, p__ULONG__TailSize, p__PRoot,
        p__PVideoTs, p__PAudioTs, p__PCHAR__VolumeLabel ? p__PCHAR__VolumeLabel : "");
    p__PObject->m__PVOID__HeadFile = HalvorinI_HandleOf(image.m__PHead);
    p__PObject->m__PVOID__SystemStructuresFile = HalvorinI_HandleOf(image.m__PSystemStructures);
    p__PObject->m__PVOID__TailFile = HalvorinI_HandleOf(image.m__PTail);
    // The file tree's root object, as the file-tree exports take it.
    p__PObject->m__PVOID__Tree =
        HalvorinI_HandleOf(static_cast<CHalvorin_FileTree*>(image.m__PTree.release()));
  });
}

HALVORIN_STATUS Halvorin_UDF_PatchIfoTable(HALVORIN_UDF_TREE_ITEM* p__PItem,
                                           uint32_t p__ULONG__TitleSetAddress) {
  return HalvorinI_UdfPatchIfoTable(p__PItem, p__ULONG__TitleSetAddress);
}

HALVORIN_STATUS Halvorin_UDF_PatchIfoHeader(HALVORIN_UDF_TREE_ITEM* p__PItem,
                                            uint32_t p__ULONG__IfoLastAddress,
                                            uint32_t p__ULONG__BupLastAddress) {
  return HalvorinI_UdfPatchIfoHeader(p__PItem, p__ULONG__IfoLastAddress, p__ULONG__BupLastAddress);
}

void Halvorin_UDF_CleanUp(HALVORIN_UDF_TREE_ITEM* p__PItems, uint32_t p__ULONG__Count) {
  HalvorinI_UdfCleanUp(p__PItems, p__ULONG__Count);
}

void Halvorin_UDF_Destroy(HALVORIN_UDF_TREE_ITEM* p__PRoot, HALVORIN_UDF_OBJECT* p__PObject) {
  if (!p__PObject) return;
  HalvorinI_UdfForgetReaders(p__PRoot);
  // The image owns its readers and its head, system and tail files.
  std::unique_ptr<CHalvorin_UDFImageTree> tree(
      HalvorinI_ObjectOf<CHalvorin_UDFImageTree>(p__PObject->m__PVOID__Tree));
  std::memset(p__PObject, 0, sizeof *p__PObject);
}
