#include "app/engine/project/stream.h"

#include <algorithm>
#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "stream records are little-endian");

void TStream::ReadExact(void* buffer, size_t n) {
  if (Read(buffer, n) != n) throw EStreamReadError("Stream read error");
}

size_t TMemoryStream::Read(void* buffer, size_t n) {
  const size_t take = std::min(n, bytes_.size() - std::min(pos_, bytes_.size()));
  if (take) std::memcpy(buffer, bytes_.data() + pos_, take);
  pos_ += take;
  return take;
}

void TMemoryStream::Write(const void* buffer, size_t n) {
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  if (pos_ == bytes_.size()) {
    bytes_.insert(bytes_.end(), bytes, bytes + n);  // the usual case: no zeros first
  } else {
    if (pos_ + n > bytes_.size()) bytes_.resize(pos_ + n);
    if (n) std::memcpy(bytes_.data() + pos_, buffer, n);
  }
  pos_ += n;
}

TFileStream::TFileStream(platform::fs::File& file)
    : file_(file), pos_(file.Position()), size_(file.Size()) {}

namespace {
constexpr size_t kReadAhead = 64 * 1024;
}  // namespace

size_t TFileStream::Read(void* buffer, size_t n) {
  size_t total = 0;
  auto* p = static_cast<std::uint8_t*>(buffer);
  try {
    while (total < n) {
      if (aheadPos_ < ahead_.size()) {
        const size_t take = std::min(n - total, ahead_.size() - aheadPos_);
        std::memcpy(p + total, ahead_.data() + aheadPos_, take);
        aheadPos_ += take;
        total += take;
        continue;
      }
      if (n - total >= kReadAhead) {
        const size_t got = file_.Read(p + total, n - total);
        if (got == 0) break;
        total += got;
        continue;
      }
      ahead_.resize(kReadAhead);
      const size_t got = file_.Read(ahead_.data(), ahead_.size());
      ahead_.resize(got);
      aheadPos_ = 0;
      if (got == 0) break;
    }
  } catch (const platform::fs::FsError& e) {
    throw EStreamReadError(e.what());
  }
  pos_ += total;
  return total;
}

// The file's own position goes back to the stream's before it is written.
void TFileStream::DropReadAhead() {
  if (aheadPos_ < ahead_.size())
    file_.Seek(-static_cast<std::int64_t>(ahead_.size() - aheadPos_), SEEK_CUR);
  ahead_.clear();
  aheadPos_ = 0;
}

void TFileStream::Write(const void* buffer, size_t n) {
  try {
    DropReadAhead();
    file_.Write(buffer, n);
  } catch (const platform::fs::FsError& e) {
    throw EStreamWriteError(e.what());
  }
  pos_ += n;
  if (pos_ > size_) size_ = pos_;
}

std::string ReadStreamString(TStream& s) {
  const std::int32_t n = ReadStreamInt(s);
  if (n < 0 || static_cast<std::uint64_t>(n) > s.Remaining())
    throw EStreamReadError("Stream read error");
  std::string value(static_cast<size_t>(n), '\0');
  s.ReadExact(value.data(), value.size());
  return value;
}

void WriteStreamString(TStream& s, std::string_view value) {
  WriteStreamInt(s, static_cast<std::int32_t>(value.size()));
  s.Write(value.data(), value.size());
}

std::int32_t ReadStreamInt(TStream& s) {
  std::int32_t v;
  s.ReadExact(&v, sizeof v);
  return v;
}

void WriteStreamInt(TStream& s, std::int32_t value) {
  s.Write(&value, sizeof value);
}

bool ReadStreamByte(TStream& s) {
  return ReadStreamRawByte(s) != 0;
}

void WriteStreamByte(TStream& s, bool value) {
  WriteStreamRawByte(s, value ? 1 : 0);
}

std::uint8_t ReadStreamRawByte(TStream& s) {
  std::uint8_t b;
  s.ReadExact(&b, 1);
  return b;
}

void WriteStreamRawByte(TStream& s, std::uint8_t value) {
  s.Write(&value, 1);
}

double ReadStreamDateTime(TStream& s) {
  double v;
  s.ReadExact(&v, sizeof v);
  return v;
}

void WriteStreamDateTime(TStream& s, double value) {
  s.Write(&value, sizeof value);
}
