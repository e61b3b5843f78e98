// What the workers of an archive run do: read files and compress them (whole small files in
// batches, large files in independent chunks), ready for the one writer to place in order.
// Whole files go through libdeflate, which compresses a buffer at once; the chunks of a large
// file through zlib, whose flushed blocks join into one stream. Data whose first bytes do not
// shrink is stored (a whole file) or put in stored blocks (a chunk) without trying further.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/archive/work_pool.h"

// Files up to this size are compressed whole, as one stream; larger ones in chunks.
inline constexpr std::uint64_t kZipWholeFileLimit = 4 << 20;
inline constexpr std::uint64_t kZipChunkSize = 1 << 20;

// Bytes a job fills itself: growing them sets no zeros first.
template <typename T>
struct TUninitialized : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = TUninitialized<U>;
  };
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using TZipBytes = std::vector<std::uint8_t, TUninitialized<std::uint8_t>>;

struct TZipCompression {
  bool compress = false;
  int level = 6;         // deflate level 1..9
  std::string password;  // empty: no encryption
};

// A small file read and compressed whole: deflated, or stored when deflate does not make it
// smaller; encrypted when a password is set (the check byte is the CRC's high byte).
class TZipFileJob {
 public:
  std::string source;
  std::uint64_t size = 0;  // as the entry was planned; the entry has exactly this many bytes
  bool listed = false;     // the size is what a folder listing saw just now

  std::string openFailure;  // the file could not be opened: no entry is written
  std::string dataFailure;  // the entry is written (padded with zeros) yet holds no true copy
  std::uint32_t crc = 0;
  std::uint16_t method = 0;
  bool encrypted = false;
  // What follows the local header: `length` bytes at `offset` of its batch's bytes.
  size_t offset = 0;
  size_t length = 0;

  // Room for the most the entry can take: the file's bytes and an encryption header.
  size_t Room() const;
  // Fills `out` (Room() bytes) and sets `length`.
  void Run(const TZipCompression& c, std::uint8_t* out);
};

// Consecutive small files, one worker's share.
class TZipBatchJob : public TWorkJob {
 public:
  explicit TZipBatchJob(const TZipCompression& c) : compression_(c) {}
  std::vector<TZipFileJob> files;
  // Every file's bytes, one after the other. The writer hands the same buffers from batch to
  // batch: fresh memory costs a page fault for every 4 KiB the workers fill.
  TZipBytes bytes;
  std::string fatal;  // out of memory or the compressor failed: the run cannot go on
  void Run() noexcept override;

 private:
  const TZipCompression& compression_;
};

// One chunk of a large file: raw deflate blocks ending on a byte boundary (the last chunk ends
// the stream), primed with the 32 KiB before it so that the ratio stays that of one stream.
class TZipChunkJob : public TWorkJob {
 public:
  explicit TZipChunkJob(const TZipCompression& c) : compression_(c) {}
  std::string source;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  bool last = false;
  std::uint64_t fileSize = 0;  // planned size: a file that has more bytes changed

  std::string openFailure;  // only for the first chunk: no entry is written
  std::string dataFailure;  // zeros stand for what could not be read
  std::string fatal;
  std::uint32_t crc = 0;  // of this chunk's plain bytes
  TZipBytes data;         // handed from chunk to chunk as a batch's bytes are

  void Run() noexcept override;

 private:
  const TZipCompression& compression_;
};
