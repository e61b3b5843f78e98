#include "app/engine/archive/zip_extract_job.h"

#include <libdeflate.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "app/engine/archive/zip_crypt.h"
#include "app/engine/archive/zip_records.h"
#include "platform/fs/fs.h"
#include "platform/shell/shell.h"

namespace fs = platform::fs;

namespace {

constexpr size_t kPiece = 256 * 1024;
// Entries up to this size, packed and unpacked, are inflated in one call from one read.
constexpr std::uint64_t kWhole = 4 * 1024 * 1024;

bool ReadFully(int fd, std::uint64_t offset, std::uint8_t* buffer, size_t n) {
  while (n > 0) {
    const ssize_t got = pread(fd, buffer, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    buffer += got;
    offset += static_cast<std::uint64_t>(got);
    n -= static_cast<size_t>(got);
  }
  return true;
}

struct TInflaterDeleter {
  void operator()(z_stream* z) const {
    inflateEnd(z);
    delete z;
  }
};

struct TDecompressorDeleter {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// Removes the temporary file unless it was put in place.
struct TTemp {
  std::string path;
  ~TTemp() {
    if (!path.empty()) fs::DeleteFile(path);
  }
};

}  // namespace

TZipExtractJob::~TZipExtractJob() {
  if (!temp_.empty()) fs::DeleteFile(temp_);
}

void TZipExtractJob::Run() noexcept {
  const std::string cannot = "Entry \"" + name + "\" cannot be restored to " + target + ": ";
  try {
    TTemp temp;
    fs::File out;
    try {
      out = platform::shell::CreateTempFile(fs::ParentFolder(target), "QVR");
      temp.path = out.Path();
    } catch (const fs::FsError& e) {
      result = TResult::Failed;
      message = cannot + e.what();
      return;
    }
    result = Extract(out);
    if (result != TResult::Done) return;
    // Time and permissions through the open file; the close still reports a failed write.
    const std::int64_t mtime =
        entry.mtime ? *entry.mtime : platform::shell::UnixFromDosTime(entry.dosTime);
    if (!out.SetModificationTime(mtime, 0)) timeNotSet = true;
    if (mode) out.SetMode(*mode);
    out.Close();
    temp_ = std::move(temp.path);
    temp.path.clear();
  } catch (const fs::FsError& e) {
    result = TResult::Failed;
    message = cannot + e.what();
  } catch (const std::exception&) {
    result = TResult::Retry;
  }
}

bool TZipExtractJob::PutInPlace() {
  if (!fs::RenameReplace(temp_, target)) {
    message = "Entry \"" + name + "\" cannot be restored to " + target +
              ": the restored file cannot be put in place.";
    return false;
  }
  temp_.clear();
  return true;
}

TZipExtractJob::TResult TZipExtractJob::Extract(fs::File& out) {
  const TZipByteSource read = [fd = archiveFd](std::uint64_t offset, void* buffer, size_t n) {
    return ReadFully(fd, offset, static_cast<std::uint8_t*>(buffer), n);
  };
  const auto dataOffset = ZipDataOffset(read, archiveSize, entry);
  if (!dataOffset) return TResult::Retry;
  std::uint64_t at = *dataOffset;
  std::uint64_t left = entry.compressedSize;
  std::optional<TZipCryptKeys> keys;
  if (entry.flags & kZipFlagEncrypted) {
    if (left < kZipCryptHeaderSize || password.empty()) return TResult::Retry;
    std::uint8_t header[kZipCryptHeaderSize];
    if (!ReadFully(archiveFd, at, header, sizeof header)) return TResult::Retry;
    keys.emplace(password);
    const auto check = static_cast<std::uint8_t>(
        entry.flags & kZipFlagSizesFollow ? entry.dosTime >> 8 : entry.crc >> 24);
    if (!keys->TakeHeader(header, check)) return TResult::Retry;
    at += kZipCryptHeaderSize;
    left -= kZipCryptHeaderSize;
  }
  if (entry.method == kZipMethodDeflate && entry.size <= kWhole && left <= kWhole)
    return ExtractWhole(out, at, static_cast<size_t>(left), keys ? &*keys : nullptr);
  std::unique_ptr<z_stream, TInflaterDeleter> z;
  if (entry.method == kZipMethodDeflate) {
    z.reset(new z_stream{});
    if (inflateInit2(z.get(), -MAX_WBITS) != Z_OK) {
      z.release();
      return TResult::Retry;
    }
  }
  std::vector<std::uint8_t> in(kPiece), plain(z ? kPiece : 0);
  std::uint64_t written = 0;
  std::uint32_t crc = 0;
  bool ended = !z && left == 0;
  auto emit = [&](const std::uint8_t* data, size_t n) {
    written += n;
    if (written > entry.size) return false;
    crc = libdeflate_crc32(crc, data, n);
    out.Write(data, n);
    return true;
  };
  while (left > 0) {
    if (stop->load()) return TResult::Cancelled;
    const size_t n = static_cast<size_t>(std::min<std::uint64_t>(left, kPiece));
    if (!ReadFully(archiveFd, at, in.data(), n)) return TResult::Retry;
    at += n;
    left -= n;
    if (keys) keys->Decrypt(in.data(), n);
    if (!z) {
      if (!emit(in.data(), n)) return TResult::Retry;
      continue;
    }
    z->next_in = in.data();
    z->avail_in = static_cast<uInt>(n);
    while (z->avail_in > 0 && !ended) {
      z->next_out = plain.data();
      z->avail_out = static_cast<uInt>(plain.size());
      const int r = inflate(z.get(), Z_NO_FLUSH);
      if (r != Z_OK && r != Z_STREAM_END) return TResult::Retry;
      if (!emit(plain.data(), plain.size() - z->avail_out)) return TResult::Retry;
      ended = r == Z_STREAM_END;
    }
    if (ended && (z->avail_in > 0 || left > 0)) return TResult::Retry;
  }
  // The last output may still be inside zlib.
  while (z && !ended) {
    z->next_in = nullptr;
    z->avail_in = 0;
    z->next_out = plain.data();
    z->avail_out = static_cast<uInt>(plain.size());
    const int r = inflate(z.get(), Z_NO_FLUSH);
    if (r != Z_OK && r != Z_STREAM_END) return TResult::Retry;
    const size_t got = plain.size() - z->avail_out;
    if (!emit(plain.data(), got)) return TResult::Retry;
    ended = r == Z_STREAM_END;
    if (!ended && got == 0) return TResult::Retry;
  }
  if (written != entry.size || crc != entry.crc) return TResult::Retry;
  return TResult::Done;
}

namespace {

// Each worker keeps its inflater and buffers from entry to entry: fresh buffers cost a page
// fault for every page they touch.
struct TWholeBuffers {
  std::unique_ptr<libdeflate_decompressor, TDecompressorDeleter> inflater;
  std::vector<std::uint8_t> in, plain;
  // Grown only (new bytes are zeroed once); every byte used is read or inflated over.
  static std::uint8_t* AtLeast(std::vector<std::uint8_t>& v, size_t n) {
    if (v.size() < n) v.resize(n);
    return v.data();
  }
};

}  // namespace

// The same checks as the streamed inflate: the deflate stream ends exactly at the entry's packed
// end and gives exactly its size, and the CRC matches; anything else is left to the caller.
TZipExtractJob::TResult TZipExtractJob::ExtractWhole(fs::File& out, std::uint64_t at, size_t packed,
                                                     TZipCryptKeys* keys) {
  if (stop->load()) return TResult::Cancelled;
  thread_local TWholeBuffers buffers;
  if (!buffers.inflater) buffers.inflater.reset(libdeflate_alloc_decompressor());
  if (!buffers.inflater) return TResult::Retry;
  const size_t size = static_cast<size_t>(entry.size);
  std::uint8_t* const in = TWholeBuffers::AtLeast(buffers.in, packed);
  std::uint8_t* const plain = TWholeBuffers::AtLeast(buffers.plain, size);
  if (!ReadFully(archiveFd, at, in, packed)) return TResult::Retry;
  if (keys) keys->Decrypt(in, packed);
  size_t used = 0, made = 0;
  if (libdeflate_deflate_decompress_ex(buffers.inflater.get(), in, packed, plain, size, &used,
                                       &made) != LIBDEFLATE_SUCCESS ||
      used != packed || made != size || libdeflate_crc32(0, plain, size) != entry.crc)
    return TResult::Retry;
  out.Write(plain, size);
  return TResult::Done;
}
