// The export of the multisession import: an earlier session's files into a file tree.
#include "halvorin.h"
#include "lib/api/burner_handle.h"
#include "lib/api/export_frame.h"
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/mastering/iso9660/iso9660_file_tree.h"

HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_ImportTrack(
    void* p__PVOID__BurnerGrabber, void* p__PVOID__Tree, uint8_t p__UCHAR__TrackNumber,
    uint8_t p__BOOLEAN__IsJoliet, char* p__PCHAR__ExceptionText,
    uint32_t p__ULONG__ExceptionTextLength, uint32_t* p__PULONG__SystemError) {
  constexpr const char* kExport = "Halvorin_ISO9660JolietFileTree_ImportTrack";
  const HalvorinI_ExportPrefix prefix = HalvorinI_PrefixOf(
      p__PCHAR__ExceptionText, p__ULONG__ExceptionTextLength, p__PULONG__SystemError);
  return HalvorinI_RunExport(kExport, prefix, [&] {
    CHalvorin_CdvdBurnerGrabber* burner = HalvorinI_BurnerOf(p__PVOID__BurnerGrabber);
    auto* tree =
        p__PVOID__Tree ? HalvorinI_ObjectOf<CHalvorin_ISO9660FileTree>(p__PVOID__Tree) : nullptr;
    if (!burner || !tree)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "Halvorin:%s(): The handles %p, %p are not a burner/grabber and a "
                               "file tree!!!",
                               kExport, p__PVOID__BurnerGrabber, p__PVOID__Tree);
    burner->ImportTrack(tree, p__UCHAR__TrackNumber, p__BOOLEAN__IsJoliet != 0);
  });
}
