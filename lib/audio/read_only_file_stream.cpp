#include "lib/audio/read_only_file_stream.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "lib/audio/tidewell_trace.h"

namespace com = platform::com;
using com::E_INVALIDARG;
using com::E_NOINTERFACE;
using com::E_NOTIMPL;
using com::HRESULT;
using com::HRESULT_FROM_WIN32;
using com::S_OK;

namespace {

constexpr std::uint32_t kErrorNoInterface = 1168;  // ERROR_NOT_FOUND

HRESULT BadPointer(const char* p__PCHAR__FunctionName, const char* p__PCHAR__Check,
                   const void* p__PVOID__Pointer, std::size_t p__SIZE__Size) {
  TidewellI_LogBadPointer(p__PCHAR__FunctionName, p__PCHAR__Check, p__PVOID__Pointer,
                          p__SIZE__Size);
  return E_INVALIDARG;
}

}  // namespace

HRESULT CTidewell_ReadOnlyFileStream::Open(const char* p__PCHAR__FileName) {
  constexpr const char* kName = "CTidewell_ReadOnlyFileStream::Open";
  return TidewellI_RunResult(kName, [&]() -> HRESULT {
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__PCHAR__FileName == '%s' ( 0x%p )\n",
                        p__PCHAR__FileName ? p__PCHAR__FileName : "(null)",
                        static_cast<const void*>(p__PCHAR__FileName));
    if (!p__PCHAR__FileName) return BadPointer(kName, "IsBadReadPtr", p__PCHAR__FileName, 1);
    try {
      m__HANDLE__File = platform::fs::File(p__PCHAR__FileName, platform::fs::OpenMode::Read);
    } catch (const platform::fs::FsError&) {
      const std::uint32_t status = TidewellI_StatusOfCaughtException();
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): CreateFileA( '%s', GENERIC_READ, FILE_SHARE_READ, NULL, "
                          "OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL ) failed, status %d ( 0x%x "
                          ")\n",
                          p__PCHAR__FileName, static_cast<int>(status), status);
      return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
  });
}

HRESULT CTidewell_ReadOnlyFileStream::QueryInterface(com::REFIID riid, void** object) {
  constexpr const char* kName = "CTidewell_ReadOnlyFileStream::QueryInterface";
  return TidewellI_RunResult(kName, [&]() -> HRESULT {
    Tidewell_LogMessage(kTidewellLevelParameters, kName, "(): p__PPVOID__Object == 0x%p\n",
                        static_cast<void*>(object));
    if (!object) return BadPointer(kName, "IsBadWritePtr", object, sizeof(void*));
    if (riid == com::IID_IUnknown || riid == com::IID_IStream) {
      *object = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    Tidewell_LogMessage(kTidewellLevelNotable, kName,
                        "(): RIID recognition failed, status %d ( 0x%x ) or %d ( 0x%x )\n",
                        static_cast<int>(kErrorNoInterface), kErrorNoInterface,
                        static_cast<int>(E_NOINTERFACE), static_cast<unsigned>(E_NOINTERFACE));
    return E_NOINTERFACE;
  });
}

std::uint32_t CTidewell_ReadOnlyFileStream::AddRef() {
  constexpr const char* kName = "CTidewell_ReadOnlyFileStream::AddRef";
  TidewellI_LogEnter(kName);
  const std::uint32_t count = m__LONG__References.Add();
  TidewellI_LogExit(kName, kTidewellStatusSuccess);
  return count;
}

std::uint32_t CTidewell_ReadOnlyFileStream::Release() {
  constexpr const char* kName = "CTidewell_ReadOnlyFileStream::Release";
  TidewellI_LogEnter(kName);
  const std::uint32_t left = m__LONG__References.Drop();
  if (left != 0) {
    Tidewell_LogMessage(kTidewellLevelEntryExit, kName, "(): %d references present...\n",
                        static_cast<int>(left));
  } else {
    delete this;
    Tidewell_LogMessage(kTidewellLevelEntryExit, kName, "(): No references present...\n");
  }
  TidewellI_LogExit(kName, kTidewellStatusSuccess);
  return left;
}

HRESULT CTidewell_ReadOnlyFileStream::Read(void* p__PVOID__ReadBuffer,
                                           std::uint32_t p__ULONG__NumberOfUCHARsToRead,
                                           std::uint32_t* p__PULONG__NumberOfUCHARsRead) {
  constexpr const char* kName = "CTidewell_ReadOnlyFileStream::Read";
  return TidewellI_RunResult(kName, [&]() -> HRESULT {
    Tidewell_LogMessage(kTidewellLevelParameters, kName, "(): p__PVOID__ReadBuffer == 0x%p\n",
                        p__PVOID__ReadBuffer);
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__ULONG__NumberOfUCHARsToRead == %u ( 0x%x )\n",
                        p__ULONG__NumberOfUCHARsToRead, p__ULONG__NumberOfUCHARsToRead);
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__PULONG__NumberOfUCHARsRead == 0x%p\n",
                        static_cast<void*>(p__PULONG__NumberOfUCHARsRead));
    if (!p__PVOID__ReadBuffer && p__ULONG__NumberOfUCHARsToRead)
      return BadPointer(kName, "IsBadWritePtr", p__PVOID__ReadBuffer,
                        p__ULONG__NumberOfUCHARsToRead);
    std::size_t got = 0;
    try {
      got = m__HANDLE__File.Read(p__PVOID__ReadBuffer, p__ULONG__NumberOfUCHARsToRead);
    } catch (const platform::fs::FsError&) {
      const std::uint32_t status = TidewellI_StatusOfCaughtException();
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): ReadFile( 0x%x, 0x%p, %d, 0x%p, NULL ) failed, status %d ( 0x%x "
                          ")\n",
                          m__HANDLE__File.Descriptor(), p__PVOID__ReadBuffer,
                          static_cast<int>(p__ULONG__NumberOfUCHARsToRead),
                          static_cast<void*>(p__PULONG__NumberOfUCHARsRead),
                          static_cast<int>(status), status);
      return HRESULT_FROM_WIN32(status);
    }
    // A short read at the end of the file is a success with the smaller count.
    if (p__PULONG__NumberOfUCHARsRead)
      *p__PULONG__NumberOfUCHARsRead = static_cast<std::uint32_t>(got);
    return S_OK;
  });
}

HRESULT CTidewell_ReadOnlyFileStream::Seek(std::int64_t p__LARGE_INTEGER__DistanceToMove,
                                           std::uint32_t p__ULONG__MoveMethod,
                                           std::uint64_t* p__PULARGE_INTEGER__Distance) {
  constexpr const char* kName = "CTidewell_ReadOnlyFileStream::Seek";
  return TidewellI_RunResult(kName, [&]() -> HRESULT {
    char decimal[32], hexadecimal[32];
    std::snprintf(decimal, sizeof decimal, "%" PRId64, p__LARGE_INTEGER__DistanceToMove);
    std::snprintf(hexadecimal, sizeof hexadecimal, "%" PRIx64,
                  static_cast<std::uint64_t>(p__LARGE_INTEGER__DistanceToMove));
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__LARGE_INTEGER__DistanceToMove.QuadPart == %s ( 0x%s )\n", decimal,
                        hexadecimal);
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__ULONG__MoveMethod == %u ( 0x%x )\n", p__ULONG__MoveMethod,
                        p__ULONG__MoveMethod);
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__PULARGE_INTEGER__Distance == 0x%p\n",
                        static_cast<void*>(p__PULARGE_INTEGER__Distance));
    int whence;
    switch (p__ULONG__MoveMethod) {
      case com::STREAM_SEEK_SET:
        whence = SEEK_SET;
        break;
      case com::STREAM_SEEK_CUR:
        whence = SEEK_CUR;
        break;
      case com::STREAM_SEEK_END:
        whence = SEEK_END;
        break;
      default:
        Tidewell_LogMessage(kTidewellLevelNotable, kName,
                            "(): Move method %d is not recognized, status %d ( 0x%x )\n",
                            static_cast<int>(p__ULONG__MoveMethod), kTidewellStatusBadArgument,
                            kTidewellStatusBadArgument);
        return E_INVALIDARG;
    }
    std::uint64_t position = 0;
    try {
      position = m__HANDLE__File.Seek(p__LARGE_INTEGER__DistanceToMove, whence);
    } catch (const platform::fs::FsError&) {
      const std::uint32_t status = TidewellI_StatusOfCaughtException();
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): SetFilePointer( 0x%x, %s, NULL, %d ) failed, status %d ( 0x%x )\n",
                          m__HANDLE__File.Descriptor(), decimal, whence, static_cast<int>(status),
                          status);
      return HRESULT_FROM_WIN32(status);
    }
    if (p__PULARGE_INTEGER__Distance)
      *p__PULARGE_INTEGER__Distance = position;
    else
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): WARNING! IsBadWritePtr( 0x%p, %d ) failed\n",
                          static_cast<void*>(p__PULARGE_INTEGER__Distance),
                          static_cast<int>(sizeof(std::uint64_t)));
    return S_OK;
  });
}

HRESULT CTidewell_ReadOnlyFileStream::Stat(com::STATSTG* p__PSTATSTG__Statistics,
                                           std::uint32_t p__ULONG__StatisticsFlags) {
  constexpr const char* kName = "CTidewell_ReadOnlyFileStream::Stat";
  return TidewellI_RunResult(kName, [&]() -> HRESULT {
    Tidewell_LogMessage(kTidewellLevelParameters, kName, "(): p__PSTATSTG__Statistics == 0x%p\n",
                        static_cast<void*>(p__PSTATSTG__Statistics));
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__ULONG__StatisticsFlags == %u ( 0x%x )\n", p__ULONG__StatisticsFlags,
                        p__ULONG__StatisticsFlags);
    if (!p__PSTATSTG__Statistics)
      return BadPointer(kName, "IsBadWritePtr", p__PSTATSTG__Statistics, sizeof(com::STATSTG));
    if (p__ULONG__StatisticsFlags != com::STATFLAG_NONAME) {
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): Passed statistics flags %d are not recognized, status %d ( 0x%x )\n",
                          static_cast<int>(p__ULONG__StatisticsFlags), kTidewellStatusBadArgument,
                          kTidewellStatusBadArgument);
      return E_INVALIDARG;
    }
    std::uint64_t size = 0;
    try {
      size = m__HANDLE__File.Size();
    } catch (const platform::fs::FsError&) {
      const std::uint32_t status = TidewellI_StatusOfCaughtException();
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): GetFileSize( 0x%x, NULL ) failed, status %d ( 0x%x )\n",
                          m__HANDLE__File.Descriptor(), static_cast<int>(status), status);
      return HRESULT_FROM_WIN32(status);
    }
    std::memset(p__PSTATSTG__Statistics, 0, sizeof *p__PSTATSTG__Statistics);
    p__PSTATSTG__Statistics->type = com::STGTY_STREAM;
    p__PSTATSTG__Statistics->cbSize = size;
    return S_OK;
  });
}

HRESULT CTidewell_ReadOnlyFileStream::Write(const void*, std::uint32_t, std::uint32_t*) {
  return E_NOTIMPL;
}
HRESULT CTidewell_ReadOnlyFileStream::SetSize(std::uint64_t) {
  return E_NOTIMPL;
}
HRESULT CTidewell_ReadOnlyFileStream::CopyTo(IStream*, std::uint64_t, std::uint64_t*,
                                             std::uint64_t*) {
  return E_NOTIMPL;
}
HRESULT CTidewell_ReadOnlyFileStream::Commit(std::uint32_t) {
  return E_NOTIMPL;
}
HRESULT CTidewell_ReadOnlyFileStream::Revert() {
  return E_NOTIMPL;
}
HRESULT CTidewell_ReadOnlyFileStream::LockRegion(std::uint64_t, std::uint64_t, std::uint32_t) {
  return E_NOTIMPL;
}
HRESULT CTidewell_ReadOnlyFileStream::UnlockRegion(std::uint64_t, std::uint64_t, std::uint32_t) {
  return E_NOTIMPL;
}
HRESULT CTidewell_ReadOnlyFileStream::Clone(IStream**) {
  return E_NOTIMPL;
}
