#include "lib/core/cache_memory.h"

#include <sys/mman.h>

#include <new>
#include <utility>

namespace {
constexpr std::size_t kHugePage = 2u << 20;
}  // namespace

CHalvorin_CacheMemory::CHalvorin_CacheMemory(std::size_t p__SIZE_T__Bytes) {
  if (p__SIZE_T__Bytes == 0) return;
  const std::size_t length = (p__SIZE_T__Bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* data = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) throw std::bad_alloc();
  // Only advice: without transparent huge pages the mapping works in small pages.
  madvise(data, length, MADV_HUGEPAGE);
  m__PUCHAR__Data = static_cast<std::uint8_t*>(data);
  m__SIZE_T__Length = length;
}

CHalvorin_CacheMemory::~CHalvorin_CacheMemory() {
  if (m__PUCHAR__Data) munmap(m__PUCHAR__Data, m__SIZE_T__Length);
}

CHalvorin_CacheMemory::CHalvorin_CacheMemory(CHalvorin_CacheMemory&& p__Other) noexcept
    : m__PUCHAR__Data(std::exchange(p__Other.m__PUCHAR__Data, nullptr)),
      m__SIZE_T__Length(std::exchange(p__Other.m__SIZE_T__Length, 0)) {}

CHalvorin_CacheMemory& CHalvorin_CacheMemory::operator=(CHalvorin_CacheMemory&& p__Other) noexcept {
  if (this != &p__Other) {
    if (m__PUCHAR__Data) munmap(m__PUCHAR__Data, m__SIZE_T__Length);
    m__PUCHAR__Data = std::exchange(p__Other.m__PUCHAR__Data, nullptr);
    m__SIZE_T__Length = std::exchange(p__Other.m__SIZE_T__Length, 0);
  }
  return *this;
}
