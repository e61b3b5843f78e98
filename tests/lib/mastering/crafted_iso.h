// ISO9660 images written byte by byte for the import's tests: a primary (and optionally a
// Joliet) descriptor, directories of hand-made records, and any record bent out of shape.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace craftediso {

struct Record {
  std::string id;  // identifier bytes as stored
  std::uint32_t extent = 0;
  std::uint32_t size = 0;
  std::uint8_t flags = 0;
  int length = 0;  // record length byte (the next record follows it); 0: the right one
};

inline std::string Ucs2(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c >> 8));
    out.push_back(static_cast<char>(c & 0xFF));
  }
  return out;
}

class Image {
 public:
  explicit Image(std::uint32_t sectors) : bytes_(std::size_t(sectors) * 2048, 0) {}

  std::uint8_t* Sector(std::uint32_t lba) {
    if ((std::size_t(lba) + 1) * 2048 > bytes_.size()) bytes_.resize((std::size_t(lba) + 1) * 2048);
    return bytes_.data() + std::size_t(lba) * 2048;
  }

  // Primary descriptor at 16 (and a Joliet one at 17 when the Joliet root is given), then the
  // terminator.
  void Descriptors(std::uint32_t rootExtent, std::uint32_t rootSize, std::uint32_t jolietExtent = 0,
                   std::uint32_t jolietSize = 0, const char* escape = "%/E") {
    std::uint32_t lba = 16;
    Descriptor(Sector(lba++), 1, rootExtent, rootSize);
    if (jolietExtent) {
      std::uint8_t* d = Sector(lba++);
      Descriptor(d, 2, jolietExtent, jolietSize);
      std::memcpy(d + 88, escape, 3);
    }
    std::uint8_t* t = Sector(lba);
    t[0] = 0xFF;
    std::memcpy(t + 1, "CD001", 5);
    t[6] = 1;
  }

  // A directory at `lba` of `size` bytes: its own and its parent's entries, then the records,
  // a record that would cross a sector's end starting the next sector.
  void Directory(std::uint32_t lba, std::uint32_t size, std::uint32_t parent,
                 std::uint32_t parentSize, const std::vector<Record>& records) {
    std::size_t pos = 0;
    Put(lba, pos, {std::string(1, '\0'), lba, size, 2});
    Put(lba, pos, {std::string(1, '\1'), parent, parentSize, 2});
    for (const Record& r : records) Put(lba, pos, r);
  }

  void Save(const std::string& path) {
    bytes_.resize((bytes_.size() + 2047) / 2048 * 2048);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes_.data()),
               static_cast<std::streamsize>(bytes_.size()));
  }

  std::vector<std::uint8_t>& Bytes() { return bytes_; }

 private:
  static void Both32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      p[i] = static_cast<std::uint8_t>(v >> (8 * i));
      p[7 - i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
  }
  static void Descriptor(std::uint8_t* d, std::uint8_t type, std::uint32_t extent,
                         std::uint32_t size) {
    d[0] = type;
    std::memcpy(d + 1, "CD001", 5);
    d[6] = 1;
    d[156] = 34;
    Both32(d + 158, extent);
    Both32(d + 166, size);
    d[181] = 2;
    d[188] = 1;
  }
  void Put(std::uint32_t lba, std::size_t& pos, const Record& r) {
    const std::size_t n = r.id.size();
    const std::size_t natural = 33 + n + (n % 2 == 0 ? 1 : 0);
    const std::size_t length = r.length ? static_cast<std::size_t>(r.length) : natural;
    if (pos % 2048 + natural > 2048) pos = (pos / 2048 + 1) * 2048;
    Sector(static_cast<std::uint32_t>(lba + (pos + natural) / 2048));  // room for the record
    std::uint8_t* p = Sector(lba) + pos;
    p[0] = static_cast<std::uint8_t>(length);
    Both32(p + 2, r.extent);
    Both32(p + 10, r.size);
    p[18] = 120;  // 2020-06-15 12:30:00 GMT
    p[19] = 6;
    p[20] = 15;
    p[21] = 12;
    p[22] = 30;
    p[25] = r.flags;
    p[28] = 1;
    p[31] = 1;
    p[32] = static_cast<std::uint8_t>(n);
    std::memcpy(p + 33, r.id.data(), n);
    pos += length;
  }

  std::vector<std::uint8_t> bytes_;
};

}  // namespace craftediso
