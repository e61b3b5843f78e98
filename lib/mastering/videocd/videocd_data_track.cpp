#include "lib/mastering/videocd/videocd_data_track.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/core/library_folder.h"
#include "lib/mastering/raw/raw_sector_expansion.h"
#include "lib/mastering/tree/file_chain.h"
#include "lib/mastering/tree/file_tree.h"
#include "lib/mastering/videocd/videocd_template.h"

namespace {

constexpr const char* kMethod = "CHalvorin_VCDDATATrack::CHalvorin_VCDDATATrack";
constexpr const char* kAdditional = "CHalvorin_VCDDATATrack::PatchAdditionalFile";
constexpr const char* kAdditionalFile = "ARCHIVE.dat";
constexpr std::uint64_t kSector = 2048;
constexpr std::uint64_t kPayload = CHalvorin_MPEG12DiskFile::kPayload;
constexpr std::uint64_t kEmptyUnits = 60;         // 30 before and 30 after the MPEG data
constexpr std::uint64_t kSuperMinute = 10485760;  // A00000h bytes of MPEG a minute of play
constexpr std::uint64_t kWorkSize = 61440;

void Both32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    p[7 - i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

void Be16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

// Identifiers are padded with spaces; a longer text is cut after its last whole UTF-8
// character that fits, never inside one.
void Text(std::uint8_t* p, std::size_t length, const char* text) {
  const std::string cut = HalvorinI_Utf8Prefix(text, length);
  std::memset(p, ' ', length);
  std::memcpy(p, cut.data(), cut.size());
}

std::uint8_t Bcd(std::uint64_t v) {
  return static_cast<std::uint8_t>(v / 10 * 16 + v % 10);
}

// Reads a whole file's first bytes through a chain of its own.
void ReadStart(CHalvorin_File& p__File, std::uint64_t p__ULONGLONG__Count,
               std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_FileChain chain;
  chain.AddChainTail(&p__File);
  chain.SeekToBegin();
  chain.Read(p__ULONGLONG__Count, p__PUCHAR__Buffer);
}

// 2048-byte blocks of the track's chain as 2336-byte units, in chunks that fit one buffer.
template <class ReadBlocks>
void ReadMode2(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer,
               ReadBlocks p__Read) {
  std::uint64_t units = p__ULONGLONG__Count / kHalvorinMode2UnitSize;
  std::uint8_t work[kWorkSize];
  while (units > 0) {
    const std::uint64_t n = std::min(units, kWorkSize / kSector);
    std::memset(work, 0, n * kSector);
    p__Read(n * kSector, work);
    CookedToMode2Form1(work, p__PUCHAR__Buffer, static_cast<std::uint32_t>(n),
                       kHalvorinVideoCDDataSubHeader);
    p__PUCHAR__Buffer += n * kHalvorinMode2UnitSize;
    units -= n;
  }
}

}  // namespace

CHalvorin_VCDDATATrack::CHalvorin_VCDDATATrack(const char* p__PCHAR__MPEGPath,
                                               const char* p__PCHAR__Label,
                                               std::uint32_t p__ULONG__Volumes,
                                               std::uint32_t p__ULONG__VolumeNumber,
                                               const char* p__PCHAR__Template,
                                               std::uint32_t p__ULONG__PatchOffset)
    : CHalvorin_VCDDATATrack(p__PCHAR__MPEGPath, p__PCHAR__Label, p__ULONG__Volumes,
                             p__ULONG__VolumeNumber, p__PCHAR__Template, p__ULONG__PatchOffset,
                             false) {}

CHalvorin_VCDDATATrack::CHalvorin_VCDDATATrack(
    const char* p__PCHAR__MPEGPath, const char* p__PCHAR__Label, std::uint32_t p__ULONG__Volumes,
    std::uint32_t p__ULONG__VolumeNumber, const char* p__PCHAR__Template,
    std::uint32_t p__ULONG__PatchOffset, bool p__BOOLEAN__IsSuper)
    : CHalvorin_ISO9660FileTree(nullptr, nullptr, false, false, false) {
  // Only the library's own folder: a file of that name in the current folder is not taken.
  const std::string templatePath =
      HalvorinI_LibraryFile(p__PCHAR__Template ? p__PCHAR__Template : "");
  if (templatePath.empty())
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s(): Template '%s' is not a file of the library's folder!!!",
                             kMethod, p__PCHAR__Template ? p__PCHAR__Template : "(null)");
  if (p__ULONG__PatchOffset > kHalvorinVideoCDTemplateSize - 18)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s(): Patch offset %lu lies outside the template!!!", kMethod,
                             static_cast<unsigned long>(p__ULONG__PatchOffset));
  {
    CHalvorin_DiskFile image(templatePath.c_str());
    const std::uint64_t size = image.GetSizeInUCHARs();
    if (size < kHalvorinVideoCDTemplateSize)
      HalvorinI_ThrowException(
          kHalvorinStatusOutOfMemory, 0,
          "%s(): l__LARGE_INTEGER__DATATrackSizeInUCHARs is %llu instead of at least %llu!!!",
          kMethod, static_cast<unsigned long long>(size),
          static_cast<unsigned long long>(kHalvorinVideoCDTemplateSize));
    m__PUCHAR__Memory.reset(new (std::nothrow) std::uint8_t[kHalvorinVideoCDTemplateSize]);
    if (!m__PUCHAR__Memory)
      HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0, "%s(): m__PUCHAR__Memory == NULL!!!",
                               kMethod);
    m__PCHalvorin_MemoryFile__DATATrack.reset(new (std::nothrow) CHalvorin_MemoryFile(
        m__PUCHAR__Memory.get(), kHalvorinVideoCDTemplateSize));
    if (!m__PCHalvorin_MemoryFile__DATATrack)
      HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0,
                               "%s(): m__PCHalvorin_MemoryFile__DATATrack == NULL!!!", kMethod);
    std::memset(m__PUCHAR__Memory.get(), 0, kHalvorinVideoCDTemplateSize);
    try {
      ReadStart(image, kHalvorinVideoCDTemplateSize, m__PUCHAR__Memory.get());
    } catch (CHalvorin_Exception*) {
      DebugTrace("\n%s(): EXITing with failure!!!\n", kMethod);
      throw;
    }
  }
  try {
    {
      CHalvorin_DiskFile mpeg(p__PCHAR__MPEGPath);
      m__ULONGLONG__MPEGSizeInUCHARs = mpeg.GetSizeInUCHARs();
    }
    Patch(p__PCHAR__Label ? p__PCHAR__Label : "", p__ULONG__Volumes, p__ULONG__VolumeNumber,
          p__ULONG__PatchOffset, p__BOOLEAN__IsSuper);
  } catch (CHalvorin_Exception*) {
    DebugTrace("\n%s(): EXITing with failure!!!\n", kMethod);
    throw;
  }
  AddChainTail(m__PCHalvorin_MemoryFile__DATATrack.get());
  SeekToBegin();
}

CHalvorin_VCDDATATrack::~CHalvorin_VCDDATATrack() = default;

std::uint64_t CHalvorin_VCDDATATrack::GetMPEGUnits() const {
  return (m__ULONGLONG__MPEGSizeInUCHARs + kPayload - 1) / kPayload;
}

void CHalvorin_VCDDATATrack::Patch(const char* p__PCHAR__Label, std::uint32_t p__ULONG__Volumes,
                                   std::uint32_t p__ULONG__VolumeNumber,
                                   std::uint32_t p__ULONG__PatchOffset, bool p__BOOLEAN__IsSuper) {
  std::uint8_t* image = m__PUCHAR__Memory.get();
  // The MPEG track holds every unit the MPEG file fills, the last one padded, as the MPEG
  // track writes it; its record counts them in 2048-byte blocks.
  const std::uint64_t trackSectors = GetMPEGUnits() + kEmptyUnits;
  if (trackSectors * kSector > 0xFFFFFFFFull)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s(): The MPEG file of %llu bytes is too large for a disc!!!",
                             kMethod,
                             static_cast<unsigned long long>(m__ULONGLONG__MPEGSizeInUCHARs));
  Both32(image + p__ULONG__PatchOffset + 10, static_cast<std::uint32_t>(trackSectors * kSector));

  // Disc information: the label in 16 bytes padded with spaces, then the number of volumes
  // and this volume's number, big-endian.
  std::uint8_t* info = image + kHalvorinVideoCDInfoSector * kSector;
  Text(info + 10, 16, p__PCHAR__Label);
  Be16(info + 26, p__ULONG__Volumes & 0xFFFF);
  Be16(info + 28, p__ULONG__VolumeNumber & 0xFFFF);

  // The primary volume descriptor: its volume set and volume identifiers, and a volume that
  // reaches to the end of the MPEG track, so that the MPEG file's extent lies inside it.
  std::uint8_t* pvd = image + kHalvorinVideoCDPVDSector * kSector;
  Text(pvd + 190, 128, p__PCHAR__Label);
  Text(pvd + 40, 32, p__PCHAR__Label);
  Both32(pvd + 80, static_cast<std::uint32_t>(kHalvorinVideoCDMPEGTrackLBA + trackSectors));

  if (p__BOOLEAN__IsSuper) {
    // Play time from the size at 10 MB a minute: minutes (at most 99) and seconds in BCD.
    std::uint8_t* tracks = image + kHalvorinSuperVideoCDTracksSector * kSector;
    const std::uint64_t q = m__ULONGLONG__MPEGSizeInUCHARs / kSuperMinute;
    const std::uint64_t r = m__ULONGLONG__MPEGSizeInUCHARs % kSuperMinute;
    tracks[11] = Bcd(std::min<std::uint64_t>(q, 99));
    tracks[12] = Bcd(r * 60 / kSuperMinute);
    tracks[13] = 0;
    if (PatchAdditionalFile(kHalvorinSuperVideoCDAdditionalSector))
      std::memset(image + kHalvorinSuperVideoCDClearedSector * kSector, 0, kSector);
  } else {
    PatchAdditionalFile(kHalvorinVideoCDAdditionalSector);
  }
}

bool CHalvorin_VCDDATATrack::PatchAdditionalFile(std::uint32_t p__ULONG__Sector) {
  const std::string path = HalvorinI_LibraryFile(kAdditionalFile);
  std::uint8_t block[kSector] = {};
  try {
    CHalvorin_DiskFile file(path.c_str());
    ReadStart(file, std::min<std::uint64_t>(kSector, file.GetSizeInUCHARs()), block);
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    std::unique_ptr<CHalvorin_Exception> exception(p__PCHalvorin_Exception__Exception);
    DebugTrace("\n%s(): CreateFile( '%s' ) failed, status %ld!!!\n", kAdditional, path.c_str(),
               static_cast<long>(exception ? exception->GetDetail() : 0));
    return false;
  }
  std::memcpy(m__PUCHAR__Memory.get() + std::uint64_t{p__ULONG__Sector} * kSector, block, kSector);
  return true;
}

CHalvorin_SVCDDATATrack::CHalvorin_SVCDDATATrack(const char* p__PCHAR__MPEGPath,
                                                 const char* p__PCHAR__Label,
                                                 std::uint32_t p__ULONG__Volumes,
                                                 std::uint32_t p__ULONG__VolumeNumber,
                                                 const char* p__PCHAR__Template,
                                                 std::uint32_t p__ULONG__PatchOffset)
    : CHalvorin_VCDDATATrack(p__PCHAR__MPEGPath, p__PCHAR__Label, p__ULONG__Volumes,
                             p__ULONG__VolumeNumber, p__PCHAR__Template, p__ULONG__PatchOffset,
                             true) {}

void CHalvorin_VCDDATATrackMode2::Read(std::uint64_t p__ULONGLONG__Count,
                                       std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Chain);
  ReadMode2(p__ULONGLONG__Count, p__PUCHAR__Buffer,
            [this](std::uint64_t n, std::uint8_t* to) { CHalvorin_FileChain::Read(n, to); });
}

std::uint64_t CHalvorin_VCDDATATrackMode2::GetSizeInUCHARs() {
  return CHalvorin_FileChain::GetSizeInUCHARs() / kSector * kHalvorinMode2UnitSize;
}

void CHalvorin_SVCDDATATrackMode2::Read(std::uint64_t p__ULONGLONG__Count,
                                        std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Chain);
  ReadMode2(p__ULONGLONG__Count, p__PUCHAR__Buffer,
            [this](std::uint64_t n, std::uint8_t* to) { CHalvorin_FileChain::Read(n, to); });
}

std::uint64_t CHalvorin_SVCDDATATrackMode2::GetSizeInUCHARs() {
  return CHalvorin_FileChain::GetSizeInUCHARs() / kSector * kHalvorinMode2UnitSize;
}
