#include "app/engine/archive/zip_archive_writer.h"

#include <zlib.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <variant>

#include "app/engine/archive/zip_crypt.h"
#include "app/engine/archive/zip_error.h"
#include "app/engine/archive/zip_helper.h"
#include "app/engine/archive/zip_records.h"
#include "app/engine/archive/zip_volumes.h"
#include "platform/fs/fs.h"

namespace fs = platform::fs;

namespace {

constexpr size_t kBatchBytes = 1 << 20;  // of file data in one batch
constexpr size_t kBatchFiles = 256;
constexpr size_t kOutputBuffer = 1 << 20;
// The largest buffer kept for the next jobs: a batch's, a chunk's.
constexpr size_t kSpareCapacity = 2 * kBatchBytes + kBatchFiles * 64;
// File bytes read or compressed at once, whatever the file sizes: the run's memory stays
// about twice this.
constexpr std::uint64_t kInFlightBytes = 48 << 20;
constexpr auto kCancelPoll = std::chrono::milliseconds(50);

bool IsValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    std::uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + n >= s.size()) return false;
    for (size_t k = 1; k <= n; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

// The archive's bytes on their way to the slices, gathered into large writes.
class TOutput {
 public:
  TOutput(TSliceWriter& out, THelper& helper) : out_(out), helper_(helper) {
    buffer_.reserve(kOutputBuffer);
  }
  std::uint64_t Offset() const { return offset_; }
  // False when a volume request was cancelled.
  bool Put(const std::uint8_t* data, size_t n) {
    offset_ += n;
    if (buffer_.size() + n <= kOutputBuffer) {
      buffer_.insert(buffer_.end(), data, data + n);
      return true;
    }
    if (!Flush()) return false;
    if (n >= kOutputBuffer) return out_.Write(data, n, helper_);
    buffer_.assign(data, data + n);
    return true;
  }
  bool Put(const std::vector<std::uint8_t>& bytes) { return Put(bytes.data(), bytes.size()); }
  bool Flush() {
    if (buffer_.empty()) return true;
    const bool ok = out_.Write(buffer_.data(), buffer_.size(), helper_);
    buffer_.clear();
    return ok;
  }

 private:
  TSliceWriter& out_;
  THelper& helper_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t offset_ = 0;
};

// One planned entry: what the stat said, or why it is not added.
struct TPlanned {
  const TZipSource* source = nullptr;
  std::string path;
  std::string failure;  // the entry is not added
  std::uint64_t size = 0;
  std::int64_t mtime = 0;
  bool chunked = false;
};

// A job handed to the pool together with the entries it covers.
struct TPending {
  std::shared_ptr<TWorkJob> job;
  std::vector<TPlanned> entries;  // a batch: one per file; a chunk: its entry
  TZipBatchJob* batch = nullptr;
  TZipChunkJob* chunk = nullptr;
  bool firstChunk = false;
  std::uint64_t bytes = 0;  // of file data
};

// The chunked entry being written.
struct TOpenEntry {
  TZipRecord record;
  std::string source;
  std::string failure;
  bool skipped = false;  // it could not be opened: its chunks are dropped
  std::optional<TZipCryptKeys> keys;
  std::uint64_t done = 0;
};

}  // namespace

struct TZipArchiveWriter::TState {
  TZipArchiveWriter& w;
  TWorkPool pool;
  TOutput output;
  std::deque<TPending> pending;
  std::uint64_t pendingBytes = 0;
  std::vector<TZipRecord> records;
  size_t inFlightLimit;
  // Buffers of placed jobs, handed to the next ones. Only this thread touches them; a job's
  // buffer reaches its worker through the pool and comes back once the job is done.
  std::vector<TZipBytes> spare;

  std::optional<TOpenEntry> open;  // the chunked entry being written

  explicit TState(TZipArchiveWriter& writer)
      : w(writer), output(writer.out_, writer.helper_), inFlightLimit(pool.Workers() * 2 + 2) {}

  TPlanned Plan(const TZipSource& s) {
    TPlanned p;
    p.source = &s;
    p.path = s.Path();
    if (s.seen) {
      p.size = s.size;
      p.mtime = s.mtimeSec;
      p.chunked = p.size > kZipWholeFileLimit;
      if (!IsValidUtf8(s.stored)) p.failure = p.path + ": its name is not valid UTF-8.";
      return p;
    }
    const auto info = fs::StatBasic(p.path);
    if (!info || info->isBrokenLink) {
      p.failure = p.path + ": the file does not exist.";
    } else if (info->type != fs::EntryType::Regular) {
      p.failure = p.path + ": it is not a file.";
    } else if (!IsValidUtf8(s.stored)) {
      p.failure = p.path + ": its name is not valid UTF-8.";
    } else {
      p.size = info->size;
      p.mtime = info->mtimeSec;
      p.chunked = p.size > kZipWholeFileLimit;
    }
    return p;
  }

  // Hands jobs to the pool until enough are under way; `next` and `chunkOffset` say where the
  // planning stands.
  void Fill(const std::vector<const TZipSource*>& sources, size_t& next,
            std::optional<TPlanned>& chunking, std::uint64_t& chunkOffset) {
    while (pending.size() < inFlightLimit && pendingBytes < kInFlightBytes &&
           (chunking || next < sources.size())) {
      if (chunking) {
        auto job = std::make_shared<TZipChunkJob>(w.compression_);
        job->data = TakeSpare();
        job->source = chunking->path;
        job->offset = chunkOffset;
        job->length = std::min<std::uint64_t>(kZipChunkSize, chunking->size - chunkOffset);
        job->fileSize = chunking->size;
        job->last = chunkOffset + job->length == chunking->size;
        TPending p;
        p.chunk = job.get();
        p.firstChunk = chunkOffset == 0;
        p.entries.push_back(*chunking);
        p.job = std::move(job);
        chunkOffset += p.chunk->length;
        if (p.chunk->last) chunking.reset();
        Submit(std::move(p));
        continue;
      }
      auto batch = std::make_shared<TZipBatchJob>(w.compression_);
      batch->bytes = TakeSpare();
      TPending p;
      p.batch = batch.get();
      size_t bytes = 0;
      while (next < sources.size() && p.entries.size() < kBatchFiles && bytes < kBatchBytes) {
        TPlanned planned = Plan(*sources[next]);
        if (planned.chunked) {
          if (!p.entries.empty()) break;  // planned again as the first of the next job
          ++next;
          chunking = std::move(planned);
          chunkOffset = 0;
          break;
        }
        ++next;
        bytes += static_cast<size_t>(planned.size);
        TZipFileJob f;
        if (planned.failure.empty()) {
          f.source = planned.path;
          f.size = planned.size;
          f.listed = planned.source->seen;
        }
        batch->files.push_back(std::move(f));
        p.entries.push_back(std::move(planned));
      }
      if (p.entries.empty()) continue;
      p.job = std::move(batch);
      Submit(std::move(p));
    }
  }

  void Submit(TPending p) {
    p.bytes = p.chunk ? p.chunk->length : 0;
    for (const TPlanned& e : p.entries)
      if (p.batch) p.bytes += e.size;
    pendingBytes += p.bytes;
    pool.Submit(p.job);
    pending.push_back(std::move(p));
  }

  TZipBytes TakeSpare() {
    if (spare.empty()) return {};
    TZipBytes bytes = std::move(spare.back());
    spare.pop_back();
    return bytes;
  }

  // A buffer of a whole large file is let go rather than kept for small ones.
  void GiveBack(TZipBytes bytes) {
    if (bytes.capacity() <= kSpareCapacity && spare.size() < inFlightLimit) {
      bytes.clear();
      spare.push_back(std::move(bytes));
    }
  }

  // Waits for the first pending job; false when the user cancelled meanwhile.
  bool WaitFront() {
    while (!pool.WaitFor(*pending.front().job, kCancelPoll))
      if (w.helper_.AbortQuery()) return false;
    return true;
  }

  TZipRecord NewRecord(const TPlanned& p) const {
    TZipRecord r;
    r.name = &p.source->stored;
    r.mtime = p.mtime;
    r.dosTime = DosTimeOf(p.mtime);
    r.size = p.size;
    r.offset = output.Offset();
    return r;
  }

  // False when cancelled.
  bool PlaceBatch(TPending& p) {
    if (!p.batch->fatal.empty()) throw EZipError("Writing the archive failed: " + p.batch->fatal);
    std::vector<std::uint8_t> header;
    for (size_t i = 0; i < p.entries.size(); ++i) {
      const TPlanned& planned = p.entries[i];
      TZipFileJob& f = p.batch->files[i];
      if (w.helper_.AbortQuery()) return false;
      w.helper_.AddItem(planned.path, planned.source->definition);
      if (!planned.failure.empty()) {
        w.itemFailed_(planned.path, planned.failure);
        continue;
      }
      if (!f.openFailure.empty()) {
        w.itemFailed_(planned.path, f.openFailure);
        continue;
      }
      TZipRecord r = NewRecord(planned);
      r.method = f.method;
      r.crc = f.crc;
      const std::uint8_t* bytes = p.batch->bytes.data() + f.offset;
      r.compressedSize = f.length;
      if (f.encrypted) r.flags |= kZipFlagEncrypted;
      header.clear();
      AppendLocalHeader(header, r);
      if (!output.Put(header)) return false;
      records.push_back(std::move(r));
      // In pieces, the progress after each: a cancel is seen before the next volume.
      size_t done = 0;
      do {
        const size_t n = std::min<size_t>(f.length - done, kZipChunkSize);
        if (!output.Put(bytes + done, n)) return false;
        done += n;
        const int percent = f.length == 0 ? 100 : static_cast<int>(done * 100 / f.length);
        if (w.helper_.ArchiveItemProgress(percent)) return false;
      } while (done < f.length);
      if (!f.dataFailure.empty()) w.itemFailed_(planned.path, f.dataFailure);
    }
    GiveBack(std::move(p.batch->bytes));
    return true;
  }

  bool PlaceChunk(TPending& p) {
    TZipChunkJob& c = *p.chunk;
    if (!c.fatal.empty()) throw EZipError("Writing the archive failed: " + c.fatal);
    const TPlanned& planned = p.entries.front();
    if (p.firstChunk) {
      if (w.helper_.AbortQuery()) return false;
      w.helper_.AddItem(planned.path, planned.source->definition);
      open.emplace();
      open->source = planned.path;
      if (!c.openFailure.empty()) {
        open->skipped = true;
        w.itemFailed_(planned.path, c.openFailure);
      } else {
        TZipRecord& r = open->record;
        r = NewRecord(planned);
        r.method = w.compression_.compress ? kZipMethodDeflate : kZipMethodStore;
        r.flags |= kZipFlagSizesFollow;
        r.zip64 = NeedsZip64Sizes(planned.size);
        if (!w.compression_.password.empty()) r.flags |= kZipFlagEncrypted;
        std::vector<std::uint8_t> header;
        AppendLocalHeader(header, r);
        if (!output.Put(header)) return false;
        if (!w.compression_.password.empty()) {
          open->keys.emplace(w.compression_.password);
          const auto h = open->keys->MakeHeader(static_cast<std::uint8_t>(r.dosTime >> 8));
          if (!output.Put(h.data(), h.size())) return false;
          r.compressedSize += h.size();
        }
      }
    }
    if (open->skipped) {
      if (c.last) open.reset();
      return true;
    }
    TZipRecord& r = open->record;
    if (open->keys) open->keys->Encrypt(c.data.data(), c.data.size());
    if (!output.Put(c.data.data(), c.data.size())) return false;
    r.compressedSize += c.data.size();
    r.crc = static_cast<std::uint32_t>(
        open->done == 0 ? c.crc : crc32_combine(r.crc, c.crc, static_cast<z_off_t>(c.length)));
    open->done += c.length;
    if (open->failure.empty()) open->failure = c.dataFailure;
    GiveBack(std::move(c.data));
    if (w.helper_.ArchiveItemProgress(static_cast<int>(open->done * 100 / r.size))) return false;
    if (!c.last) return true;
    std::vector<std::uint8_t> descriptor;
    AppendDataDescriptor(descriptor, r);
    if (!output.Put(descriptor)) return false;
    records.push_back(std::move(r));
    const std::string failure = std::move(open->failure);
    const std::string source = std::move(open->source);
    open.reset();
    if (!failure.empty()) w.itemFailed_(source, failure);
    return true;
  }

  bool Finish() {
    const std::uint64_t directoryOffset = output.Offset();
    std::vector<std::uint8_t> bytes;
    for (const TZipRecord& r : records) {
      AppendCentralRecord(bytes, r);
      if (bytes.size() >= kOutputBuffer) {
        if (!output.Put(bytes)) return false;
        bytes.clear();
      }
    }
    if (!output.Put(bytes)) return false;
    bytes.clear();
    AppendEndRecords(bytes, records.size(), directoryOffset, output.Offset() - directoryOffset);
    return output.Put(bytes) && output.Flush();
  }
};

TZipArchiveWriter::TZipArchiveWriter(TSliceWriter& out, THelper& helper,
                                     TZipCompression compression, TItemFailed itemFailed)
    : out_(out),
      helper_(helper),
      compression_(std::move(compression)),
      itemFailed_(std::move(itemFailed)) {}

bool TZipArchiveWriter::Write(const std::vector<const TZipSource*>& sources) {
  TState state(*this);
  state.records.reserve(sources.size());
  size_t next = 0;
  std::optional<TPlanned> chunking;
  std::uint64_t chunkOffset = 0;
  for (;;) {
    state.Fill(sources, next, chunking, chunkOffset);
    if (state.pending.empty()) break;
    if (!state.WaitFront()) return false;
    TPending& front = state.pending.front();
    if (!(front.batch ? state.PlaceBatch(front) : state.PlaceChunk(front))) return false;
    state.pendingBytes -= front.bytes;
    state.pending.pop_front();
  }
  if (helper_.AbortQuery()) return false;
  return state.Finish();
}
