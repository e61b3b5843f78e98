// Byte streams and the primitives every binary record of the program is built from:
// string (int32 byte count + bytes), little-endian int32, one-byte Boolean, 8-byte date-time.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/fs.h"

class EStreamReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EStreamWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to n bytes, returns the count read.
  virtual size_t Read(void* buffer, size_t n) = 0;
  // Writes all n bytes or throws EStreamWriteError.
  virtual void Write(const void* buffer, size_t n) = 0;
  virtual std::uint64_t Position() const = 0;
  virtual std::uint64_t Size() const = 0;
  std::uint64_t Remaining() const { return Size() > Position() ? Size() - Position() : 0; }
  // Reads exactly n bytes or throws EStreamReadError.
  void ReadExact(void* buffer, size_t n);
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  size_t Read(void* buffer, size_t n) override;
  void Write(const void* buffer, size_t n) override;
  std::uint64_t Position() const override { return pos_; }
  std::uint64_t Size() const override { return bytes_.size(); }
  void Rewind() { pos_ = 0; }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  size_t pos_ = 0;
};

// A stream over an open file; the file's size is read once at creation and kept up to date
// by writes, so Remaining() is cheap.
class TFileStream : public TStream {
 public:
  explicit TFileStream(platform::fs::File& file);
  size_t Read(void* buffer, size_t n) override;
  void Write(const void* buffer, size_t n) override;
  std::uint64_t Position() const override { return pos_; }
  std::uint64_t Size() const override { return size_; }

 private:
  void DropReadAhead();

  platform::fs::File& file_;
  std::uint64_t pos_ = 0;
  std::uint64_t size_ = 0;
  // Read ahead: records are read field by field, a few bytes at a time.
  std::vector<std::uint8_t> ahead_;
  size_t aheadPos_ = 0;
};

// A stored count is checked against the bytes that remain before anything is allocated.
std::string ReadStreamString(TStream& s);
void WriteStreamString(TStream& s, std::string_view value);
std::int32_t ReadStreamInt(TStream& s);
void WriteStreamInt(TStream& s, std::int32_t value);
bool ReadStreamByte(TStream& s);  // any non-zero byte reads as true
void WriteStreamByte(TStream& s, bool value);
std::uint8_t ReadStreamRawByte(TStream& s);
void WriteStreamRawByte(TStream& s, std::uint8_t value);
double ReadStreamDateTime(TStream& s);
void WriteStreamDateTime(TStream& s, double value);
