// Session-at-once exports: a list of files (audio files through the audio reader, any other
// file as it is), or a grabbed raw image through its descriptor.
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "lib/api/track_export_support.h"
#include "lib/audio/tidewell.h"
#include "lib/core/debug_trace.h"
#include "lib/core/grab/grab_file.h"
#include "lib/core/grab/image_descriptor.h"
#include "lib/core/grab/image_layout.h"
#include "lib/mastering/iso9660/iso9660_file_tree.h"
#include "lib/mastering/raw/iso9660_file_tree_mode2.h"
#include "lib/mastering/tree/file_objects.h"
#include "platform/fs/fs.h"

namespace {

// Post-gap after the last track of a list of files.
constexpr std::int32_t kLastPostGapInLBs = 600;

// The sources of a list, freed on every path; the list's pointers are cleared with them, so
// that no caller is left holding a deleted object.
struct SessionSources {
  SAO_TRACK_ARRAY* m__PSAO_TRACK_ARRAY__Tracks = nullptr;
  std::int32_t m__LONG__Count = 0;
  std::vector<std::unique_ptr<CHalvorin_File>> m__VECTOR__Files;
  std::vector<std::unique_ptr<CHalvorin_ISO9660FileTree>> m__VECTOR__Trees;
  std::vector<std::unique_ptr<CHalvorin_ISO9660FileTreeMode2>> m__VECTOR__Views;

  ~SessionSources() {
    for (std::int32_t i = 0; i < m__LONG__Count; ++i) {
      SAO_TRACK_ENTRY& e = m__PSAO_TRACK_ARRAY__Tracks->m__SAO_TRACK_ENTRY__Tracks[i];
      e.m__PVOID__File = nullptr;
      e.m__PVOID__Tree = nullptr;
      e.m__PVOID__BackSideTree = nullptr;
    }
  }
};

void* ChainHandle(CHalvorin_FileChain* p__PCHalvorin_FileChain__Chain) {
  return HalvorinI_HandleOf(p__PCHalvorin_FileChain__Chain);
}

// A file's tree: an empty tree whose chain holds just the file.
CHalvorin_ISO9660FileTree* AddTree(SessionSources& p__Sources, CHalvorin_File* p__PCHalvorin_File,
                                   const char* p__PCHAR__Export) {
  std::unique_ptr<CHalvorin_ISO9660FileTree> tree(
      new (std::nothrow) CHalvorin_ISO9660FileTree(nullptr, nullptr, false, false, false));
  if (!tree)
    HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0,
                             "\nHalvorin:%s(): m__PVOID__Tree == NULL!!!\n", p__PCHAR__Export);
  tree->AddChainTail(p__PCHalvorin_File);
  p__Sources.m__VECTOR__Trees.push_back(std::move(tree));
  return p__Sources.m__VECTOR__Trees.back().get();
}

template <class File>
CHalvorin_File* AddFile(SessionSources& p__Sources, const char* p__PCHAR__Name,
                        const char* p__PCHAR__Export) {
  std::unique_ptr<CHalvorin_File> file(new (std::nothrow) File(p__PCHAR__Name));
  if (!file)
    HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0,
                             "\nHalvorin:%s(): m__PVOID__File == NULL!!!\n", p__PCHAR__Export);
  p__Sources.m__VECTOR__Files.push_back(std::move(file));
  return p__Sources.m__VECTOR__Files.back().get();
}

}  // namespace

extern "C" {

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SessionAtOnce(
    HALVORIN_BURNER_PREFIX, SAO_TRACK_ARRAY* p__PSAO_TRACK_ARRAY__Tracks, uint8_t p__BOOLEAN__IsXA,
    uint8_t p__BOOLEAN__IsTestWrite, uint8_t p__BOOLEAN__IsMultiSession,
    uint32_t p__ULONG__ProgressInterval, uint32_t p__ULONG__BufferInterval) {
  constexpr const char* kExport = "Halvorin_CdvdBurnerGrabber_SessionAtOnce";
  return HalvorinI_RunExport(kExport, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&] {
    CHalvorin_CdvdBurnerGrabber* burner =
        HalvorinI_TrackBurnerOrThrow(p__PVOID__BurnerGrabber, kExport);
    SAO_TRACK_ARRAY* tracks = p__PSAO_TRACK_ARRAY__Tracks;
    if (!tracks) HalvorinI_RefuseArgument(kExport, "p__PSAO_TRACK_ARRAY__Tracks == NULL");
    const std::int32_t count = tracks->m__LONG__NumberOfTracks;
    // The whole list is checked before anything is made or the drive is touched.
    // Track numbers are two BCD digits: a CD holds 99 tracks at most.
    if (count < 1 || count > 99)
      HalvorinI_RefuseArgument(kExport, "The number of tracks is not 1..99");
    for (std::int32_t i = 0; i < count; ++i)
      if (!HalvorinI_IsTrackName(tracks->m__SAO_TRACK_ENTRY__Tracks[i].m__CHAR__FileName))
        HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                 "\nHalvorin:%s(): Track %ld has no file name!!!\n", kExport,
                                 static_cast<long>(i));

    SessionSources sources;
    sources.m__PSAO_TRACK_ARRAY__Tracks = tracks;
    sources.m__LONG__Count = count;
    for (std::int32_t i = 0; i < count; ++i) {
      SAO_TRACK_ENTRY& e = tracks->m__SAO_TRACK_ENTRY__Tracks[i];
      e.m__BOOLEAN__IsAudio = e.m__BOOLEAN__IsXA = e.m__BOOLEAN__IsRawPW = 0;
      e.m__PVOID__File = e.m__PVOID__Tree = e.m__PVOID__BackSideTree = nullptr;
    }
    for (std::int32_t i = 0; i < count; ++i) {
      SAO_TRACK_ENTRY& e = tracks->m__SAO_TRACK_ENTRY__Tracks[i];
      // The file opens by the name given: names differ by case on this file system.
      CHalvorin_File* file;
      if (Tidewell_CompressedFileSupportedIs(e.m__CHAR__FileName) == kTidewellStatusSuccess) {
        e.m__BOOLEAN__IsAudio = 1;
        file = AddFile<CHalvorin_TidewellFile>(sources, e.m__CHAR__FileName, kExport);
      } else {
        file = AddFile<CHalvorin_DiskFile>(sources, e.m__CHAR__FileName, kExport);
      }
      e.m__PVOID__File = HalvorinI_HandleOf(file);
      e.m__PVOID__Tree = ChainHandle(AddTree(sources, file, kExport));
    }
    if (p__BOOLEAN__IsXA) {
      for (std::int32_t i = 0; i < count; ++i) {
        SAO_TRACK_ENTRY& e = tracks->m__SAO_TRACK_ENTRY__Tracks[i];
        if (e.m__BOOLEAN__IsAudio) continue;
        std::unique_ptr<CHalvorin_ISO9660FileTreeMode2> view(
            new (std::nothrow) CHalvorin_ISO9660FileTreeMode2(sources.m__VECTOR__Trees[i].get()));
        if (!view)
          HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0,
                                   "\nHalvorin:%s(): m__PVOID__BackSideTree == NULL!!!\n", kExport);
        e.m__PVOID__BackSideTree = ChainHandle(view.get());
        e.m__PVOID__Tree = e.m__PVOID__BackSideTree;
        sources.m__VECTOR__Views.push_back(std::move(view));
      }
    }
    tracks->m__SAO_TRACK_ENTRY__Tracks[count - 1].m__LONG__PostGapInLBs = kLastPostGapInLBs;
    burner->SessionAtOnce(tracks, p__BOOLEAN__IsXA != 0, p__BOOLEAN__IsTestWrite != 0,
                          p__BOOLEAN__IsMultiSession != 0, p__ULONG__ProgressInterval,
                          p__ULONG__BufferInterval, false);
  });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW(
    HALVORIN_BURNER_PREFIX, const char* p__PCHAR__DescriptorFileName,
    uint8_t p__BOOLEAN__IsTestWrite, uint32_t p__ULONG__ProgressInterval,
    uint32_t p__ULONG__BufferInterval, uint8_t p__BOOLEAN__IsWriteLeadIn) {
  constexpr const char* kExport = "Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW";
  return HalvorinI_RunExport(kExport, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&] {
    CHalvorin_CdvdBurnerGrabber* burner =
        HalvorinI_TrackBurnerOrThrow(p__PVOID__BurnerGrabber, kExport);
    if (!p__PCHAR__DescriptorFileName)
      HalvorinI_RefuseArgument(kExport, "p__PCHAR__DescriptorFileName == NULL");
    std::string full;
    const std::uint32_t pathStatus = HalvorinI_GetFullPathName(p__PCHAR__DescriptorFileName, &full);
    if (pathStatus)
      HalvorinI_ThrowException(kHalvorinStatusSystemCall, pathStatus,
                               "\nHalvorin:%s(): GetFullPathName( ... ) failed, status %ld ( 0x%X "
                               ")!!!\n",
                               kExport, static_cast<long>(pathStatus),
                               static_cast<unsigned>(pathStatus));
    const std::string folder = platform::fs::ParentFolder(full);

    auto tracks = std::make_unique<SAO_TRACK_ARRAY>();
    std::memset(tracks.get(), 0, sizeof *tracks);
    std::int32_t mode = 1;
    char dataFile[kHalvorinMaxPath] = {};
    const std::uint32_t parseStatus =
        HalvorinI_ParseMDS(full.c_str(), tracks.get(), &mode, dataFile, folder.c_str());
    if (parseStatus)
      HalvorinI_ThrowException(kHalvorinStatusSystemCall, parseStatus,
                               "\nHalvorin:%s(): HalvorinI_ParseMDS( ... ) failed, status %ld ( "
                               "0x%X )!!!\n",
                               kExport, static_cast<long>(parseStatus),
                               static_cast<unsigned>(parseStatus));
    const std::string image = folder + dataFile;
    DebugTrace("\nHalvorin:%s(): MDF file name and path '%s'\n", kExport, image.c_str());
    const bool isXA = mode == 2;

    SessionSources sources;
    sources.m__PSAO_TRACK_ARRAY__Tracks = tracks.get();
    sources.m__LONG__Count = 1;
    tracks->m__LONG__NumberOfTracks = 1;
    SAO_TRACK_ENTRY& e = tracks->m__SAO_TRACK_ENTRY__Tracks[0];
    e.m__BOOLEAN__IsRawPW = 1;
    CHalvorin_File* file = AddFile<CHalvorin_DiskFile>(sources, image.c_str(), kExport);
    e.m__PVOID__File = HalvorinI_HandleOf(file);
    e.m__PVOID__Tree = ChainHandle(AddTree(sources, file, kExport));
    // The pauses between the tracks are where the image's own Q has them, not 150 sectors of
    // every track whatever the disc held.
    // Their controls are those of the Q the image carries, which is written as it is, so that
    // the TOC agrees with it; and its tracks must be numbered as they will be.
    const HalvorinI_ImageLayout layout = HalvorinI_ReadImageLayout(image.c_str());
    HalvorinI_CheckImageTrackNumbers(layout, kExport);
    auto forms = std::make_unique<HalvorinI_TrackForms>();
    HalvorinI_ApplyImagePauses(layout, tracks.get(), forms.get());
    burner->SessionAtOnce(tracks.get(), isXA, p__BOOLEAN__IsTestWrite != 0, false,
                          p__ULONG__ProgressInterval, p__ULONG__BufferInterval,
                          p__BOOLEAN__IsWriteLeadIn != 0, forms.get());
  });
}

}  // extern "C"
