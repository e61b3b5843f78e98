// The component-object layer: our own minimal unknown and stream interfaces, their identifiers
// and result codes, and the process's COM start and end (nothing to do here). Only what the
// audio reader and the media runtime use.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <utility>

namespace platform::com {

using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

constexpr bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
  return hr < 0;
}
// A system error number in result form: 0x80070000 ORed with the number (0 stays 0).
constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t error) {
  return error == 0 ? S_OK : static_cast<HRESULT>((error & 0xFFFFu) | 0x80070000u);
}
// The system error number inside a result of that form; any other result as it stands.
constexpr std::uint32_t Win32FromHresult(HRESULT hr) {
  const auto v = static_cast<std::uint32_t>(hr);
  return (v & 0xFFFF0000u) == 0x80070000u ? (v & 0xFFFFu) : v;
}

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using IID = GUID;
using REFIID = const IID&;

inline bool operator==(const GUID& a, const GUID& b) {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IStream = {
    0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;  // objects go by their last Release
};

// Seek origins.
inline constexpr std::uint32_t STREAM_SEEK_SET = 0;
inline constexpr std::uint32_t STREAM_SEEK_CUR = 1;
inline constexpr std::uint32_t STREAM_SEEK_END = 2;

inline constexpr std::uint32_t STGTY_STREAM = 2;
inline constexpr std::uint32_t STATFLAG_DEFAULT = 0;
inline constexpr std::uint32_t STATFLAG_NONAME = 1;

// What Stat reports; positions and sizes are 64-bit.
struct STATSTG {
  char16_t* pwcsName;
  std::uint32_t type;
  std::uint64_t cbSize;
  std::uint64_t mtime;
  std::uint64_t ctime;
  std::uint64_t atime;
  std::uint32_t grfMode;
  std::uint32_t grfLocksSupported;
  GUID clsid;
  std::uint32_t grfStateBits;
  std::uint32_t reserved;
};

// A byte stream, slots in the platform's order.
class IStream : public IUnknown {
 public:
  virtual HRESULT Read(void* buffer, std::uint32_t count, std::uint32_t* read) = 0;
  virtual HRESULT Write(const void* buffer, std::uint32_t count, std::uint32_t* written) = 0;
  virtual HRESULT Seek(std::int64_t move, std::uint32_t origin, std::uint64_t* position) = 0;
  virtual HRESULT SetSize(std::uint64_t size) = 0;
  virtual HRESULT CopyTo(IStream* target, std::uint64_t count, std::uint64_t* read,
                         std::uint64_t* written) = 0;
  virtual HRESULT Commit(std::uint32_t flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(std::uint64_t offset, std::uint64_t count, std::uint32_t type) = 0;
  virtual HRESULT UnlockRegion(std::uint64_t offset, std::uint64_t count, std::uint32_t type) = 0;
  virtual HRESULT Stat(STATSTG* statistics, std::uint32_t flags) = 0;
  virtual HRESULT Clone(IStream** clone) = 0;

 protected:
  ~IStream() = default;
};

inline constexpr std::uint32_t COINIT_MULTITHREADED = 0;

// Nothing to set up on this platform: both succeed.
HRESULT CoInitializeEx(void* reserved, std::uint32_t flags);
void CoUninitialize();

// One owned reference: released when replaced or destroyed.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller holds.
  explicit ComPtr(T* p) : p_(p) {}
  ~ComPtr() { Reset(); }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out parameters: the old reference is released first.
  T** Out() {
    Reset();
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

// The reference count of an object handed out by pointer: starts at 1, the creator's.
class RefCount {
 public:
  std::uint32_t Add() { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // The count left; at 0 the caller destroys the object.
  std::uint32_t Drop() { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }
  std::uint32_t Get() const { return count_.load(std::memory_order_acquire); }

 private:
  std::atomic<std::uint32_t> count_{1};
};

}  // namespace platform::com
