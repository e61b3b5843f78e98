#include "lib/core/burner/cache_memory.h"

#include <sys/mman.h>

#include <new>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define HALVORIN_CACHE_RED_ZONES 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HALVORIN_CACHE_RED_ZONES 1
#endif
#endif

#ifdef HALVORIN_CACHE_RED_ZONES
#include <sanitizer/asan_interface.h>
#endif

namespace {
constexpr std::size_t kHugePage = 2u << 20;
#ifdef HALVORIN_CACHE_RED_ZONES
constexpr std::size_t kRedZone = 64;
#else
constexpr std::size_t kRedZone = 0;
#endif
}  // namespace

CHalvorin_CacheMemory::CHalvorin_CacheMemory(std::size_t p__SIZE_T__Count,
                                             std::size_t p__SIZE_T__Bytes) {
  const std::size_t stride = p__SIZE_T__Bytes + kRedZone;
  if (p__SIZE_T__Count == 0 || stride == 0) return;
  const std::size_t bytes = p__SIZE_T__Count * stride;
  const std::size_t length = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* data = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) throw std::bad_alloc();
  // Only advice: without transparent huge pages the mapping works in small pages.
  madvise(data, length, MADV_HUGEPAGE);
  m__PUCHAR__Data = static_cast<std::uint8_t*>(data);
  m__SIZE_T__Length = length;
  m__SIZE_T__Stride = stride;
#ifdef HALVORIN_CACHE_RED_ZONES
  for (std::size_t i = 0; i < p__SIZE_T__Count; ++i)
    ASAN_POISON_MEMORY_REGION(Buffer(i) + p__SIZE_T__Bytes, kRedZone);
  ASAN_POISON_MEMORY_REGION(m__PUCHAR__Data + bytes, length - bytes);
#endif
}

void CHalvorin_CacheMemory::Release() noexcept {
  if (!m__PUCHAR__Data) return;
#ifdef HALVORIN_CACHE_RED_ZONES
  // The addresses go back to the system: a later mapping there must not inherit the poison.
  ASAN_UNPOISON_MEMORY_REGION(m__PUCHAR__Data, m__SIZE_T__Length);
#endif
  munmap(m__PUCHAR__Data, m__SIZE_T__Length);
  m__PUCHAR__Data = nullptr;
  m__SIZE_T__Length = 0;
  m__SIZE_T__Stride = 0;
}

CHalvorin_CacheMemory::~CHalvorin_CacheMemory() {
  Release();
}

CHalvorin_CacheMemory::CHalvorin_CacheMemory(CHalvorin_CacheMemory&& p__Other) noexcept
    : m__PUCHAR__Data(std::exchange(p__Other.m__PUCHAR__Data, nullptr)),
      m__SIZE_T__Length(std::exchange(p__Other.m__SIZE_T__Length, 0)),
      m__SIZE_T__Stride(std::exchange(p__Other.m__SIZE_T__Stride, 0)) {}

CHalvorin_CacheMemory& CHalvorin_CacheMemory::operator=(CHalvorin_CacheMemory&& p__Other) noexcept {
  if (this != &p__Other) {
    Release();
    m__PUCHAR__Data = std::exchange(p__Other.m__PUCHAR__Data, nullptr);
    m__SIZE_T__Length = std::exchange(p__Other.m__SIZE_T__Length, 0);
    m__SIZE_T__Stride = std::exchange(p__Other.m__SIZE_T__Stride, 0);
  }
  return *this;
}
