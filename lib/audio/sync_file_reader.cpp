// The reader's public operations, its clean-up and the WAV/RAW source.
#include "lib/audio/sync_file_reader.h"

#include <algorithm>
#include <cstdio>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include "lib/audio/tidewell.h"
#include "lib/audio/tidewell_trace.h"

namespace com = platform::com;
using com::E_INVALIDARG;
using com::FAILED;
using com::HRESULT;
using com::HRESULT_FROM_WIN32;
using com::S_OK;

namespace {

constexpr const char* kOpen = "CTidewell_SyncFileReader::Open";
constexpr const char* kRead = "CTidewell_SyncFileReader::Read";
constexpr const char* kSeekToBegin = "CTidewell_SyncFileReader::SeekToBegin";
constexpr const char* kGetSize = "CTidewell_SyncFileReader::GetUncompressedSizeInUCHARs";
constexpr std::uint32_t kWavHeaderSize = 44;
constexpr std::uint32_t kErrorSeek = 25;
constexpr std::uint32_t kErrorNotCreated = 1352;
constexpr std::uint64_t kMaxPcmSize = 0xFFFFFFFFu;

HRESULT NotCreated(const char* p__PCHAR__FunctionName) {
  Tidewell_LogMessage(kTidewellLevelNotable, p__PCHAR__FunctionName,
                      "(): Sync file reader object was not created before, status %d ( 0x%x )\n",
                      static_cast<int>(kErrorNotCreated), kErrorNotCreated);
  return HRESULT_FROM_WIN32(kErrorNotCreated);
}

}  // namespace

CTidewell_SyncFileReader::CTidewell_SyncFileReader() = default;

CTidewell_SyncFileReader::~CTidewell_SyncFileReader() {
  CleanUp();
  m__HMODULE__Runtime.Free();
}

void CTidewell_SyncFileReader::CleanUp() {
  CTidewell_CriticalSectionGuard guard(m__CRITICAL_SECTION__Lock);
  // The runtime gives up its reference on the stream with its reader; ours goes last, which
  // closes the file.
  m__PIWMSyncReader.Reset();
  m__PINSSBuffer.Reset();
  m__PCTidewell_ReadOnlyFileStream.Reset();
  m__ULONG__Position = 0;
  m__BOOLEAN__IsWav = false;
  m__ULONG__WavSize = 0;
  m__ULONG__WavStart = 0;
  m__ULONG__WavRead = 0;
  m__HANDLE__File = platform::fs::File();
  m__BOOLEAN__IsOgg = false;
  m__PUCHAR__CarriedBuffer.reset();
  m__ULONG__CarriedLength = 0;
  if (m__OggVorbis_File) {
    ov_clear(m__OggVorbis_File.get());  // closes the C stream it was opened on
    m__OggVorbis_File.reset();
  }
  m__INT__Section = 0;
  m__ULONG__OggSize = 0;
}

HRESULT CTidewell_SyncFileReader::Open(const char* p__PCHAR__FileName) {
  return TidewellI_RunResult(kOpen, [&]() -> HRESULT {
    CTidewell_CriticalSectionGuard guard(m__CRITICAL_SECTION__Lock);
    Tidewell_LogMessage(kTidewellLevelParameters, kOpen,
                        "(): p__PCHAR__FileName == '%s' ( 0x%p )\n",
                        p__PCHAR__FileName ? p__PCHAR__FileName : "(null)",
                        static_cast<const void*>(p__PCHAR__FileName));
    CleanUp();
    if (!p__PCHAR__FileName) {
      TidewellI_LogBadPointer(kOpen, "IsBadReadPtr", p__PCHAR__FileName, 1);
      return E_INVALIDARG;
    }
    HRESULT hr;
    // A ".raw" file is samples whatever it holds: never tried as another format.
    if (TidewellI_IsRawFileName(p__PCHAR__FileName) ||
        Tidewell_UncompressedFileSupportedIs(p__PCHAR__FileName) == kTidewellStatusSuccess) {
      hr = OpenWav(p__PCHAR__FileName);
    } else {
      bool other = false;
      hr = OpenOgg(p__PCHAR__FileName, &other);
      if (other) hr = OpenMedia(p__PCHAR__FileName);
    }
    if (FAILED(hr)) CleanUp();
    return hr;
  });
}

HRESULT CTidewell_SyncFileReader::OpenWav(const char* p__PCHAR__FileName) {
  try {
    m__HANDLE__File = platform::fs::File(p__PCHAR__FileName, platform::fs::OpenMode::Read);
  } catch (const platform::fs::FsError&) {
    const std::uint32_t status = TidewellI_StatusOfCaughtException();
    Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                        "(): CreateFileA( '%s', GENERIC_READ, FILE_SHARE_READ, NULL, "
                        "OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL ) failed, status %d ( 0x%x )\n",
                        p__PCHAR__FileName, static_cast<int>(status), status);
    return HRESULT_FROM_WIN32(status);
  }
  std::uint64_t fileSize = 0;
  try {
    fileSize = m__HANDLE__File.Size();
  } catch (const platform::fs::FsError&) {
    const std::uint32_t status = TidewellI_StatusOfCaughtException();
    Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                        "(): GetFileSize( 0x%x, NULL ) failed, status %d ( 0x%x )\n",
                        m__HANDLE__File.Descriptor(), static_cast<int>(status), status);
    return HRESULT_FROM_WIN32(status);
  }
  // A raw file is samples from its first byte to its last. A WAV file's samples are its
  // "data" chunk: whatever follows the chunk is not sound.
  const bool raw = TidewellI_IsRawFileName(p__PCHAR__FileName);
  const std::uint32_t start = raw ? 0 : kWavHeaderSize;
  std::uint64_t size = fileSize > start ? fileSize - start : 0;
  if (!raw) {
    TIDEWELL_WAVE_FILE_HEADER header{};
    std::size_t got = 0;
    try {
      got = m__HANDLE__File.Read(&header, sizeof header);
    } catch (const platform::fs::FsError&) {
      const std::uint32_t status = TidewellI_StatusOfCaughtException();
      Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                          "(): ReadFile( 0x%x, 0x%p, %d, 0x%p, NULL ) failed, status %d ( 0x%x "
                          ")\n",
                          m__HANDLE__File.Descriptor(), static_cast<void*>(&header),
                          static_cast<int>(sizeof header), static_cast<void*>(&got),
                          static_cast<int>(status), status);
      return HRESULT_FROM_WIN32(status);
    }
    if (got < sizeof header) {
      Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                          "(): ReadFile( 0x%x, 0x%p, %d, 0x%p, NULL ) failed, read only %d "
                          "instead of %d UCHARs, status %d ( 0x%x )\n",
                          m__HANDLE__File.Descriptor(), static_cast<void*>(&header),
                          static_cast<int>(sizeof header), static_cast<void*>(&got),
                          static_cast<int>(got), static_cast<int>(sizeof header),
                          kTidewellStatusShortRead, kTidewellStatusShortRead);
      return HRESULT_FROM_WIN32(kTidewellStatusShortRead);
    }
    size = std::min<std::uint64_t>(size, header.m__ULONG__DataSize);
  }
  if (size > kMaxPcmSize) {
    Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                        "(): '%s' holds %llu UCHARs of samples, more than %llu, status %d ( 0x%x "
                        ")\n",
                        p__PCHAR__FileName, static_cast<unsigned long long>(size),
                        static_cast<unsigned long long>(kMaxPcmSize), kTidewellStatusFileTooLarge,
                        kTidewellStatusFileTooLarge);
    return HRESULT_FROM_WIN32(kTidewellStatusFileTooLarge);
  }
  m__ULONG__WavStart = start;
  m__ULONG__WavSize = static_cast<std::uint32_t>(size);
  const HRESULT hr = SeekWav(kOpen);
  if (FAILED(hr)) return hr;
  m__BOOLEAN__IsWav = true;
  Tidewell_LogMessage(kTidewellLevelNotable, kOpen, "(): '%s' is recognized as WAV file...\n",
                      p__PCHAR__FileName);
  return S_OK;
}

HRESULT CTidewell_SyncFileReader::SeekWav(const char* p__PCHAR__FunctionName) {
  std::uint64_t position = 0;
  try {
    position = m__HANDLE__File.Seek(m__ULONG__WavStart, SEEK_SET);
  } catch (const platform::fs::FsError&) {
    const std::uint32_t status = TidewellI_StatusOfCaughtException();
    Tidewell_LogMessage(kTidewellLevelNotable, p__PCHAR__FunctionName,
                        "(): SetFilePointer( 0x%x, %d, NULL, FILE_BEGIN ) failed, status %d ( "
                        "0x%x )\n",
                        m__HANDLE__File.Descriptor(), static_cast<int>(m__ULONG__WavStart),
                        static_cast<int>(status), status);
    return HRESULT_FROM_WIN32(status);
  }
  if (position != m__ULONG__WavStart) {
    Tidewell_LogMessage(kTidewellLevelNotable, p__PCHAR__FunctionName,
                        "(): SetFilePointer( 0x%x, %d, NULL, FILE_BEGIN ) failed, set position to "
                        "%d instead of %d, status %d ( 0x%x )\n",
                        m__HANDLE__File.Descriptor(), static_cast<int>(m__ULONG__WavStart),
                        static_cast<int>(position), static_cast<int>(m__ULONG__WavStart),
                        static_cast<int>(kErrorSeek), kErrorSeek);
    return HRESULT_FROM_WIN32(kErrorSeek);
  }
  m__ULONG__WavRead = 0;
  return S_OK;
}

HRESULT CTidewell_SyncFileReader::ReadWav(std::uint8_t* p__PUCHAR__Buffer,
                                          std::uint32_t p__ULONG__Count) {
  // Reads stop at the end of the samples, not at the end of the file.
  const std::uint32_t want = std::min(p__ULONG__Count, m__ULONG__WavSize - m__ULONG__WavRead);
  std::size_t got = 0;
  try {
    got = m__HANDLE__File.Read(p__PUCHAR__Buffer, want);
  } catch (const platform::fs::FsError&) {
    const std::uint32_t status = TidewellI_StatusOfCaughtException();
    Tidewell_LogMessage(kTidewellLevelNotable, kRead,
                        "(): ReadFile( 0x%x, 0x%p, %d, 0x%p, NULL ) failed, status %d ( 0x%x )\n",
                        m__HANDLE__File.Descriptor(), static_cast<void*>(p__PUCHAR__Buffer),
                        static_cast<int>(p__ULONG__Count), static_cast<void*>(&got),
                        static_cast<int>(status), status);
    return HRESULT_FROM_WIN32(status);
  }
  m__ULONG__WavRead += static_cast<std::uint32_t>(got);
  if (got < p__ULONG__Count) {
    Tidewell_LogMessage(kTidewellLevelNotable, kRead,
                        "(): ReadFile( 0x%x, 0x%p, %d, 0x%p, NULL ) failed, read only %d instead "
                        "of %d UCHARs, status %d ( 0x%x )\n",
                        m__HANDLE__File.Descriptor(), static_cast<void*>(p__PUCHAR__Buffer),
                        static_cast<int>(p__ULONG__Count), static_cast<void*>(&got),
                        static_cast<int>(got), static_cast<int>(p__ULONG__Count),
                        kTidewellStatusShortRead, kTidewellStatusShortRead);
    return HRESULT_FROM_WIN32(kTidewellStatusShortRead);
  }
  return S_OK;
}

HRESULT CTidewell_SyncFileReader::Read(void* p__PVOID__ReadBuffer,
                                       std::uint32_t p__ULONG__ReadSizeInUCHARs) {
  return TidewellI_RunResult(kRead, [&]() -> HRESULT {
    CTidewell_CriticalSectionGuard guard(m__CRITICAL_SECTION__Lock);
    Tidewell_LogMessage(kTidewellLevelParameters, kRead, "(): p__PVOID__ReadBuffer == 0x%p\n",
                        p__PVOID__ReadBuffer);
    Tidewell_LogMessage(kTidewellLevelParameters, kRead,
                        "(): p__ULONG__ReadSizeInUCHARs == %u ( 0x%x )\n",
                        p__ULONG__ReadSizeInUCHARs, p__ULONG__ReadSizeInUCHARs);
    if (!p__PVOID__ReadBuffer && p__ULONG__ReadSizeInUCHARs) {
      TidewellI_LogBadPointer(kRead, "IsBadWritePtr", p__PVOID__ReadBuffer,
                              p__ULONG__ReadSizeInUCHARs);
      return E_INVALIDARG;
    }
    auto* buffer = static_cast<std::uint8_t*>(p__PVOID__ReadBuffer);
    if (m__BOOLEAN__IsWav) return ReadWav(buffer, p__ULONG__ReadSizeInUCHARs);
    if (m__BOOLEAN__IsOgg) return ReadOgg(buffer, p__ULONG__ReadSizeInUCHARs);
    if (m__PIWMSyncReader) return ReadMedia(buffer, p__ULONG__ReadSizeInUCHARs);
    return NotCreated(kRead);
  });
}

HRESULT CTidewell_SyncFileReader::SeekToBegin() {
  return TidewellI_RunResult(kSeekToBegin, [&]() -> HRESULT {
    CTidewell_CriticalSectionGuard guard(m__CRITICAL_SECTION__Lock);
    if (m__BOOLEAN__IsWav) return SeekWav(kSeekToBegin);
    if (m__BOOLEAN__IsOgg) {
      // What was decoded ahead belongs to the old position.
      m__PUCHAR__CarriedBuffer.reset();
      m__ULONG__CarriedLength = 0;
      m__ULONG__Position = 0;
      const int rc = ov_raw_seek(m__OggVorbis_File.get(), 0);
      if (rc != 0) {
        Tidewell_LogMessage(kTidewellLevelNotable, kSeekToBegin,
                            "(): ov_raw_seek( 0x%p, 0 ) failed, status %d ( 0x%x )\n",
                            static_cast<void*>(m__OggVorbis_File.get()), rc,
                            static_cast<unsigned>(rc));
        return rc;
      }
      return S_OK;
    }
    if (m__PIWMSyncReader) return RewindMedia(kSeekToBegin);
    return NotCreated(kSeekToBegin);
  });
}

HRESULT CTidewell_SyncFileReader::GetUncompressedSizeInUCHARs(
    std::uint32_t* p__PULONG__UncompressedSizeInUCHARs) {
  return TidewellI_RunResult(kGetSize, [&]() -> HRESULT {
    CTidewell_CriticalSectionGuard guard(m__CRITICAL_SECTION__Lock);
    Tidewell_LogMessage(kTidewellLevelParameters, kGetSize,
                        "(): p__PULONG__UncompressedSizeInUCHARs == 0x%p\n",
                        static_cast<void*>(p__PULONG__UncompressedSizeInUCHARs));
    if (!p__PULONG__UncompressedSizeInUCHARs) {
      TidewellI_LogBadPointer(kGetSize, "IsBadWritePtr", p__PULONG__UncompressedSizeInUCHARs,
                              sizeof *p__PULONG__UncompressedSizeInUCHARs);
      return E_INVALIDARG;
    }
    if (m__BOOLEAN__IsWav) {
      *p__PULONG__UncompressedSizeInUCHARs = m__ULONG__WavSize;
      return S_OK;
    }
    if (m__BOOLEAN__IsOgg) {
      *p__PULONG__UncompressedSizeInUCHARs = m__ULONG__OggSize;
      return S_OK;
    }
    if (m__PIWMSyncReader) return CountMediaSamples(p__PULONG__UncompressedSizeInUCHARs);
    return NotCreated(kGetSize);
  });
}
