// A minimal stream over one file opened read-only, handed to the media runtime: reading,
// seeking and the size work (positions and sizes 64-bit); every writing or locking operation
// answers E_NOTIMPL. It lives by its reference count and goes at its last Release.
#pragma once

#include <cstdint>

#include "platform/com/com.h"
#include "platform/fs/fs.h"

class CTidewell_ReadOnlyFileStream final : public platform::com::IStream {
 public:
  using HRESULT = platform::com::HRESULT;

  // One reference, the creator's; no file yet.
  CTidewell_ReadOnlyFileStream() = default;

  HRESULT Open(const char* p__PCHAR__FileName);

  HRESULT QueryInterface(platform::com::REFIID riid, void** object) override;
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;
  HRESULT Read(void* p__PVOID__ReadBuffer, std::uint32_t p__ULONG__NumberOfUCHARsToRead,
               std::uint32_t* p__PULONG__NumberOfUCHARsRead) override;
  HRESULT Write(const void*, std::uint32_t, std::uint32_t*) override;
  HRESULT Seek(std::int64_t p__LARGE_INTEGER__DistanceToMove, std::uint32_t p__ULONG__MoveMethod,
               std::uint64_t* p__PULARGE_INTEGER__Distance) override;
  HRESULT SetSize(std::uint64_t) override;
  HRESULT CopyTo(IStream*, std::uint64_t, std::uint64_t*, std::uint64_t*) override;
  HRESULT Commit(std::uint32_t) override;
  HRESULT Revert() override;
  HRESULT LockRegion(std::uint64_t, std::uint64_t, std::uint32_t) override;
  HRESULT UnlockRegion(std::uint64_t, std::uint64_t, std::uint32_t) override;
  HRESULT Stat(platform::com::STATSTG* p__PSTATSTG__Statistics,
               std::uint32_t p__ULONG__StatisticsFlags) override;
  HRESULT Clone(IStream**) override;

 private:
  ~CTidewell_ReadOnlyFileStream() = default;  // closes the file

  platform::fs::File m__HANDLE__File;
  platform::com::RefCount m__LONG__References;
};
