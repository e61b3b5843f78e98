#include "app/engine/archive/zip_entry_jobs.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "app/engine/archive/zip_crypt.h"
#include "app/engine/archive/zip_records.h"
#include "platform/fs/fs.h"

namespace fs = platform::fs;

namespace {

constexpr size_t kDictionarySize = 32 * 1024;
// What is compressed first to see whether data shrinks at all: random or already packed bytes
// cost as much to deflate as text and gain nothing.
constexpr size_t kProbeSize = 16 * 1024;
// The probe shrinks data that deflate can pack to well below this share of its size.
constexpr double kProbeRatio = 0.97;

struct TCompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
using TCompressor = std::unique_ptr<libdeflate_compressor, TCompressorDeleter>;

// A worker's libdeflate compressor of one level, kept from job to job (each holds some hundred
// KiB of tables).
libdeflate_compressor* CompressorFor(int level) {
  thread_local TCompressor compressors[10];
  const int l = std::clamp(level, 1, 9);
  TCompressor& c = compressors[l];
  if (!c) {
    c.reset(libdeflate_alloc_compressor(l));
    if (!c) throw std::bad_alloc();
  }
  return c.get();
}

// True when the first bytes of `in` pack at the quickest level to less than kProbeRatio of their
// size; data shorter than a probe is always tried.
bool Shrinks(const std::uint8_t* in, size_t n) {
  if (n <= kProbeSize) return true;
  thread_local std::vector<std::uint8_t> probe;
  libdeflate_compressor* quick = CompressorFor(1);
  const size_t bound = libdeflate_deflate_compress_bound(quick, kProbeSize);
  if (probe.size() < bound) probe.resize(bound);
  const size_t packed =
      libdeflate_deflate_compress(quick, in, kProbeSize, probe.data(), probe.size());
  return packed > 0 && static_cast<double>(packed) < kProbeRatio * kProbeSize;
}

struct TDeflaterDeleter {
  void operator()(z_stream* z) const {
    deflateEnd(z);
    delete z;
  }
};
using TDeflater = std::unique_ptr<z_stream, TDeflaterDeleter>;

TDeflater NewDeflater(int level) {
  TDeflater z(new z_stream{});
  if (deflateInit2(z.get(), level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    z.release();
    return nullptr;
  }
  return z;
}

std::string ChangedSize(const std::string& source) {
  return source + ": the file changed its size while it was read.";
}

// Reads n bytes at offset; a short file is padded with zeros and said in `failure`.
void ReadAt(int fd, const std::string& source, std::uint64_t offset, std::uint8_t* buffer, size_t n,
            std::string& failure) {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = pread(fd, buffer + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (failure.empty())
        failure = got < 0 ? source + ": " + std::strerror(errno) : ChangedSize(source);
      std::fill(buffer + done, buffer + n, std::uint8_t{0});
      return;
    }
    done += static_cast<size_t>(got);
  }
}

// After the planned bytes: one more means the file grew.
void CheckEnd(int fd, const std::string& source, std::uint64_t size, std::string& failure) {
  if (!failure.empty()) return;
  std::uint8_t extra;
  ssize_t got;
  do {
    got = pread(fd, &extra, 1, static_cast<off_t>(size));
  } while (got < 0 && errno == EINTR);
  if (got > 0) failure = ChangedSize(source);
  if (got < 0) failure = source + ": " + std::strerror(errno);
}

// A worker's buffers, kept from job to job: large fresh allocations cost page faults and
// unmapping on every core.
std::vector<std::uint8_t>& Scratch(int which) {
  thread_local std::vector<std::uint8_t> buffers[2];
  return buffers[which];
}

std::uint8_t* Room(std::vector<std::uint8_t>& v, size_t n) {
  if (v.size() < n) v.resize(n);
  return v.data();
}

// After a job that needed little: a buffer kept from a large file goes back.
void ShrinkScratch(size_t used) {
  for (int which = 0; which < 2; ++which) {
    std::vector<std::uint8_t>& v = Scratch(which);
    if (v.capacity() > 2 * used + (256 << 10)) std::vector<std::uint8_t>().swap(v);
  }
}

// Deflates all of `in` with the given flush; the output is `out[0, *outSize)`. False on a
// zlib failure.
bool Deflate(z_stream* z, const std::uint8_t* in, size_t n, int flush,
             std::vector<std::uint8_t>& out, size_t* outSize) {
  z->next_in = const_cast<Bytef*>(in);
  z->avail_in = static_cast<uInt>(n);
  Room(out, deflateBound(z, static_cast<uLong>(n)) + 16);
  size_t used = 0;
  for (;;) {
    z->next_out = out.data() + used;
    z->avail_out = static_cast<uInt>(out.size() - used);
    const int r = deflate(z, flush);
    used = out.size() - z->avail_out;
    if (r == Z_STREAM_END || (r == Z_OK && z->avail_in == 0 && z->avail_out > 0)) break;
    if (r != Z_OK && r != Z_BUF_ERROR) return false;
    out.resize(out.size() * 2);
  }
  *outSize = used;
  return true;
}

fs::File OpenSource(const std::string& source, std::string& failure) {
  try {
    return fs::File(source, fs::OpenMode::Read, fs::Share::All);
  } catch (const fs::FsError& e) {
    failure = e.what();
    return fs::File();
  }
}

}  // namespace

size_t TZipFileJob::Room() const {
  return static_cast<size_t>(size) + kZipCryptHeaderSize;
}

void TZipFileJob::Run(const TZipCompression& c, std::uint8_t* out) {
  length = 0;
  // A file a folder listing has just seen empty has nothing to read: it is stored without an
  // open. A file named alone is read all the same (a pseudo-file of /proc tells size 0).
  if (size == 0 && listed) {
    crc = 0;
    method = kZipMethodStore;
    encrypted = false;
    return;
  }
  fs::File file = OpenSource(source, openFailure);
  if (!file.IsOpen()) return;
  const size_t n = static_cast<size_t>(size);
  encrypted = !c.password.empty() && n > 0;
  const size_t headerSize = encrypted ? kZipCryptHeaderSize : 0;
  // The file is read where its entry's bytes go: stored, it needs no copy.
  std::uint8_t* plain = out + headerSize;
  ReadAt(file.Descriptor(), source, 0, plain, n, dataFailure);
  CheckEnd(file.Descriptor(), source, size, dataFailure);
  file = fs::File();
  crc = libdeflate_crc32(0, plain, n);  // the zlib value, several times faster
  method = kZipMethodStore;
  length = headerSize + n;
  if (c.compress && Shrinks(plain, n)) {
    libdeflate_compressor* deflater = CompressorFor(c.level);
    // The whole bound: this libdeflate may write past a shorter buffer before it gives up.
    const size_t bound = libdeflate_deflate_compress_bound(deflater, n);
    std::uint8_t* packed = ::Room(Scratch(1), bound);
    const size_t packedSize = libdeflate_deflate_compress(deflater, plain, n, packed, bound);
    if (packedSize > 0 && packedSize < n) {
      method = kZipMethodDeflate;
      std::memcpy(plain, packed, packedSize);
      length = headerSize + packedSize;
    }
  }
  if (encrypted) {
    TZipCryptKeys keys(c.password);
    const auto header = keys.MakeHeader(static_cast<std::uint8_t>(crc >> 24));
    std::copy(header.begin(), header.end(), out);
    keys.Encrypt(plain, length - headerSize);
  }
}

void TZipBatchJob::Run() noexcept {
  try {
    size_t room = 0;
    for (const TZipFileJob& f : files) room += f.Room();
    bytes.resize(room);
    // Each file's bytes follow the last one's as they came out.
    size_t at = 0;
    for (TZipFileJob& f : files) {
      f.offset = at;
      f.Run(compression_, bytes.data() + at);
      at += f.length;
    }
    size_t largest = 0;
    for (const TZipFileJob& f : files) largest = std::max(largest, static_cast<size_t>(f.size));
    ShrinkScratch(largest);
  } catch (const std::exception& e) {
    fatal = e.what();
  }
}

void TZipChunkJob::Run() noexcept {
  try {
    fs::File file = OpenSource(source, offset == 0 ? openFailure : dataFailure);
    if (offset == 0 && !file.IsOpen()) return;
    const int fd = file.Descriptor();
    const size_t primed =
        compression_.compress
            ? static_cast<size_t>(std::min<std::uint64_t>(offset, kDictionarySize))
            : 0;
    const size_t n = static_cast<size_t>(length);
    std::uint8_t* plain = Room(Scratch(0), primed + n);
    if (file.IsOpen()) {
      // The next chunks of this file are read by other workers soon after.
      posix_fadvise(fd, static_cast<off_t>(offset + length), static_cast<off_t>(length) * 4,
                    POSIX_FADV_WILLNEED);
      ReadAt(fd, source, offset - primed, plain, primed + n, dataFailure);
      if (last) CheckEnd(fd, source, fileSize, dataFailure);
    } else {
      std::fill(plain, plain + primed + n, std::uint8_t{0});
    }
    file = fs::File();
    crc = libdeflate_crc32(0, plain + primed, n);
    if (!compression_.compress) {
      data.assign(plain + primed, plain + primed + n);
      return;
    }
    // A chunk that does not shrink goes into stored blocks, which join the stream as well.
    const bool packs = Shrinks(plain + primed, n);
    TDeflater z = NewDeflater(packs ? compression_.level : 0);
    if (!z) throw std::bad_alloc();
    if (packs && primed > 0) deflateSetDictionary(z.get(), plain, static_cast<uInt>(primed));
    std::vector<std::uint8_t>& packed = Scratch(1);
    size_t packedSize = 0;
    if (!Deflate(z.get(), plain + primed, n, last ? Z_FINISH : Z_SYNC_FLUSH, packed, &packedSize))
      throw std::bad_alloc();
    data.assign(packed.data(), packed.data() + packedSize);
  } catch (const std::exception& e) {
    fatal = e.what();
  }
}
