// Disc-at-once exports: the raw views over a list of files or over a built tree, written with
// PQ or with raw P-W subchannel.
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "lib/api/track_export_support.h"
#include "lib/audio/tidewell.h"
#include "lib/core/debug_trace.h"
#include "lib/core/grab/image_descriptor.h"
#include "lib/core/grab/image_layout.h"
#include "lib/mastering/iso9660/iso9660_file_tree.h"
#include "lib/mastering/raw/iso9660_file_tree_raw.h"
#include "lib/mastering/tree/file_objects.h"

namespace {

struct DiscAtOnceWriter {
  const char* m__PCHAR__FromFile;
  const char* m__PCHAR__FromTree;
  bool m__BOOLEAN__IsRawPW;
};

constexpr DiscAtOnceWriter kPQ{"Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile",
                               "Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromTree", false};
constexpr DiscAtOnceWriter kRawPW{"Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile",
                                  "Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree", true};

std::unique_ptr<CHalvorin_ISO9660FileTreeRaw> MakeView(const DiscAtOnceWriter& p__Writer,
                                                       CHalvorin_FileChain* p__PSource,
                                                       const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
                                                       bool p__BOOLEAN__IsXA,
                                                       bool p__BOOLEAN__IsRegenerateQ,
                                                       const HalvorinI_TrackForms* p__PForms) {
  if (p__Writer.m__BOOLEAN__IsRawPW)
    return std::unique_ptr<CHalvorin_ISO9660FileTreeRaw>(
        new (std::nothrow) CHalvorin_ISO9660FileTreeRawRawPW(
            p__PSource, 1, 0, p__PTRACK_ARRAY__Tracks, p__BOOLEAN__IsXA, p__BOOLEAN__IsRegenerateQ,
            p__PForms));
  return std::unique_ptr<CHalvorin_ISO9660FileTreeRaw>(
      new (std::nothrow)
          CHalvorin_ISO9660FileTreeRawPQ(p__PSource, 1, 0, p__PTRACK_ARRAY__Tracks,
                                         p__BOOLEAN__IsXA, p__BOOLEAN__IsRegenerateQ, p__PForms));
}

void Write(const DiscAtOnceWriter& p__Writer, CHalvorin_CdvdBurnerGrabber* p__PBurner,
           CHalvorin_FileChain* p__PView, bool p__BOOLEAN__IsXA,
           std::uint8_t p__BOOLEAN__IsTestWrite, std::uint8_t p__BOOLEAN__IsMultiSession,
           std::uint32_t p__ULONG__ProgressInterval, std::uint32_t p__ULONG__BufferInterval,
           TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, const HalvorinI_TrackForms* p__PForms) {
  if (p__Writer.m__BOOLEAN__IsRawPW)
    p__PBurner->DiscAtOnceRawPW(p__PView, p__BOOLEAN__IsXA, p__BOOLEAN__IsTestWrite != 0,
                                p__BOOLEAN__IsMultiSession != 0, p__ULONG__ProgressInterval,
                                p__ULONG__BufferInterval, p__PTRACK_ARRAY__Tracks, p__PForms);
  else
    p__PBurner->DiscAtOncePQ(p__PView, p__BOOLEAN__IsXA, p__BOOLEAN__IsTestWrite != 0,
                             p__BOOLEAN__IsMultiSession != 0, p__ULONG__ProgressInterval,
                             p__ULONG__BufferInterval, p__PTRACK_ARRAY__Tracks, p__PForms);
}

// Frees the list's file objects on every path out of the export.
struct TrackArrayObjects {
  TRACK_ARRAY* m__PTRACK_ARRAY__Tracks;
  ~TrackArrayObjects() { FreeTrackArrayObjects(m__PTRACK_ARRAY__Tracks); }
};

HALVORIN_STATUS FromFile(const DiscAtOnceWriter& p__Writer, void* p__PVOID__BurnerGrabber,
                         const HalvorinI_ExportPrefix& p__Prefix,
                         TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, std::uint8_t p__BOOLEAN__IsXA,
                         std::uint8_t p__BOOLEAN__IsTestWrite,
                         std::uint8_t p__BOOLEAN__IsMultiSession,
                         std::uint8_t p__UCHAR__RawViewOption,
                         std::uint32_t p__ULONG__ProgressInterval,
                         std::uint32_t p__ULONG__BufferInterval) {
  const char* kExport = p__Writer.m__PCHAR__FromFile;
  HALVORIN_STATUS notMade = HALVORIN_STATUS_SUCCESS;
  const HALVORIN_STATUS status = HalvorinI_RunExport(kExport, p__Prefix, [&] {
    CHalvorin_CdvdBurnerGrabber* burner =
        HalvorinI_TrackBurnerOrThrow(p__PVOID__BurnerGrabber, kExport);
    TRACK_ARRAY* tracks = p__PTRACK_ARRAY__Tracks;
    if (!tracks) HalvorinI_RefuseArgument(kExport, "p__PTRACK_ARRAY__Tracks == NULL");
    const std::int32_t count = tracks->m__LONG__NumberOfTracks;
    // Track numbers are two BCD digits: a CD holds 99 tracks at most.
    if (count < 1 || count > 99)
      HalvorinI_RefuseArgument(kExport, "The number of tracks is not 1..99");
    for (std::int32_t i = 0; i < count; ++i)
      if (!HalvorinI_IsTrackName(tracks->m__TRACK_ENTRY__Tracks[i].m__CHAR__FileName))
        HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                 "\nHalvorin:%s(): Track %ld has no file name!!!\n", kExport,
                                 static_cast<long>(i));
    // Whatever the caller left in the pointers is not ours to free.
    for (std::int32_t i = 0; i < count; ++i)
      tracks->m__TRACK_ENTRY__Tracks[i].m__PVOID__File = nullptr;
    TrackArrayObjects objects{tracks};

    bool isXA = p__BOOLEAN__IsXA != 0, isDataSeen = false, isAudioSeen = false;
    // A raw image's own tracks, which the view and the writer take in place of the list, with
    // their whole controls and their pauses.
    std::unique_ptr<TRACK_ARRAY> imageTracks;
    bool isImageWithoutQ = false;
    std::unique_ptr<HalvorinI_TrackForms> imageForms;
    std::int64_t start = 0;
    // Zeros after a file that is no whole number of sectors, so that the tracks behind it
    // start where the list says.
    std::vector<std::unique_ptr<CHalvorin_MemoryFile>> padding(count);
    for (std::int32_t i = 0; i < count; ++i) {
      TRACK_ENTRY& e = tracks->m__TRACK_ENTRY__Tracks[i];
      if (isDataSeen)
        HalvorinI_RefuseArgument(
            kExport,
            "Data track is present already, mixed mode or multisession is not supported yet");
      std::unique_ptr<CHalvorin_File> file;
      std::uint32_t sectorSize = 2048;
      // The file opens by the name given: names differ by case on this file system.
      if (Tidewell_CompressedFileSupportedIs(e.m__CHAR__FileName) == kTidewellStatusSuccess) {
        file.reset(new (std::nothrow) CHalvorin_TidewellFile(e.m__CHAR__FileName));
        sectorSize = 2352;
        e.m__BOOLEAN__IsData = 0;
        e.m__BOOLEAN__IsRaw = 0;
        isAudioSeen = true;
      } else {
        if (isAudioSeen)
          HalvorinI_RefuseArgument(kExport,
                                   "Audio track is present already, invalid mixed mode or "
                                   "multisession is not supported yet");
        file.reset(new (std::nothrow) CHalvorin_DiskFile(e.m__CHAR__FileName));
        std::int32_t mode = 1;
        e.m__BOOLEAN__IsRaw = 0;
        if (file && HalvorinI_IsMDF(e.m__CHAR__FileName, &mode)) {
          e.m__BOOLEAN__IsRaw = 1;
          sectorSize = kHalvorinImageSectorSize;
          if (file->GetSizeInUCHARs() % kHalvorinImageSectorSize)
            HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                     "\nHalvorin:%s(): Raw image '%s' is not a whole number of "
                                     "sectors!!!\n",
                                     kExport, e.m__CHAR__FileName);
          // The image is a disc of its own tracks, each of the kind its Q gives (its
          // descriptor's, or one data track, where it has no Q): written as one data track,
          // its audio would be scrambled and its layout lost.
          HalvorinI_ImageLayout layout = HalvorinI_ReadImageLayout(e.m__CHAR__FileName);
          // Its subchannel holds no Q to copy: the view makes it, whatever the option says.
          isImageWithoutQ = layout.m__VECTOR__Tracks.empty();
          HalvorinI_ImageLayoutWithoutQ(e.m__CHAR__FileName, &layout);
          imageTracks = std::make_unique<TRACK_ARRAY>();
          imageForms = std::make_unique<HalvorinI_TrackForms>();
          HalvorinI_ImageTrackArray(layout, kExport, imageTracks.get(), imageForms.get());
          // Its data sectors' form is its first data track's; audio alone says nothing of it.
          mode = 0;
          for (std::int32_t t = 0; t < imageTracks->m__LONG__NumberOfTracks && !mode; ++t)
            if (imageTracks->m__TRACK_ENTRY__Tracks[t].m__BOOLEAN__IsData)
              mode = HalvorinI_IsModeTwoLayout(layout) ? 2 : 1;
          if (isXA && mode != 2 && mode != 0) {
            isXA = false;
            DebugTrace("\nHalvorin:%s(): Reset IsXA to %ld ( %ld default ) b/s of MODE %ld\n",
                       kExport, 0L, static_cast<long>(p__BOOLEAN__IsXA), static_cast<long>(mode));
          } else if (!isXA && mode != 1 && mode != 0) {
            isXA = true;
            DebugTrace("\nHalvorin:%s(): Set IsXA to %ld ( %ld default ) b/s of MODE %ld\n",
                       kExport, 1L, static_cast<long>(p__BOOLEAN__IsXA), static_cast<long>(mode));
          }
        }
        // An image of audio tracks alone is no data track; it is the whole disc all the same.
        e.m__BOOLEAN__IsData = !e.m__BOOLEAN__IsRaw || mode != 0 ? 1 : 0;
        isDataSeen = true;
      }
      if (!file) {
        notMade = HALVORIN_STATUS_OUT_OF_MEMORY;
        return;
      }
      const std::uint64_t size = file->GetSizeInUCHARs();
      const std::uint64_t lbs = (size + sectorSize - 1) / sectorSize;
      if (lbs == 0 || lbs > 0x7FFFFFFF || start + static_cast<std::int64_t>(lbs) > 0x7FFFFFFF)
        HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                 "\nHalvorin:%s(): Track %ld holds nothing or too much!!!\n",
                                 kExport, static_cast<long>(i));
      e.m__LONG__TrackSizeInLBs = static_cast<std::int32_t>(lbs);
      e.m__LONG__TrackStartInLBs = static_cast<std::int32_t>(start);
      start += static_cast<std::int64_t>(lbs);
      if (const std::uint64_t pad = lbs * sectorSize - size) {
        padding[i].reset(new (std::nothrow) CHalvorin_MemoryFile(nullptr, 0, pad));
        if (!padding[i]) {
          e.m__PVOID__File = HalvorinI_HandleOf(file.release());
          notMade = HALVORIN_STATUS_OUT_OF_MEMORY;
          return;
        }
      }
      e.m__PVOID__File = HalvorinI_HandleOf(file.release());
    }

    std::unique_ptr<CHalvorin_ISO9660FileTree> tree(
        new (std::nothrow) CHalvorin_ISO9660FileTree(nullptr, nullptr, false, false, false));
    if (!tree) {
      notMade = HALVORIN_STATUS_OUT_OF_MEMORY;
      return;
    }
    for (std::int32_t i = 0; i < count; ++i) {
      tree->AddChainTail(static_cast<CHalvorin_File*>(
          static_cast<CHalvorin_Object*>(tracks->m__TRACK_ENTRY__Tracks[i].m__PVOID__File)));
      if (padding[i]) tree->AddChainTail(padding[i].get());
    }
    tree->SeekToBegin();
    TRACK_ARRAY* disc = imageTracks ? imageTracks.get() : tracks;
    std::unique_ptr<CHalvorin_ISO9660FileTreeRaw> view =
        MakeView(p__Writer, tree.get(), disc, isXA, p__UCHAR__RawViewOption != 0 || isImageWithoutQ,
                 imageForms.get());
    if (!view) {
      notMade = HALVORIN_STATUS_OUT_OF_MEMORY;
      return;
    }
    Write(p__Writer, burner, view.get(), isXA, p__BOOLEAN__IsTestWrite, p__BOOLEAN__IsMultiSession,
          p__ULONG__ProgressInterval, p__ULONG__BufferInterval, disc, imageForms.get());
  });
  return status ? status : notMade;
}

HALVORIN_STATUS FromTree(const DiscAtOnceWriter& p__Writer, void* p__PVOID__BurnerGrabber,
                         const HalvorinI_ExportPrefix& p__Prefix, void* p__PVOID__Tree,
                         std::uint8_t p__BOOLEAN__IsXA, std::uint8_t p__BOOLEAN__IsTestWrite,
                         std::uint8_t p__BOOLEAN__IsMultiSession,
                         std::uint32_t p__ULONG__ProgressInterval,
                         std::uint32_t p__ULONG__BufferInterval) {
  const char* kExport = p__Writer.m__PCHAR__FromTree;
  HALVORIN_STATUS notMade = HALVORIN_STATUS_SUCCESS;
  const HALVORIN_STATUS status = HalvorinI_RunExport(kExport, p__Prefix, [&] {
    CHalvorin_CdvdBurnerGrabber* burner =
        HalvorinI_TrackBurnerOrThrow(p__PVOID__BurnerGrabber, kExport);
    auto* tree =
        p__PVOID__Tree ? HalvorinI_ObjectOf<CHalvorin_ISO9660FileTree>(p__PVOID__Tree) : nullptr;
    if (!tree) HalvorinI_RefuseArgument(kExport, "The tree handle is not a file tree");
    if (!tree->IsBuilt()) HalvorinI_RefuseArgument(kExport, "The tree's image is not built");
    const std::uint64_t lbs = tree->GetSizeInUCHARs() / 2048;
    if (lbs == 0 || lbs > 0x7FFFFFFF)
      HalvorinI_RefuseArgument(kExport, "The tree's image holds nothing or too much");
    auto tracks = std::make_unique<TRACK_ARRAY>();
    std::memset(tracks.get(), 0, sizeof *tracks);
    tracks->m__LONG__NumberOfTracks = 1;
    tracks->m__TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsData = 1;
    tracks->m__TRACK_ENTRY__Tracks[0].m__LONG__TrackSizeInLBs = static_cast<std::int32_t>(lbs);
    tree->SeekImage();
    std::unique_ptr<CHalvorin_ISO9660FileTreeRaw> view =
        MakeView(p__Writer, tree, tracks.get(), p__BOOLEAN__IsXA != 0, false, nullptr);
    if (!view) {
      notMade = HALVORIN_STATUS_OUT_OF_MEMORY;
      return;
    }
    Write(p__Writer, burner, view.get(), p__BOOLEAN__IsXA != 0, p__BOOLEAN__IsTestWrite,
          p__BOOLEAN__IsMultiSession, p__ULONG__ProgressInterval, p__ULONG__BufferInterval,
          tracks.get(), nullptr);
  });
  return status ? status : notMade;
}

}  // namespace

extern "C" {

void FreeTrackArrayObjects(TRACK_ARRAY* p__PTRACK_ARRAY__Tracks) {
  if (!p__PTRACK_ARRAY__Tracks) return;
  const std::int32_t count = p__PTRACK_ARRAY__Tracks->m__LONG__NumberOfTracks;
  for (std::int32_t i = 0; i < count && i < 100; ++i) {
    TRACK_ENTRY& e = p__PTRACK_ARRAY__Tracks->m__TRACK_ENTRY__Tracks[i];
    delete static_cast<CHalvorin_Object*>(e.m__PVOID__File);
    e.m__PVOID__File = nullptr;
  }
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(
    HALVORIN_BURNER_PREFIX, TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, uint8_t p__BOOLEAN__IsXA,
    uint8_t p__BOOLEAN__IsTestWrite, uint8_t p__BOOLEAN__IsMultiSession,
    uint8_t p__UCHAR__RawViewOption, uint32_t p__ULONG__ProgressInterval,
    uint32_t p__ULONG__BufferInterval) {
  return FromFile(kPQ, p__PVOID__BurnerGrabber, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                  p__PTRACK_ARRAY__Tracks, p__BOOLEAN__IsXA, p__BOOLEAN__IsTestWrite,
                  p__BOOLEAN__IsMultiSession, p__UCHAR__RawViewOption, p__ULONG__ProgressInterval,
                  p__ULONG__BufferInterval);
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile(
    HALVORIN_BURNER_PREFIX, TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, uint8_t p__BOOLEAN__IsXA,
    uint8_t p__BOOLEAN__IsTestWrite, uint8_t p__BOOLEAN__IsMultiSession,
    uint8_t p__UCHAR__RawViewOption, uint32_t p__ULONG__ProgressInterval,
    uint32_t p__ULONG__BufferInterval) {
  return FromFile(kRawPW, p__PVOID__BurnerGrabber, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                  p__PTRACK_ARRAY__Tracks, p__BOOLEAN__IsXA, p__BOOLEAN__IsTestWrite,
                  p__BOOLEAN__IsMultiSession, p__UCHAR__RawViewOption, p__ULONG__ProgressInterval,
                  p__ULONG__BufferInterval);
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromTree(
    HALVORIN_BURNER_PREFIX, void* p__PVOID__Tree, uint8_t p__BOOLEAN__IsXA,
    uint8_t p__BOOLEAN__IsTestWrite, uint8_t p__BOOLEAN__IsMultiSession,
    uint32_t p__ULONG__ProgressInterval, uint32_t p__ULONG__BufferInterval) {
  return FromTree(kPQ, p__PVOID__BurnerGrabber, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                  p__PVOID__Tree, p__BOOLEAN__IsXA, p__BOOLEAN__IsTestWrite,
                  p__BOOLEAN__IsMultiSession, p__ULONG__ProgressInterval, p__ULONG__BufferInterval);
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree(
    HALVORIN_BURNER_PREFIX, void* p__PVOID__Tree, uint8_t p__BOOLEAN__IsXA,
    uint8_t p__BOOLEAN__IsTestWrite, uint8_t p__BOOLEAN__IsMultiSession,
    uint32_t p__ULONG__ProgressInterval, uint32_t p__ULONG__BufferInterval) {
  return FromTree(kRawPW, p__PVOID__BurnerGrabber, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                  p__PVOID__Tree, p__BOOLEAN__IsXA, p__BOOLEAN__IsTestWrite,
                  p__BOOLEAN__IsMultiSession, p__ULONG__ProgressInterval, p__ULONG__BufferInterval);
}

}  // extern "C"
