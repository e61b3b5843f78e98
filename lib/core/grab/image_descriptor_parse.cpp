// The reader of a CD image descriptor, for writing a grabbed raw image back. Its input is
// untrusted: every count is bounded by the list it fills, every record must be there whole, and
// the data file's name must be a bare name that fits beside the descriptor.
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "lib/core/debug_trace.h"
#include "lib/core/grab/image_descriptor.h"
#include "platform/fs/fs.h"

namespace fs = platform::fs;

namespace {

constexpr const char* kMethod = "HalvorinI_ParseMDS";
constexpr std::uint32_t kMaxEntries = 100;
// The sectors a CD can address, 00:00:00 to 99:59:74.
constexpr std::int64_t kMaxTrackSize = 450000;

struct ParseFailure {
  std::uint32_t status;
};

[[noreturn]] void Fail(std::uint32_t p__ULONG__Status, const char* p__PCHAR__What) {
  DebugTrace("\n%s(): %s, status %ld ( 0x%X )\n", kMethod, p__PCHAR__What,
             static_cast<long>(p__ULONG__Status), static_cast<unsigned>(p__ULONG__Status));
  throw ParseFailure{p__ULONG__Status};
}

// Up to `size` bytes at `offset`; fewer at the end of the file.
std::size_t ReadAt(fs::File& p__File, std::uint64_t p__ULONGLONG__Offset, void* p__PVOID__Buffer,
                   std::size_t p__SIZE_T__Size) {
  p__File.Seek(static_cast<std::int64_t>(p__ULONGLONG__Offset), SEEK_SET);
  std::size_t done = 0;
  auto* out = static_cast<std::uint8_t*>(p__PVOID__Buffer);
  while (done < p__SIZE_T__Size) {
    const std::size_t n = p__File.Read(out + done, p__SIZE_T__Size - done);
    if (n == 0) break;
    done += n;
  }
  return done;
}

template <class Record>
void ReadRecord(fs::File& p__File, std::uint64_t p__ULONGLONG__Offset, Record* p__PRecord,
                const char* p__PCHAR__What) {
  if (ReadAt(p__File, p__ULONGLONG__Offset, p__PRecord, sizeof(Record)) != sizeof(Record))
    Fail(kHalvorinParseShortRead, p__PCHAR__What);
}

// A name that stands for a file beside the descriptor, nothing else.
bool IsBareFileName(const char* p__PCHAR__Name) {
  if (!*p__PCHAR__Name) return false;
  if (std::strcmp(p__PCHAR__Name, ".") == 0 || std::strcmp(p__PCHAR__Name, "..") == 0) return false;
  return std::strpbrk(p__PCHAR__Name, "\\/:") == nullptr;
}

std::uint32_t Parse(const char* p__PCHAR__DescriptorFileName, SAO_TRACK_ARRAY* p__PTracks,
                    std::int32_t* p__PLONG__ImageMode, char* p__PCHAR__DataFileName,
                    const char* p__PCHAR__FolderPrefix) {
  if (!p__PCHAR__DescriptorFileName || !p__PTracks || !p__PLONG__ImageMode ||
      !p__PCHAR__DataFileName)
    Fail(EINVAL, "A pointer argument is NULL");
  const std::string folder = p__PCHAR__FolderPrefix ? p__PCHAR__FolderPrefix : "";
  fs::File file;
  try {
    file = fs::File(p__PCHAR__DescriptorFileName, fs::OpenMode::Read);
  } catch (const fs::FsError& e) {
    Fail(e.error() ? static_cast<std::uint32_t>(e.error()) : static_cast<std::uint32_t>(EIO),
         "CreateFile() failed");
  }

  MEDIA_DESCRIPTOR header;
  ReadRecord(file, 0, &header, "ReadFile( MEDIA_DESCRIPTOR ) failed");
  if (std::memcmp(header.m__CHAR__Signature, "MEDIA DESCRIPTOR", 16) != 0)
    Fail(kHalvorinParseBadContents, "MDS signature is bad");
  const auto type = static_cast<std::uint8_t>(header.m__USHORT__MediumType & 0xFF);
  if (type != kHalvorinMediumTypeCD) {
    DebugTrace("\n%s(): Media type is bad, got %ld instead of expected %ld\n", kMethod,
               static_cast<long>(type), 0L);
    Fail(kHalvorinParseBadContents, "Media type is bad");
  }
  // One session: a descriptor of none or of several cannot be written back as one.
  if (header.m__USHORT__NumberOfSessions != 1) {
    DebugTrace("\n%s(): Number of sessions is bad, got %ld instead of expected %ld\n", kMethod,
               static_cast<long>(header.m__USHORT__NumberOfSessions), 1L);
    Fail(kHalvorinParseBadContents, "Number of sessions is bad");
  }

  SESSION_DESCRIPTOR session;
  ReadRecord(file, header.m__ULONG__SessionOffset, &session,
             "ReadFile( SESSION_DESCRIPTOR ) failed");
  // A session of 99 tracks has more than 100 descriptors (A0h-A2h besides its tracks); each is
  // read whole, and the tracks among them are bounded by the list below.

  std::memset(p__PTracks, 0, sizeof(SAO_TRACK_ARRAY));
  *p__PLONG__ImageMode = 1;
  p__PCHAR__DataFileName[0] = 0;
  std::int32_t found = 0;
  for (std::uint32_t j = 0; j < session.m__UCHAR__NumberOfDescriptors; ++j) {
    TRACK_DESCRIPTOR track;
    ReadRecord(file,
               static_cast<std::uint64_t>(session.m__ULONG__TrackOffset) +
                   static_cast<std::uint64_t>(j) * sizeof(TRACK_DESCRIPTOR),
               &track, "ReadFile( TRACK_DESCRIPTOR ) failed");
    const std::uint32_t mode = track.m__UCHAR__Mode & 0x07;
    const std::uint32_t sub = (track.m__UCHAR__SubChannel >> 3) & 0x07;
    DebugTrace("\n%s(): Track %ld, Type 0x%02X, SubType 0x%02X\n", kMethod, static_cast<long>(j),
               mode, sub);
    if (mode == 0) continue;
    if (sub != 1) {
      DebugTrace("\n%s(): Sub type 0x%02X instead of 0x%02X for track descriptor %ld\n", kMethod,
                 sub, 1u, static_cast<long>(j));
      Fail(kHalvorinParseBadContents, "Sub type is bad");
    }
    if (found >= static_cast<std::int32_t>(kMaxEntries))
      Fail(kHalvorinParseBadContents, "More than 100 tracks");
    FILE_DESCRIPTOR descriptor;
    ReadRecord(file, track.m__ULONG__FileOffset, &descriptor, "ReadFile( FILE_DESCRIPTOR ) failed");
    std::int64_t size = descriptor.m__ULONG__TrackLengthInLBs;
    DebugTrace("\n%s(): Track size in LBs %ld\n", kMethod, static_cast<long>(size));
    if (mode > 2) *p__PLONG__ImageMode = 2;
    if (mode == 1) p__PTracks->m__SAO_TRACK_ENTRY__Tracks[found].m__BOOLEAN__IsAudio = 1;

    // The name may end the file: a short read is normal, a name without its terminator is not.
    char name[kHalvorinMaxPath] = {};
    const std::size_t got = ReadAt(file, descriptor.m__ULONG__NameOffset, name, sizeof name);
    if (got == 0) Fail(kHalvorinParseShortRead, "ReadFile( TrackName ) failed");
    if (std::memchr(name, 0, got) == nullptr)
      Fail(kHalvorinParseBadContents, "File name is not terminated");
    DebugTrace("\n%s(): File name is '%s'\n", kMethod, name);
    if (!IsBareFileName(name)) Fail(kHalvorinParseBadContents, "File name is not a bare file name");
    if (folder.size() + std::strlen(name) >= kHalvorinMaxPath)
      Fail(kHalvorinParseBadContents, "Folder and file name are longer than the path limit");
    std::strcpy(p__PCHAR__DataFileName, name);

    if (size == 0) {
      const std::string path = folder + name;
      fs::File data;
      try {
        data = fs::File(path, fs::OpenMode::Read);
      } catch (const fs::FsError& e) {
        Fail(e.error() ? static_cast<std::uint32_t>(e.error()) : static_cast<std::uint32_t>(EIO),
             "CreateFile( data file ) failed");
      }
      const std::uint64_t sectors = data.Size() / kHalvorinImageSectorSize;
      size = sectors > kMaxTrackSize ? kMaxTrackSize + 1 : static_cast<std::int64_t>(sectors);
      DebugTrace("\n%s(): Zero-sized track ( %ld ), recalculated track size is %ld LBs\n", kMethod,
                 static_cast<long>(j), static_cast<long>(size));
    }
    // Every track but the last is taken without the 150 sectors of the next one's pre-gap.
    if (size < 150) Fail(kHalvorinParseBadContents, "Track size is below 150 LBs");
    if (size > kMaxTrackSize) Fail(kHalvorinParseBadContents, "Track size is beyond a CD's");
    p__PTracks->m__LONG__RawTrackSizeInLBs[found] = static_cast<std::int32_t>(size - 150);
    p__PTracks->m__LONG__NumberOfRawTracks = ++found;
  }
  if (found == 0) Fail(kHalvorinParseBadContents, "No track descriptor");
  p__PTracks->m__LONG__RawTrackSizeInLBs[found - 1] += 150;
  return 0;
}

}  // namespace

std::uint32_t HalvorinI_ParseMDS(const char* p__PCHAR__DescriptorFileName,
                                 SAO_TRACK_ARRAY* p__PSAO_TRACK_ARRAY__Tracks,
                                 std::int32_t* p__PLONG__ImageMode, char* p__PCHAR__DataFileName,
                                 const char* p__PCHAR__FolderPrefix) {
  try {
    return Parse(p__PCHAR__DescriptorFileName, p__PSAO_TRACK_ARRAY__Tracks, p__PLONG__ImageMode,
                 p__PCHAR__DataFileName, p__PCHAR__FolderPrefix);
  } catch (const ParseFailure& failure) {
    return failure.status;
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    std::unique_ptr<CHalvorin_Exception> exception(p__PCHalvorin_Exception__Exception);
  } catch (...) {
  }
  DebugTrace("\n%s(): Exception, status %ld ( 0x%X )\n", kMethod,
             static_cast<long>(kHalvorinParseException),
             static_cast<unsigned>(kHalvorinParseException));
  return kHalvorinParseException;
}
