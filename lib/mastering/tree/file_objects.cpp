#include "lib/mastering/tree/file_objects.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "lib/audio/tidewell.h"
#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/core/trace_scope.h"
#include "lib/mastering/tree/probe_folder.h"
#include "platform/fs/fs.h"

CHalvorin_File* CHalvorin_File::Read(CHalvorin_File* p__PCHalvorin_File__Start,
                                     std::uint64_t p__ULONGLONG__Count,
                                     std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_TraceScope trace("CHalvorin_File::Read");
  CHalvorin_File* current = p__PCHalvorin_File__Start;
  std::uint64_t remaining =
      current->m__ULONGLONG__SizeInUCHARs - current->m__ULONGLONG__PositionInUCHARs;
  while (remaining < p__ULONGLONG__Count) {
    const std::uint64_t covered = std::min(current->CoveredByRealRead(remaining), remaining);
    std::memset(p__PUCHAR__Buffer + covered, 0, remaining - covered);
    current->RealRead(remaining, p__PUCHAR__Buffer);
    current->m__ULONGLONG__PositionInUCHARs += remaining;
    p__ULONGLONG__Count -= remaining;
    p__PUCHAR__Buffer += remaining;
    current = current->m__PCHalvorin_File__Next;
    if (!current)
      HalvorinI_ThrowException(
          kHalvorinStatusInternalState, 0,
          "CHalvorin_File::Read(): m__PCHalvorin_File__Next is NULL, remote transfer is %lld!!!",
          static_cast<long long>(p__ULONGLONG__Count));
    remaining = current->m__ULONGLONG__SizeInUCHARs - current->m__ULONGLONG__PositionInUCHARs;
  }
  const std::uint64_t covered =
      std::min(current->CoveredByRealRead(p__ULONGLONG__Count), p__ULONGLONG__Count);
  std::memset(p__PUCHAR__Buffer + covered, 0, p__ULONGLONG__Count - covered);
  current->RealRead(p__ULONGLONG__Count, p__PUCHAR__Buffer);
  current->m__ULONGLONG__PositionInUCHARs += p__ULONGLONG__Count;
  return current;
}

CHalvorin_File* CHalvorin_File::SeekToBeginUnsafe(std::int32_t* p__PLONG__Budget) {
  CHalvorin_TraceScope trace("CHalvorin_File::SeekToBeginUnsafe");
  m__ULONGLONG__PositionInUCHARs = 0;
  const std::int32_t before = (*p__PLONG__Budget)--;
  if (before == 1) return this;
  return m__PCHalvorin_File__Next ? m__PCHalvorin_File__Next->SeekToBeginUnsafe(p__PLONG__Budget)
                                  : nullptr;
}

// Memory file.

CHalvorin_MemoryFile::CHalvorin_MemoryFile(const std::uint8_t* p__PUCHAR__Block,
                                           std::uint64_t p__ULONGLONG__Size)
    : CHalvorin_MemoryFile(p__PUCHAR__Block, p__ULONGLONG__Size, p__ULONGLONG__Size) {}

CHalvorin_MemoryFile::CHalvorin_MemoryFile(const std::uint8_t* p__PUCHAR__Block,
                                           std::uint64_t p__ULONGLONG__BlockSize,
                                           std::uint64_t p__ULONGLONG__Size)
    : m__PUCHAR__Block(p__PUCHAR__Block),
      m__ULONGLONG__BlockSizeInUCHARs(
          p__PUCHAR__Block ? std::min(p__ULONGLONG__BlockSize, p__ULONGLONG__Size) : 0) {
  CHalvorin_TraceScope trace("CHalvorin_MemoryFile::CHalvorin_MemoryFile");
  m__ULONGLONG__SizeInUCHARs = p__ULONGLONG__Size;
}

void CHalvorin_MemoryFile::RealRead(std::uint64_t p__ULONGLONG__Count,
                                    std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_TraceScope trace("CHalvorin_MemoryFile::RealRead");
  const std::uint64_t position = m__ULONGLONG__PositionInUCHARs;
  if (position >= m__ULONGLONG__BlockSizeInUCHARs) return;
  const std::uint64_t n = std::min(p__ULONGLONG__Count, m__ULONGLONG__BlockSizeInUCHARs - position);
  std::memcpy(p__PUCHAR__Buffer, m__PUCHAR__Block + position, n);
}

std::uint64_t CHalvorin_MemoryFile::CoveredByRealRead(std::uint64_t p__ULONGLONG__Count) const {
  const std::uint64_t position = m__ULONGLONG__PositionInUCHARs;
  if (position >= m__ULONGLONG__BlockSizeInUCHARs) return 0;
  return std::min(p__ULONGLONG__Count, m__ULONGLONG__BlockSizeInUCHARs - position);
}

// Disk file.

// The kernel's own read permission check, access lists included, without the open file a
// descriptor costs.
void CHalvorin_DiskFile::ProbePath(const char* p__PCHAR__Path, const char* p__PCHAR__Method,
                                   const CHalvorin_ProbeFolder* p__PCHalvorin_ProbeFolder) {
  const auto posix = platform::fs::ToPosix(p__PCHAR__Path ? p__PCHAR__Path : "");
  if (posix && (p__PCHalvorin_ProbeFolder ? p__PCHalvorin_ProbeFolder->ProbeRead(*posix)
                                          : ::faccessat(AT_FDCWD, posix->c_str(), R_OK, 0)) == 0)
    return;
  const int error = posix ? errno : EINVAL;
  HalvorinI_ThrowException(kHalvorinStatusSystemCall, static_cast<std::uint32_t>(error),
                           "%s: CreateFile( '%s' ) failed, status %ld!!!", p__PCHAR__Method,
                           p__PCHAR__Path ? p__PCHAR__Path : "(null)", static_cast<long>(error));
}

// The file layer opens without waiting on the name and takes regular files only, so that a
// FIFO, a socket, a device or a folder fails here as a missing file does instead of blocking.
void CHalvorin_DiskFile::OpenPath(const char* p__PCHAR__Path, const char* p__PCHAR__Method) {
  CHalvorin_TraceScope trace("CHalvorin_DiskFile::OpenPath");
  int fd = -1;
  try {
    fd = platform::fs::File(p__PCHAR__Path ? p__PCHAR__Path : "", platform::fs::OpenMode::Read)
             .Release();
  } catch (const platform::fs::FsError& e) {
    const int error = e.error() ? e.error() : EIO;
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, static_cast<std::uint32_t>(error),
                             "%s: CreateFile( '%s' ) failed, status %ld!!!", p__PCHAR__Method,
                             p__PCHAR__Path ? p__PCHAR__Path : "(null)", static_cast<long>(error));
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  m__HANDLE__File = fd;
}

CHalvorin_DiskFile::CHalvorin_DiskFile(const char* p__PCHAR__Path, std::uint64_t p__ULONGLONG__Size)
    : CHalvorin_DiskFile(p__PCHAR__Path, p__ULONGLONG__Size, p__ULONGLONG__Size) {}

CHalvorin_DiskFile::CHalvorin_DiskFile(const char* p__PCHAR__Path,
                                       std::uint64_t p__ULONGLONG__DataSize,
                                       std::uint64_t p__ULONGLONG__Size) {
  CHalvorin_TraceScope trace("CHalvorin_DiskFile::CHalvorin_DiskFile");
  OpenPath(p__PCHAR__Path, "CHalvorin_DiskFile::CHalvorin_DiskFile()");
  m__ULONGLONG__SizeInUCHARs = p__ULONGLONG__Size;
  m__ULONGLONG__DataSizeInUCHARs = std::min(p__ULONGLONG__DataSize, p__ULONGLONG__Size);
}

CHalvorin_DiskFile::CHalvorin_DiskFile(int p__HANDLE__File, std::uint64_t p__ULONGLONG__Size) {
  CHalvorin_TraceScope trace("CHalvorin_DiskFile::CHalvorin_DiskFile");
  const int fd = ::fcntl(p__HANDLE__File, F_DUPFD_CLOEXEC, 0);
  if (fd < 0)
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, static_cast<std::uint32_t>(errno),
                             "CHalvorin_DiskFile::CHalvorin_DiskFile(): DuplicateHandle() failed, "
                             "status %ld!!!",
                             static_cast<long>(errno));
  m__HANDLE__File = fd;
  m__ULONGLONG__SizeInUCHARs = p__ULONGLONG__Size;
  m__ULONGLONG__DataSizeInUCHARs = p__ULONGLONG__Size;
}

CHalvorin_DiskFile::CHalvorin_DiskFile(const char* p__PCHAR__Path) {
  CHalvorin_TraceScope trace("CHalvorin_DiskFile::CHalvorin_DiskFile");
  OpenPath(p__PCHAR__Path, "CHalvorin_DiskFile::CHalvorin_DiskFile()");
  struct stat st {};
  if (::fstat(m__HANDLE__File, &st) != 0) {
    const int error = errno;
    CloseHandle();
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, static_cast<std::uint32_t>(error),
                             "CHalvorin_DiskFile::CHalvorin_DiskFile(): GetFileSize() failed, "
                             "status %ld!!!",
                             static_cast<long>(error));
  }
  m__ULONGLONG__SizeInUCHARs = static_cast<std::uint64_t>(st.st_size);
  m__ULONGLONG__DataSizeInUCHARs = m__ULONGLONG__SizeInUCHARs;
}

CHalvorin_DiskFile::~CHalvorin_DiskFile() {
  CHalvorin_TraceScope trace("CHalvorin_DiskFile::~CHalvorin_DiskFile");
  CloseHandle();
}

void CHalvorin_DiskFile::CloseHandle() {
  if (m__HANDLE__File >= 0) ::close(m__HANDLE__File);
  m__HANDLE__File = -1;
}

void CHalvorin_DiskFile::RewindHandle() {
  CHalvorin_TraceScope trace("CHalvorin_DiskFile::RewindHandle");
  if (::lseek(m__HANDLE__File, 0, SEEK_SET) < 0)
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, static_cast<std::uint32_t>(errno),
                             "CHalvorin_DiskFile::SeekToBeginUnsafe(): SetFilePointer() failed, "
                             "status %ld!!!",
                             static_cast<long>(errno));
}

std::uint64_t CHalvorin_DiskFile::ReadHandle(std::uint64_t p__ULONGLONG__Count,
                                             std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_TraceScope trace("CHalvorin_DiskFile::ReadHandle");
  std::uint64_t done = 0;
  while (done < p__ULONGLONG__Count) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(p__ULONGLONG__Count - done, 1u << 30));
    const ssize_t n = ::read(m__HANDLE__File, p__PUCHAR__Buffer + done, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      HalvorinI_ThrowException(kHalvorinStatusSystemCall, static_cast<std::uint32_t>(errno),
                               "CHalvorin_DiskFile::RealRead(): ReadFile() failed, status %ld!!!",
                               static_cast<long>(errno));
    }
    if (n == 0) break;
    done += static_cast<std::uint64_t>(n);
  }
  return done;
}

void CHalvorin_DiskFile::RealRead(std::uint64_t p__ULONGLONG__Count,
                                  std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_TraceScope trace("CHalvorin_DiskFile::RealRead");
  const std::uint64_t position = m__ULONGLONG__PositionInUCHARs;
  if (position >= m__ULONGLONG__DataSizeInUCHARs) return;  // padding: already zero
  const std::uint64_t want =
      std::min(p__ULONGLONG__Count, m__ULONGLONG__DataSizeInUCHARs - position);
  const std::uint64_t got = ReadHandle(want, p__PUCHAR__Buffer);
  if (got < want)
    HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                             "CHalvorin_DiskFile::RealRead(): ReadFile() delivered %llu of %llu "
                             "bytes at %llu, the file is shorter than its size %llu!!!",
                             static_cast<unsigned long long>(got),
                             static_cast<unsigned long long>(want),
                             static_cast<unsigned long long>(position),
                             static_cast<unsigned long long>(m__ULONGLONG__DataSizeInUCHARs));
}

// A read delivers every data byte it asks for or fails, so only the padding needs zeros.
std::uint64_t CHalvorin_DiskFile::CoveredByRealRead(std::uint64_t p__ULONGLONG__Count) const {
  const std::uint64_t position = m__ULONGLONG__PositionInUCHARs;
  if (position >= m__ULONGLONG__DataSizeInUCHARs) return 0;
  return std::min(p__ULONGLONG__Count, m__ULONGLONG__DataSizeInUCHARs - position);
}

CHalvorin_File* CHalvorin_DiskFile::SeekToBeginUnsafe(std::int32_t* p__PLONG__Budget) {
  CHalvorin_TraceScope trace("CHalvorin_DiskFile::SeekToBeginUnsafe");
  RewindHandle();
  return CHalvorin_File::SeekToBeginUnsafe(p__PLONG__Budget);
}

// Unlocked disk file.

CHalvorin_UnLockedDiskFile::CHalvorin_UnLockedDiskFile(const char* p__PCHAR__Path,
                                                       std::uint64_t p__ULONGLONG__Size)
    : CHalvorin_UnLockedDiskFile(p__PCHAR__Path, p__ULONGLONG__Size, p__ULONGLONG__Size) {}

CHalvorin_UnLockedDiskFile::CHalvorin_UnLockedDiskFile(
    const char* p__PCHAR__Path, std::uint64_t p__ULONGLONG__DataSize,
    std::uint64_t p__ULONGLONG__Size, const CHalvorin_ProbeFolder* p__PCHalvorin_ProbeFolder)
    : CHalvorin_DiskFile(NoOpen{}), m__STRING__Path(p__PCHAR__Path) {
  CHalvorin_TraceScope trace("CHalvorin_UnLockedDiskFile::CHalvorin_UnLockedDiskFile");
  // Only the check that it opens: a large tree pays one open and close a file when added, the
  // status and read-ahead advice wait for the read.
  ProbePath(p__PCHAR__Path, "CHalvorin_DiskFile::CHalvorin_DiskFile()", p__PCHalvorin_ProbeFolder);
  m__ULONGLONG__SizeInUCHARs = p__ULONGLONG__Size;
  m__ULONGLONG__DataSizeInUCHARs = std::min(p__ULONGLONG__DataSize, p__ULONGLONG__Size);
}

void CHalvorin_UnLockedDiskFile::Open() {
  CHalvorin_TraceScope trace("CHalvorin_UnLockedDiskFile::Open");
  if (m__HANDLE__File >= 0) return;
  OpenPath(m__STRING__Path.c_str(), "CHalvorin_UnLockedDiskFile::Open()");
}

void CHalvorin_UnLockedDiskFile::RealRead(std::uint64_t p__ULONGLONG__Count,
                                          std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_TraceScope trace("CHalvorin_UnLockedDiskFile::RealRead");
  if (p__ULONGLONG__Count == 0) return;
  if (m__HANDLE__File < 0 && m__ULONGLONG__PositionInUCHARs < m__ULONGLONG__DataSizeInUCHARs) {
    Open();
    if (m__ULONGLONG__PositionInUCHARs &&
        ::lseek(m__HANDLE__File, static_cast<off_t>(m__ULONGLONG__PositionInUCHARs), SEEK_SET) < 0)
      HalvorinI_ThrowException(kHalvorinStatusSystemCall, static_cast<std::uint32_t>(errno),
                               "CHalvorin_DiskFile::SeekToBeginUnsafe(): SetFilePointer() failed, "
                               "status %ld!!!",
                               static_cast<long>(errno));
  }
  CHalvorin_DiskFile::RealRead(p__ULONGLONG__Count, p__PUCHAR__Buffer);
  m__ULONGLONG__ReadInUCHARs += p__ULONGLONG__Count;
  if (m__ULONGLONG__ReadInUCHARs >= m__ULONGLONG__SizeInUCHARs ||
      m__ULONGLONG__PositionInUCHARs + p__ULONGLONG__Count >= m__ULONGLONG__DataSizeInUCHARs)
    CloseHandle();
}

CHalvorin_File* CHalvorin_UnLockedDiskFile::SeekToBeginUnsafe(std::int32_t* p__PLONG__Budget) {
  CHalvorin_TraceScope trace("CHalvorin_UnLockedDiskFile::SeekToBeginUnsafe");
  // Opened for the rewind, so that a file gone since it was added fails here, before the
  // write; no handle is held between passes.
  if (m__HANDLE__File < 0 && !m__BOOLEAN__IsProbedForRewind)
    ProbePath(m__STRING__Path.c_str(), "CHalvorin_UnLockedDiskFile::Open()");
  CloseHandle();
  m__ULONGLONG__ReadInUCHARs = 0;
  return CHalvorin_File::SeekToBeginUnsafe(p__PLONG__Budget);
}

bool CHalvorin_UnLockedDiskFile::ProbeForRewind(
    const CHalvorin_ProbeFolder& p__CHalvorin_ProbeFolder__Folder) {
  if (m__HANDLE__File >= 0) return true;
  const auto posix = platform::fs::ToPosix(m__STRING__Path);
  m__BOOLEAN__IsProbedForRewind = posix && p__CHalvorin_ProbeFolder__Folder.ProbeRead(*posix) == 0;
  return m__BOOLEAN__IsProbedForRewind;
}

// Audio file.

CHalvorin_TidewellFile::CHalvorin_TidewellFile(const char* p__PCHAR__Path)
    : CHalvorin_DiskFile(p__PCHAR__Path) {
  CHalvorin_TraceScope trace("CHalvorin_TidewellFile::CHalvorin_TidewellFile");
  std::uint32_t status =
      Tidewell_CompressedFileReaderObjectCreate(&m__PVOID__TidewellReader, p__PCHAR__Path);
  if (status != kTidewellStatusSuccess)
    HalvorinI_ThrowException(
        kHalvorinStatusSystemCall, status,
        "CHalvorin_TidewellFile::CHalvorin_TidewellFile(): "
        "Tidewell_CompressedFileReaderObjectCreate( 0x%p, '%s' ) failed, status %ld!!!",
        static_cast<void*>(&m__PVOID__TidewellReader), p__PCHAR__Path, static_cast<long>(status));
  // A throwing constructor runs no destructor of its own: the reader goes before the throw.
  std::uint32_t size = 0;
  status = Tidewell_CompressedFileReaderObjectUncompressedSizeGet(m__PVOID__TidewellReader, &size);
  if (status != kTidewellStatusSuccess) {
    void* reader = m__PVOID__TidewellReader;
    Tidewell_CompressedFileReaderObjectDestroy(&m__PVOID__TidewellReader);
    HalvorinI_ThrowException(
        kHalvorinStatusSystemCall, status,
        "CHalvorin_TidewellFile::CHalvorin_TidewellFile(): "
        "Tidewell_CompressedFileReaderObjectUncompressedSizeGet( 0x%p, 0x%p ) failed, status "
        "%ld!!!",
        reader, static_cast<void*>(&size), static_cast<long>(status));
  }
  status = Tidewell_CompressedFileReaderObjectBeginSeek(m__PVOID__TidewellReader);
  if (status != kTidewellStatusSuccess) {
    void* reader = m__PVOID__TidewellReader;
    Tidewell_CompressedFileReaderObjectDestroy(&m__PVOID__TidewellReader);
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, status,
                             "CHalvorin_TidewellFile::CHalvorin_TidewellFile(): "
                             "Tidewell_CompressedFileReaderObjectBeginSeek( 0x%p ) failed, status "
                             "%ld!!!",
                             reader, static_cast<long>(status));
  }
  m__ULONGLONG__SizeInUCHARs = size;
  m__ULONGLONG__DataSizeInUCHARs = size;
  m__BOOLEAN__IsAudio = 1;
}

CHalvorin_TidewellFile::~CHalvorin_TidewellFile() {
  CHalvorin_TraceScope trace("CHalvorin_TidewellFile::~CHalvorin_TidewellFile");
  if (m__PVOID__TidewellReader)
    Tidewell_CompressedFileReaderObjectDestroy(&m__PVOID__TidewellReader);
}

void CHalvorin_TidewellFile::RealRead(std::uint64_t p__ULONGLONG__Count,
                                      std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_TraceScope trace("CHalvorin_TidewellFile::RealRead");
  // The reader takes 32-bit counts; a file's size never passes 32 bits.
  while (p__ULONGLONG__Count > 0) {
    const auto n = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(p__ULONGLONG__Count, std::uint64_t{1} << 30));
    const std::uint32_t status =
        Tidewell_CompressedFileReaderObjectRead(m__PVOID__TidewellReader, p__PUCHAR__Buffer, n);
    if (status != kTidewellStatusSuccess)
      HalvorinI_ThrowException(kHalvorinStatusSystemCall, status,
                               "CHalvorin_TidewellFile::RealRead(): "
                               "Tidewell_CompressedFileReaderObjectRead( 0x%p, 0x%p, %lu ) failed "
                               "at %llu, status %ld!!!",
                               m__PVOID__TidewellReader, static_cast<void*>(p__PUCHAR__Buffer),
                               static_cast<unsigned long>(n),
                               static_cast<unsigned long long>(m__ULONGLONG__PositionInUCHARs),
                               static_cast<long>(status));
    p__ULONGLONG__Count -= n;
    p__PUCHAR__Buffer += n;
  }
}

CHalvorin_File* CHalvorin_TidewellFile::SeekToBeginUnsafe(std::int32_t* p__PLONG__Budget) {
  CHalvorin_TraceScope trace("CHalvorin_TidewellFile::SeekToBeginUnsafe");
  RewindHandle();
  const std::uint32_t status =
      Tidewell_CompressedFileReaderObjectBeginSeek(m__PVOID__TidewellReader);
  if (status != kTidewellStatusSuccess)
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, status,
                             "CHalvorin_TidewellFile::SeekToBeginUnsafe(): "
                             "Tidewell_CompressedFileReaderObjectBeginSeek( 0x%p ) failed, status "
                             "%ld!!!",
                             m__PVOID__TidewellReader, static_cast<long>(status));
  return CHalvorin_File::SeekToBeginUnsafe(p__PLONG__Budget);
}

// MPEG files.

namespace {

void WriteSubheader(std::uint8_t* p__PUCHAR__Unit, std::uint8_t p__UCHAR__Channel,
                    std::uint8_t p__UCHAR__SubMode, std::uint8_t p__UCHAR__CodingInformation) {
  const std::uint8_t subheader[4] = {1, p__UCHAR__Channel, p__UCHAR__SubMode,
                                     p__UCHAR__CodingInformation};
  std::memcpy(p__PUCHAR__Unit, subheader, 4);
  std::memcpy(p__PUCHAR__Unit + 4, subheader, 4);
}

// The subheader of one unit from its payload.
void SubheaderFromPayload(std::uint8_t* p__PUCHAR__Unit) {
  const std::uint8_t* p = p__PUCHAR__Unit + 8;
  static const std::uint8_t kPack[4] = {0, 0, 1, 0xBA};
  static const std::uint8_t kSystem[4] = {0, 0, 1, 0xBB};
  if (std::memcmp(p, kPack, 4) != 0) return WriteSubheader(p__PUCHAR__Unit, 0, 0x60, 0x00);
  std::uint8_t stream;
  if (std::memcmp(p + 12, kSystem, 4) == 0)
    stream = p[24];
  else if (p[12] == 0 && p[13] == 0 && p[14] == 1)
    stream = p[15];
  else
    stream = p[17];
  if (stream == 0xC0 || stream == 0xC1) return WriteSubheader(p__PUCHAR__Unit, 1, 0x64, 0x7F);
  WriteSubheader(p__PUCHAR__Unit, 1, 0x62, 0x0F);
}

}  // namespace

CHalvorin_MPEG12DiskFile::CHalvorin_MPEG12DiskFile(const char* p__PCHAR__Path)
    : CHalvorin_DiskFile(p__PCHAR__Path) {
  CHalvorin_TraceScope trace("CHalvorin_MPEG12DiskFile::CHalvorin_MPEG12DiskFile");
  const std::uint64_t bytes = m__ULONGLONG__SizeInUCHARs;
  m__ULONGLONG__DataSizeInUCHARs = bytes;
  m__ULONGLONG__SizeInUCHARs = (bytes + kPayload - 1) / kPayload * kUnit;
  m__BOOLEAN__IsUnits = 1;
}

void CHalvorin_MPEG12DiskFile::RealRead(std::uint64_t p__ULONGLONG__Count,
                                        std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_TraceScope trace("CHalvorin_MPEG12DiskFile::RealRead");
  // Unit by unit, so that a read may start or end inside a unit.
  std::uint64_t position = m__ULONGLONG__PositionInUCHARs;
  std::uint64_t left = p__ULONGLONG__Count;
  std::uint8_t unit[kUnit];
  while (left > 0) {
    const std::uint64_t index = position / kUnit;
    const std::uint64_t offset = position % kUnit;
    const std::uint64_t n = std::min(left, kUnit - offset);
    std::memset(unit, 0, sizeof unit);
    const std::uint64_t payloadStart = index * kPayload;
    if (payloadStart < m__ULONGLONG__DataSizeInUCHARs) {
      const std::uint64_t want = std::min(kPayload, m__ULONGLONG__DataSizeInUCHARs - payloadStart);
      if (m__ULONGLONG__HandlePosition != payloadStart) {
        if (::lseek(m__HANDLE__File, static_cast<off_t>(payloadStart), SEEK_SET) < 0)
          HalvorinI_ThrowException(kHalvorinStatusSystemCall, static_cast<std::uint32_t>(errno),
                                   "CHalvorin_DiskFile::SeekToBeginUnsafe(): SetFilePointer() "
                                   "failed, status %ld!!!",
                                   static_cast<long>(errno));
        m__ULONGLONG__HandlePosition = payloadStart;
      }
      const std::uint64_t got = ReadHandle(want, unit + 8);
      m__ULONGLONG__HandlePosition += got;
      if (got < want)
        HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                                 "CHalvorin_MPEG12DiskFile::RealRead(): ReadFile() delivered %llu "
                                 "of %llu bytes, the file is shorter than its size!!!",
                                 static_cast<unsigned long long>(got),
                                 static_cast<unsigned long long>(want));
    }
    SubheaderFromPayload(unit);
    std::memcpy(p__PUCHAR__Buffer, unit + offset, n);
    p__PUCHAR__Buffer += n;
    position += n;
    left -= n;
  }
}

CHalvorin_File* CHalvorin_MPEG12DiskFile::SeekToBeginUnsafe(std::int32_t* p__PLONG__Budget) {
  CHalvorin_TraceScope trace("CHalvorin_MPEG12DiskFile::SeekToBeginUnsafe");
  m__ULONGLONG__HandlePosition = 0;
  return CHalvorin_DiskFile::SeekToBeginUnsafe(p__PLONG__Budget);
}

CHalvorin_MPEG12ZeroFile::CHalvorin_MPEG12ZeroFile(std::uint64_t p__ULONGLONG__Size) {
  CHalvorin_TraceScope trace("CHalvorin_MPEG12ZeroFile::CHalvorin_MPEG12ZeroFile");
  m__ULONGLONG__SizeInUCHARs =
      p__ULONGLONG__Size / CHalvorin_MPEG12DiskFile::kUnit * CHalvorin_MPEG12DiskFile::kUnit;
  m__BOOLEAN__IsUnits = 1;
}

void CHalvorin_MPEG12ZeroFile::RealRead(std::uint64_t p__ULONGLONG__Count,
                                        std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_TraceScope trace("CHalvorin_MPEG12ZeroFile::RealRead");
  constexpr std::uint64_t kUnit = CHalvorin_MPEG12DiskFile::kUnit;
  static const std::uint8_t kSubheader[8] = {1, 0, 0x60, 0, 1, 0, 0x60, 0};
  const std::uint64_t start = m__ULONGLONG__PositionInUCHARs;
  // Every subheader byte that falls inside this read.
  for (std::uint64_t unit = start / kUnit * kUnit; unit < start + p__ULONGLONG__Count;
       unit += kUnit)
    for (std::uint64_t i = 0; i < 8; ++i)
      if (unit + i >= start && unit + i < start + p__ULONGLONG__Count)
        p__PUCHAR__Buffer[unit + i - start] = kSubheader[i];
}
