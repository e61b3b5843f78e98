#include "lib/mastering/udf/udf_builder.h"

#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/mastering/tree/file_objects.h"
#include "lib/mastering/udf/udf_bridge_packet.h"
#include "lib/mastering/udf/udf_content_file.h"
#include "lib/mastering/udf/udf_descriptors.h"
#include "lib/mastering/udf/udf_entries.h"
#include "lib/mastering/udf/udf_system_structures_file.h"

namespace {

using Item = HALVORIN_UDF_TREE_ITEM;
using Slot = CHalvorin_UdfSystemStructuresFile::Slot;
using Kind = CHalvorin_UdfSystemStructuresFile::Kind;
constexpr std::uint32_t kBlock = kHalvorinUdfBlock;
constexpr std::uint32_t kPartitionStart = 262;
constexpr std::uint32_t kTailSectors = 256;
constexpr std::uint32_t kAnchor = 256;
constexpr std::uint32_t kMainSequence = 32, kReserveSequence = 48, kIntegrity = 64;
constexpr std::uint32_t kMaxDepth = 1024;
constexpr const char* kMethod = "Halvorin:HalvorinI_UDF_Create()";

std::vector<Item*> Kids(const Item* p__PItem) {
  std::vector<Item*> kids;
  for (Item* k = p__PItem->m__PFirstKid; k; k = k->m__PNext) kids.push_back(k);
  return kids;
}

// An item as a refusal names it: the caller's identifier, and a file's disk path.
std::string ItemText(const Item* p__PItem) {
  std::string text = (p__PItem->m__BOOLEAN__IsDirectory ? "the folder item " : "the file item ") +
                     std::to_string(p__PItem->m__ULONG__Identifier);
  if (!p__PItem->m__BOOLEAN__IsDirectory)
    text += " ('" +
            std::string(p__PItem->m__CHAR__Path,
                        strnlen(p__PItem->m__CHAR__Path, sizeof p__PItem->m__CHAR__Path)) +
            "')";
  return text;
}

// A folder's place in the image: the names from the root down.
std::string PlaceOf(const Item* p__PFolder) {
  std::vector<std::string> names;
  for (const Item* f = p__PFolder; f->m__PParent; f = f->m__PParent)
    names.push_back(HalvorinI_UdfNameOf(f));
  std::string place;
  for (auto it = names.rbegin(); it != names.rend(); ++it) place += "/" + *it;
  return place.empty() ? "/" : place;
}

[[noreturn]] void Refuse(const char* p__PCHAR__Text) {
  HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0, "%s: %s!!!", kMethod, p__PCHAR__Text);
}

class Builder {
 public:
  Builder(Item* root, Item* video, Item* audio, const std::string& label)
      : root_(root), video_(video), audio_(audio), label_(label), bridge_(video && audio) {
    HalvorinI_IsoDateOf(static_cast<std::int64_t>(std::time(nullptr)), now_);
  }

  HalvorinI_UdfImage Build(std::uint8_t* head, std::uint32_t headSize, std::uint8_t* tail,
                           std::uint32_t tailSize) {
    if (!root_ || !root_->m__BOOLEAN__IsDirectory) Refuse("the root is not a directory item");
    if (bridge_) HalvorinI_UdfCheckBridgeFolders(root_, video_, audio_);
    const std::uint32_t headSectors = kPartitionStart + (bridge_ ? 2 : 1);
    if (!head || headSize != headSectors * kBlock)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "%s: the head holds %u bytes, the image needs %u!!!", kMethod,
                               head ? headSize : 0, headSectors * kBlock);
    if (!tail || tailSize != kTailSectors * kBlock)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "%s: the tail holds %u bytes, the image needs %u!!!", kMethod,
                               tail ? tailSize : 0, kTailSectors * kBlock);

    // Descriptors, then contents, one block counter for both.
    counter_ = bridge_ ? 1 : 0;
    root_->m__ULONG__FileEntryLocation = Next();
    LayOutDescriptors(root_, 1);
    const std::uint32_t lastDescriptor = static_cast<std::uint32_t>(counter_);
    LayOutContents(root_);
    std::uint32_t videoTsSectors = 0, videoTsSector = 260;
    if (bridge_) {
      videoTsSectors = HalvorinI_UdfVideoTsSectors(video_);
      if (videoTsSectors > 1) {  // after the files, inside the partition
        videoTsSector = static_cast<std::uint32_t>(counter_ + 1 + kPartitionStart);
        counter_ += videoTsSectors;
      }
    }
    if (counter_ + kPartitionStart + 1 + kTailSectors > 0xFFFFFFFFull)
      Refuse("the image is too large");
    last_ = static_cast<std::uint32_t>(counter_);

    // The system structures continue the image at the root's file entry.
    const std::uint32_t first = root_->m__ULONG__FileEntryLocation;
    std::vector<Slot> slots(std::size_t(lastDescriptor - first + 1), Slot{nullptr, 0, {}});
    PlaceDescriptors(root_, nullptr, slots, first);
    for (const Slot& slot : slots)
      if (!slot.item) Refuse("a block of the system structures holds no descriptor");

    auto image = std::make_unique<CHalvorin_UDFImageTree>();
    std::memset(head, 0, headSize);
    std::memset(tail, 0, tailSize);
    std::uint8_t* videoTs = head + 260 * kBlock;
    if (videoTsSectors > 1) {
      image->m__VECTOR__VideoTsDirectory.assign(std::size_t(videoTsSectors) * kBlock, 0);
      videoTs = image->m__VECTOR__VideoTsDirectory.data();
    }
    if (bridge_)
      HalvorinI_UdfFormatBridgePacket(head, label_, root_, video_,
                                      last_ + kPartitionStart + 1 + kTailSectors, videoTsSector,
                                      videoTs, videoTsSectors);
    FormatVolume(head, tail);

    HalvorinI_UdfImage parts;
    parts.m__PHead = image->Own(std::make_unique<CHalvorin_MemoryFile>(head, headSize));
    parts.m__PSystemStructures =
        image->Own(std::make_unique<CHalvorin_UdfSystemStructuresFile>(std::move(slots)));
    std::vector<std::pair<Item*, CHalvorin_File*>> readers;
    AddReaders(root_, *image, readers);
    if (videoTsSectors > 1)
      image->Own(std::make_unique<CHalvorin_MemoryFile>(image->m__VECTOR__VideoTsDirectory.data(),
                                                        image->m__VECTOR__VideoTsDirectory.size()));
    parts.m__PTail = image->Own(std::make_unique<CHalvorin_MemoryFile>(tail, tailSize));
    image->Master();
    const std::uint64_t expected =
        (std::uint64_t(last_) + kPartitionStart + 1 + kTailSectors) * kBlock;
    if (image->GetSizeInUCHARs() != expected)
      HalvorinI_ThrowException(kHalvorinStatusInternalState, 0,
                               "%s: the image has %llu bytes instead of %llu!!!", kMethod,
                               static_cast<unsigned long long>(image->GetSizeInUCHARs()),
                               static_cast<unsigned long long>(expected));
    // Only a complete image names its readers in the items.
    for (auto& [item, file] : readers) item->m__PVOID__File = static_cast<CHalvorin_Object*>(file);
    DebugTrace("\nUDF:%s: %u files, %u directories, last block %u, %s\n", kMethod, files_,
               directories_, last_, bridge_ ? "bridge" : "pure");
    parts.m__PTree = std::move(image);
    return parts;
  }

 private:
  std::uint32_t Next() { return static_cast<std::uint32_t>(++counter_); }

  void LayOutDescriptors(Item* dir, std::uint32_t depth) {
    if (depth > kMaxDepth) Refuse("the directories are nested too deep");
    const std::vector<Item*> kids = Kids(dir);
    CheckNames(dir, kids);
    dir->m__ULONG__ContentLocation = Next();
    for (Item* k : kids) k->m__ULONG__IdentifierLocation = Next();
    for (Item* k : kids) k->m__ULONG__FileEntryLocation = Next();
    dir->m__ULONGLONG__Size = (std::uint64_t(kids.size()) + 1) * kBlock;
    dir->m__ULONG__SizeInBlocks = static_cast<std::uint32_t>(kids.size() + 1);
    dir->m__ULONG__LastBlockUsed =
        dir->m__ULONG__ContentLocation + static_cast<std::uint32_t>(kids.size());
    ++directories_;
    for (Item* k : kids)
      if (k->m__BOOLEAN__IsDirectory) LayOutDescriptors(k, depth + 1);
  }

  // Every kid of a folder takes a name of its own, as the image writes it (upper case, cut to
  // its identifier): readers keep one of two equal ones, and the other's bytes are lost. Names
  // that are no name or a path are refused too.
  static void CheckNames(const Item* dir, const std::vector<Item*>& kids) {
    std::unordered_map<std::string, const Item*> written;
    written.reserve(kids.size());
    for (const Item* k : kids) {
      const std::string name = HalvorinI_UdfNameOf(k);
      if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                 "%s: %s in '%s' is named '%s', a name no file or folder may "
                                 "take!!!",
                                 kMethod, ItemText(k).c_str(), PlaceOf(dir).c_str(), name.c_str());
      const auto [same, isNew] = written.emplace(HalvorinI_UdfFileIdentifier(name), k);
      if (!isNew)
        HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                 "%s: %s and %s in '%s' both take the name '%s'!!!", kMethod,
                                 ItemText(same->second).c_str(), ItemText(k).c_str(),
                                 PlaceOf(dir).c_str(), HalvorinI_UdfNameOf(same->second).c_str());
    }
  }

  void LayOutContents(Item* dir) {
    for (Item* k = dir->m__PFirstKid; k; k = k->m__PNext) {
      if (k->m__BOOLEAN__IsDirectory) continue;
      k->m__ULONG__ContentLocation = static_cast<std::uint32_t>(counter_ + 1);
      counter_ += k->m__ULONG__SizeInBlocks;
      k->m__ULONG__LastBlockUsed = static_cast<std::uint32_t>(counter_);
      ++files_;
      if (counter_ > 0xFFFFFFFFull) Refuse("the image is too large");
    }
    for (Item* k = dir->m__PFirstKid; k; k = k->m__PNext)
      if (k->m__BOOLEAN__IsDirectory) LayOutContents(k);
  }

  // Each descriptor into the slot of its block. Items are met from the root down, each before
  // its kids, which is the order their file entries take unique identifiers in (the root 0).
  void PlaceDescriptors(const Item* item, const Item* parent, std::vector<Slot>& slots,
                        std::uint32_t first) {
    auto place = [&](std::uint32_t location, Slot slot) {
      if (location < first || location - first >= slots.size() || slots[location - first].item)
        Refuse("a descriptor lies outside the system structures");
      slots[location - first] = slot;
    };
    if (HalvorinI_UdfAllocations(item->m__ULONGLONG__Size) > kHalvorinUdfMaxAllocations)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "%s: '%s' of %llu bytes is too large for a file entry!!!", kMethod,
                               HalvorinI_UdfNameOf(item).c_str(),
                               static_cast<unsigned long long>(item->m__ULONGLONG__Size));
    place(item->m__ULONG__FileEntryLocation,
          {item, item == root_ ? 0 : static_cast<std::uint32_t>(unique_++), Kind::FileEntry});
    if (!item->m__BOOLEAN__IsDirectory) return;
    place(item->m__ULONG__ContentLocation,
          {item, parent ? parent->m__ULONG__FileEntryLocation : item->m__ULONG__FileEntryLocation,
           Kind::ParentIdentifier});
    for (const Item* k = item->m__PFirstKid; k; k = k->m__PNext)
      place(k->m__ULONG__IdentifierLocation, {k, 0, Kind::Identifier});
    for (const Item* k = item->m__PFirstKid; k; k = k->m__PNext)
      PlaceDescriptors(k, item, slots, first);
  }

  // Readers of the files, in the order their contents were laid out; an empty file has no
  // content in the image and no reader.
  void AddReaders(Item* dir, CHalvorin_UDFImageTree& image,
                  std::vector<std::pair<Item*, CHalvorin_File*>>& readers) {
    for (Item* k = dir->m__PFirstKid; k; k = k->m__PNext) {
      if (k->m__BOOLEAN__IsDirectory || k->m__ULONG__SizeInBlocks == 0) continue;
      const std::uint64_t size = std::uint64_t(k->m__ULONG__SizeInBlocks) * kBlock;
      // A copy of the packed field: make_unique binds references.
      const std::uint8_t* content = k->m__PUCHAR__Content;
      std::unique_ptr<CHalvorin_File> file;
      if (k->m__BOOLEAN__IsInMemory)
        file = std::make_unique<CHalvorin_MemoryFile>(content, size);
      else
        file = std::make_unique<CHalvorin_UdfContentFile>(k);
      readers.emplace_back(k, image.Own(std::move(file)));
    }
    for (Item* k = dir->m__PFirstKid; k; k = k->m__PNext)
      if (k->m__BOOLEAN__IsDirectory) AddReaders(k, image, readers);
  }

  void FormatVolume(std::uint8_t* head, std::uint8_t* tail) {
    auto sector = [&](std::uint32_t s) { return head + std::size_t(s) * kBlock; };
    const std::uint32_t recognition = bridge_ ? 18 : 16;
    const char* ids[] = {"BEA01", "NSR02", "TEA01"};
    for (std::uint32_t i = 0; i < 3; ++i) {
      std::uint8_t* v = sector(recognition + i);
      std::memcpy(v + 1, ids[i], 5);
      v[6] = 1;
    }
    FormatSequence(head, kMainSequence);
    FormatSequence(head, kReserveSequence);

    std::uint8_t* lvid = sector(kIntegrity);
    HalvorinI_UdfTimestamp(lvid + 16, now_);
    HalvorinI_UdfPut32(lvid + 28, 1);  // closed
    HalvorinI_UdfPut64(lvid + 40, unique_);
    HalvorinI_UdfPut32(lvid + 72, 1);
    HalvorinI_UdfPut32(lvid + 76, 46);
    HalvorinI_UdfPut32(lvid + 80, 0);
    HalvorinI_UdfPut32(lvid + 84, last_ + 1);
    HalvorinI_UdfImplementation(lvid + 88);
    HalvorinI_UdfPut32(lvid + 120, files_);
    HalvorinI_UdfPut32(lvid + 124, directories_);
    HalvorinI_UdfPut16(lvid + 128, 0x0102);
    HalvorinI_UdfPut16(lvid + 130, 0x0102);
    HalvorinI_UdfPut16(lvid + 132, 0x0102);
    HalvorinI_UdfTag(lvid, kUdfTagIntegrity, kIntegrity, 134 - 16);
    HalvorinI_UdfTag(sector(kIntegrity + 1), kUdfTagTerminating, kIntegrity + 1, 496);

    Anchor(sector(kAnchor), kAnchor);

    std::uint8_t* fsd = sector(kPartitionStart);
    HalvorinI_UdfTimestamp(fsd + 16, now_);
    HalvorinI_UdfPut16(fsd + 28, 3);
    HalvorinI_UdfPut16(fsd + 30, 3);
    HalvorinI_UdfPut32(fsd + 32, 1);
    HalvorinI_UdfPut32(fsd + 36, 1);
    HalvorinI_UdfCharSpec(fsd + 48);
    HalvorinI_UdfDString(fsd + 112, 128, label_);
    HalvorinI_UdfCharSpec(fsd + 240);
    HalvorinI_UdfDString(fsd + 304, 32, label_);
    HalvorinI_UdfPut32(fsd + 400, kBlock);
    HalvorinI_UdfPut32(fsd + 404, root_->m__ULONG__FileEntryLocation);
    HalvorinI_UdfDomain(fsd + 416);
    HalvorinI_UdfTag(fsd, kUdfTagFileSet, 0, 496);
    if (bridge_) HalvorinI_UdfTag(sector(kPartitionStart + 1), kUdfTagTerminating, 1, 496);

    for (std::uint32_t i = 0; i < kTailSectors; ++i)
      Anchor(tail + std::size_t(i) * kBlock, last_ + kPartitionStart + 1 + i);
  }

  static void Anchor(std::uint8_t* a, std::uint32_t location) {
    HalvorinI_UdfPut32(a + 16, 16 * kBlock);
    HalvorinI_UdfPut32(a + 20, kMainSequence);
    HalvorinI_UdfPut32(a + 24, 16 * kBlock);
    HalvorinI_UdfPut32(a + 28, kReserveSequence);
    HalvorinI_UdfTag(a, kUdfTagAnchor, location, 496);
  }

  void FormatSequence(std::uint8_t* head, std::uint32_t start) {
    auto sector = [&](std::uint32_t s) { return head + std::size_t(s) * kBlock; };
    std::uint8_t* pvd = sector(start);
    HalvorinI_UdfPut32(pvd + 16, 0);
    HalvorinI_UdfPut32(pvd + 20, 0);
    HalvorinI_UdfDString(pvd + 24, 32, label_);
    HalvorinI_UdfPut16(pvd + 56, 1);
    HalvorinI_UdfPut16(pvd + 58, 1);
    HalvorinI_UdfPut16(pvd + 60, 2);
    HalvorinI_UdfPut16(pvd + 62, 2);
    HalvorinI_UdfPut32(pvd + 64, 1);
    HalvorinI_UdfPut32(pvd + 68, 1);
    HalvorinI_UdfDString(pvd + 72, 128, label_);
    HalvorinI_UdfCharSpec(pvd + 200);
    HalvorinI_UdfCharSpec(pvd + 264);
    HalvorinI_UdfTimestamp(pvd + 376, now_);
    HalvorinI_UdfImplementation(pvd + 388);
    HalvorinI_UdfTag(pvd, kUdfTagPrimaryVolume, start, 496);

    std::uint8_t* iuvd = sector(start + 1);
    HalvorinI_UdfPut32(iuvd + 16, 1);
    HalvorinI_UdfIdentifier(iuvd + 20, "*UDF LV Info");
    HalvorinI_UdfCharSpec(iuvd + 52);
    HalvorinI_UdfDString(iuvd + 116, 128, label_);
    HalvorinI_UdfImplementation(iuvd + 352);
    HalvorinI_UdfTag(iuvd, kUdfTagImplementationUse, start + 1, 496);

    std::uint8_t* pd = sector(start + 2);
    HalvorinI_UdfPut32(pd + 16, 2);
    HalvorinI_UdfPut16(pd + 20, 1);
    HalvorinI_UdfPut16(pd + 22, 0);
    HalvorinI_UdfRegId(pd + 24, "+NSR02", 0, 0, 0);
    pd[24] = bridge_ ? 2 : 0;
    HalvorinI_UdfPut32(pd + 184, 1);
    HalvorinI_UdfPut32(pd + 188, kPartitionStart);
    HalvorinI_UdfPut32(pd + 192, last_ + 1);
    HalvorinI_UdfImplementation(pd + 196);
    HalvorinI_UdfTag(pd, kUdfTagPartition, start + 2, 496);

    std::uint8_t* lvd = sector(start + 3);
    HalvorinI_UdfPut32(lvd + 16, 3);
    HalvorinI_UdfCharSpec(lvd + 20);
    HalvorinI_UdfDString(lvd + 84, 128, label_);
    HalvorinI_UdfPut32(lvd + 212, kBlock);
    HalvorinI_UdfDomain(lvd + 216);
    HalvorinI_UdfPut32(lvd + 248, kBlock);  // the file set descriptor: block 0
    HalvorinI_UdfPut32(lvd + 264, 6);
    HalvorinI_UdfPut32(lvd + 268, 1);
    HalvorinI_UdfImplementation(lvd + 272);
    HalvorinI_UdfPut32(lvd + 432, 2 * kBlock);
    HalvorinI_UdfPut32(lvd + 436, kIntegrity);
    lvd[440] = 1;
    lvd[441] = 6;
    HalvorinI_UdfPut16(lvd + 442, 1);
    HalvorinI_UdfPut16(lvd + 444, 0);
    HalvorinI_UdfTag(lvd, kUdfTagLogicalVolume, start + 3, 446 - 16);

    std::uint8_t* usd = sector(start + 4);
    HalvorinI_UdfPut32(usd + 16, 4);
    HalvorinI_UdfTag(usd, kUdfTagUnallocatedSpace, start + 4, 8);

    HalvorinI_UdfTag(sector(start + 5), kUdfTagTerminating, start + 5, 496);
  }

  Item* root_;
  Item* video_;
  Item* audio_;
  std::string label_;
  bool bridge_;
  std::uint64_t counter_ = 0;
  std::uint64_t unique_ = 16;
  std::uint32_t last_ = 0;
  std::uint32_t files_ = 0;
  std::uint32_t directories_ = 0;
  std::uint8_t now_[7] = {};
};

}  // namespace

HalvorinI_UdfImage HalvorinI_UdfBuild(
    std::uint8_t* p__PUCHAR__Head, std::uint32_t p__ULONG__HeadSize, std::uint8_t* p__PUCHAR__Tail,
    std::uint32_t p__ULONG__TailSize, HALVORIN_UDF_TREE_ITEM* p__PRoot,
    HALVORIN_UDF_TREE_ITEM* p__PVideoTs, HALVORIN_UDF_TREE_ITEM* p__PAudioTs,
    const std::string& p__STRING__Label) {
  try {
    return Builder(p__PRoot, p__PVideoTs, p__PAudioTs, p__STRING__Label)
        .Build(p__PUCHAR__Head, p__ULONG__HeadSize, p__PUCHAR__Tail, p__ULONG__TailSize);
  } catch (const std::bad_alloc&) {
    HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0,
                             "Halvorin:HalvorinI_UDF_Master(): new CHalvorin_MemoryFile( system ) "
                             "failed!!!");
  }
}
