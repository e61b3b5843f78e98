// The reader handle: create, read, rewind, size and destroy, and the test of whether a file
// can be read through one.
#include <memory>
#include <new>

#include "lib/audio/sync_file_reader.h"
#include "lib/audio/tidewell.h"
#include "lib/audio/tidewell_trace.h"

namespace {

using Record = TIDEWELL_COMPRESSED_FILE_READER_OBJECT;

// The handle's record when it is one (both magics in place); null after a logged 87.
Record* RecordOf(const char* p__PCHAR__FunctionName, void* p__PVOID__Handle) {
  if (!p__PVOID__Handle) {
    TidewellI_LogBadPointer(p__PCHAR__FunctionName, "IsBadReadPtr", p__PVOID__Handle,
                            sizeof(Record));
    return nullptr;
  }
  auto* record = static_cast<Record*>(p__PVOID__Handle);
  if (record->m__ULONG__HeaderMagic != kTidewellHeaderMagic) {
    Tidewell_LogMessage(kTidewellLevelNotable, p__PCHAR__FunctionName,
                        "(): Header is bad, got 0x%x instead of expected 0x%x, failed, status %d "
                        "( 0x%x )\n",
                        record->m__ULONG__HeaderMagic, kTidewellHeaderMagic,
                        kTidewellStatusBadArgument, kTidewellStatusBadArgument);
    return nullptr;
  }
  if (record->m__ULONG__TailerMagic != kTidewellTailerMagic) {
    Tidewell_LogMessage(kTidewellLevelNotable, p__PCHAR__FunctionName,
                        "(): Tailer is bad, got 0x%x instead of expected 0x%x, failed, status %d "
                        "( 0x%x )\n",
                        record->m__ULONG__TailerMagic, kTidewellTailerMagic,
                        kTidewellStatusBadArgument, kTidewellStatusBadArgument);
    return nullptr;
  }
  return record;
}

void LogHandle(const char* p__PCHAR__FunctionName, const void* p__PVOID__Handle) {
  Tidewell_LogMessage(kTidewellLevelParameters, p__PCHAR__FunctionName,
                      "(): p__PVOID__CompressedFileReaderObject == 0x%p\n", p__PVOID__Handle);
}

}  // namespace

std::uint32_t Tidewell_CompressedFileReaderObjectCreate(
    void** p__PPVOID__CompressedFileReaderObject, const char* p__PCHAR__CompressedFileName) {
  constexpr const char* kName = "Tidewell_CompressedFileReaderObjectCreate";
  const char* name = p__PCHAR__CompressedFileName;
  return TidewellI_Run(kName, [&]() -> std::uint32_t {
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__PPVOID__CompressedFileReaderObject == 0x%p\n",
                        static_cast<void*>(p__PPVOID__CompressedFileReaderObject));
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__PCHAR__CompressedFileName == '%s' ( 0x%p )\n",
                        name ? name : "(null)", static_cast<const void*>(name));
    if (!p__PPVOID__CompressedFileReaderObject) {
      TidewellI_LogBadPointer(kName, "IsBadWritePtr", p__PPVOID__CompressedFileReaderObject,
                              sizeof(void*));
      return kTidewellStatusBadArgument;
    }
    if (!name) {
      TidewellI_LogBadPointer(kName, "IsBadReadPtr", name, 1);
      return kTidewellStatusBadArgument;
    }
    std::unique_ptr<Record> record(new (std::nothrow)
                                       Record{kTidewellHeaderMagic, nullptr, kTidewellTailerMagic});
    if (!record) {
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): new TIDEWELL_COMPRESSED_FILE_READER_OBJECT failed, status %d ( "
                          "0x%x )\n",
                          kTidewellStatusOutOfMemory, kTidewellStatusOutOfMemory);
      return kTidewellStatusOutOfMemory;
    }
    std::unique_ptr<CTidewell_SyncFileReader> reader(new (std::nothrow) CTidewell_SyncFileReader);
    if (!reader) {
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): new CTidewell_SyncFileReader() failed, status %d ( 0x%x )\n",
                          kTidewellStatusOutOfMemory, kTidewellStatusOutOfMemory);
      return kTidewellStatusOutOfMemory;
    }
    const platform::com::HRESULT hr = reader->Open(name);
    if (platform::com::FAILED(hr)) {
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): l__PTIDEWELL_COMPRESSED_FILE_READER_OBJECT->m__PCTidewell_"
                          "SyncFileReader->Open( '%s' ) failed, status %d ( 0x%x )\n",
                          name, static_cast<int>(hr), static_cast<unsigned>(hr));
      return static_cast<std::uint32_t>(hr);
    }
    record->m__PCTidewell_SyncFileReader = reader.release();
    *p__PPVOID__CompressedFileReaderObject = record.release();
    return kTidewellStatusSuccess;
  });
}

std::uint32_t Tidewell_CompressedFileReaderObjectDestroy(
    void** p__PPVOID__CompressedFileReaderObject) {
  constexpr const char* kName = "Tidewell_CompressedFileReaderObjectDestroy";
  return TidewellI_Run(kName, [&]() -> std::uint32_t {
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__PPVOID__CompressedFileReaderObject == 0x%p\n",
                        static_cast<void*>(p__PPVOID__CompressedFileReaderObject));
    if (!p__PPVOID__CompressedFileReaderObject) {
      TidewellI_LogBadPointer(kName, "IsBadWritePtr", p__PPVOID__CompressedFileReaderObject,
                              sizeof(void*));
      return kTidewellStatusBadArgument;
    }
    Record* record = RecordOf(kName, *p__PPVOID__CompressedFileReaderObject);
    if (!record) return kTidewellStatusBadArgument;  // left as it is
    std::unique_ptr<Record> owned(record);
    std::unique_ptr<CTidewell_SyncFileReader> reader(owned->m__PCTidewell_SyncFileReader);
    *p__PPVOID__CompressedFileReaderObject = nullptr;
    return kTidewellStatusSuccess;
  });
}

std::uint32_t Tidewell_CompressedFileReaderObjectRead(void* p__PVOID__CompressedFileReaderObject,
                                                      void* p__PVOID__ReadDataBuffer,
                                                      std::uint32_t p__ULONG__ReadSizeInUCHARs) {
  constexpr const char* kName = "Tidewell_CompressedFileReaderObjectRead";
  return TidewellI_Run(kName, [&]() -> std::uint32_t {
    LogHandle(kName, p__PVOID__CompressedFileReaderObject);
    Tidewell_LogMessage(kTidewellLevelParameters, kName, "(): p__PVOID__ReadDataBuffer == 0x%p\n",
                        p__PVOID__ReadDataBuffer);
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__ULONG__ReadSizeInUCHARs == %u ( 0x%x )\n",
                        p__ULONG__ReadSizeInUCHARs, p__ULONG__ReadSizeInUCHARs);
    if (!p__PVOID__CompressedFileReaderObject) {
      TidewellI_LogBadPointer(kName, "IsBadReadPtr", p__PVOID__CompressedFileReaderObject,
                              sizeof(Record));
      return kTidewellStatusBadArgument;
    }
    if (!p__PVOID__ReadDataBuffer && p__ULONG__ReadSizeInUCHARs) {
      TidewellI_LogBadPointer(kName, "IsBadWritePtr", p__PVOID__ReadDataBuffer,
                              p__ULONG__ReadSizeInUCHARs);
      return kTidewellStatusBadArgument;
    }
    Record* record = RecordOf(kName, p__PVOID__CompressedFileReaderObject);
    if (!record) return kTidewellStatusBadArgument;
    const platform::com::HRESULT hr = record->m__PCTidewell_SyncFileReader->Read(
        p__PVOID__ReadDataBuffer, p__ULONG__ReadSizeInUCHARs);
    if (platform::com::FAILED(hr))
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): l__PTIDEWELL_COMPRESSED_FILE_READER_OBJECT->m__PCTidewll_"
                          "SyncFileReader->Read( 0x%p, %d ) failed, status %d ( 0x%x )\n",
                          p__PVOID__ReadDataBuffer, static_cast<int>(p__ULONG__ReadSizeInUCHARs),
                          static_cast<int>(hr), static_cast<unsigned>(hr));
    return static_cast<std::uint32_t>(hr);
  });
}

std::uint32_t Tidewell_CompressedFileReaderObjectBeginSeek(
    void* p__PVOID__CompressedFileReaderObject) {
  constexpr const char* kName = "Tidewell_CompressedFileReaderObjectBeginSeek";
  return TidewellI_Run(kName, [&]() -> std::uint32_t {
    LogHandle(kName, p__PVOID__CompressedFileReaderObject);
    Record* record = RecordOf(kName, p__PVOID__CompressedFileReaderObject);
    if (!record) return kTidewellStatusBadArgument;
    const platform::com::HRESULT hr = record->m__PCTidewell_SyncFileReader->SeekToBegin();
    if (platform::com::FAILED(hr))
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): l__PTIDEWELL_COMPRESSED_FILE_READER_OBJECT->m__PCTidewll_"
                          "SyncFileReader->SeekToBegin() failed, status %d ( 0x%x )\n",
                          static_cast<int>(hr), static_cast<unsigned>(hr));
    return static_cast<std::uint32_t>(hr);
  });
}

std::uint32_t Tidewell_CompressedFileReaderObjectUncompressedSizeGet(
    void* p__PVOID__CompressedFileReaderObject,
    std::uint32_t* p__PULONG__UncompressedSizeInUCHARs) {
  constexpr const char* kName = "Tidewell_CompressedFileReaderObjectUncompressedSizeGet";
  return TidewellI_Run(kName, [&]() -> std::uint32_t {
    LogHandle(kName, p__PVOID__CompressedFileReaderObject);
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__PULONG__UncompressedSizeInUCHARs == 0x%p\n",
                        static_cast<void*>(p__PULONG__UncompressedSizeInUCHARs));
    if (!p__PVOID__CompressedFileReaderObject) {
      TidewellI_LogBadPointer(kName, "IsBadReadPtr", p__PVOID__CompressedFileReaderObject,
                              sizeof(Record));
      return kTidewellStatusBadArgument;
    }
    if (!p__PULONG__UncompressedSizeInUCHARs) {
      TidewellI_LogBadPointer(kName, "IsBadWritePtr", p__PULONG__UncompressedSizeInUCHARs,
                              sizeof *p__PULONG__UncompressedSizeInUCHARs);
      return kTidewellStatusBadArgument;
    }
    Record* record = RecordOf(kName, p__PVOID__CompressedFileReaderObject);
    if (!record) return kTidewellStatusBadArgument;
    const platform::com::HRESULT hr =
        record->m__PCTidewell_SyncFileReader->GetUncompressedSizeInUCHARs(
            p__PULONG__UncompressedSizeInUCHARs);
    if (platform::com::FAILED(hr))
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): l__PTIDEWELL_COMPRESSED_FILE_READER_OBJECT->m__PCTidewll_"
                          "SyncFileReader->GetUncpmpressedSizeInUCHARs( 0x%p ) failed, status %d "
                          "( 0x%x )\n",
                          static_cast<void*>(p__PULONG__UncompressedSizeInUCHARs),
                          static_cast<int>(hr), static_cast<unsigned>(hr));
    return static_cast<std::uint32_t>(hr);
  });
}

std::uint32_t Tidewell_CompressedFileSupportedIs(const char* p__PCHAR__CompressedFileName) {
  constexpr const char* kName = "Tidewell_CompressedFileSupportedIs";
  const char* name = p__PCHAR__CompressedFileName;
  return TidewellI_Run(kName, [&]() -> std::uint32_t {
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__PCHAR__CompressedFileName == '%s' ( 0x%p )\n",
                        name ? name : "(null)", static_cast<const void*>(name));
    void* handle = nullptr;
    const std::uint32_t status = Tidewell_CompressedFileReaderObjectCreate(&handle, name);
    if (status != kTidewellStatusSuccess) {
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): Tidewell_CompressedFileReaderObjectCreate( 0x%p, '%s' ) failed, "
                          "status %d ( 0x%x )\n",
                          static_cast<void*>(&handle), name ? name : "(null)",
                          static_cast<int>(status), status);
      return status;
    }
    Tidewell_CompressedFileReaderObjectDestroy(&handle);
    return kTidewellStatusSuccess;
  });
}
