// The memory of a burner/grabber's cache: one anonymous mapping, asked for in huge pages, so
// that the source's reads into it and the drive's writes out of it do not walk thousands of
// small pages on every pass through the cache. Under AddressSanitizer every buffer is followed
// by a poisoned gap, so that an overrun into the next buffer is still reported.
#pragma once

#include <cstddef>
#include <cstdint>

class CHalvorin_CacheMemory {
 public:
  CHalvorin_CacheMemory() = default;
  // `p__SIZE_T__Count` buffers of `p__SIZE_T__Bytes`; std::bad_alloc when the mapping cannot
  // be had.
  CHalvorin_CacheMemory(std::size_t p__SIZE_T__Count, std::size_t p__SIZE_T__Bytes);
  ~CHalvorin_CacheMemory();
  CHalvorin_CacheMemory(const CHalvorin_CacheMemory&) = delete;
  CHalvorin_CacheMemory& operator=(const CHalvorin_CacheMemory&) = delete;
  CHalvorin_CacheMemory(CHalvorin_CacheMemory&& p__Other) noexcept;
  CHalvorin_CacheMemory& operator=(CHalvorin_CacheMemory&& p__Other) noexcept;

  std::uint8_t* Buffer(std::size_t p__SIZE_T__Index) const {
    return m__PUCHAR__Data + p__SIZE_T__Index * m__SIZE_T__Stride;
  }

 private:
  void Release() noexcept;

  std::uint8_t* m__PUCHAR__Data = nullptr;
  std::size_t m__SIZE_T__Length = 0;
  std::size_t m__SIZE_T__Stride = 0;
};
