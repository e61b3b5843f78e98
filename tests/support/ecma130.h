// The tests' own CD-ROM coding, written from ECMA-130 alone (neither the library's coder nor
// the recorder's): the scrambler of Annex B, the EDC and the P and Q parity of Annex A (checked
// by their syndromes over GF(2^8), and coded and decoded through libfec: GF(2^8)/0x11D, roots 1
// and α, 24 + 2 symbols for P, 43 + 2 for Q, one error a codeword), the Q subchannel's CRC, and
// a checker of the raw sectors a write sent: their data sectors and their Q's positions against
// the disc the test expects (its TOC in the lead-in, each track's pause, INDEX 0 counting down
// to 00:00:00 at its last sector, and INDEX 1, the lead-out). A cooked block (2048-byte user
// data, a 2332- or 2336-byte Mode 2 unit, 2352 bytes of audio), whose sync, header, EDC/ECC and
// Q the drive makes, is held to its place: on a track of its kind, a Mode 2 unit's subheader
// given twice alike.
#pragma once

extern "C" {
#include <fec.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ecma130 {

struct Track {
  bool audio = false;
  std::int64_t pause = 0;  // INDEX 0 sectors before its start (track 1: the 150 before LBA 0)
  std::int64_t start = 0;  // INDEX 1
  int control = -1;        // the whole Q control; -1: 4 for data, 0 for audio
};

struct Layout {
  std::vector<Track> tracks;
  std::int64_t leadOut = 0;
};

// A sent block: its LBA and its bytes (raw: 2352 main bytes, then 16 PQ or 96 raw P-W bytes).
struct Block {
  std::int64_t lba;
  const std::uint8_t* bytes;
  std::size_t size;
};

class Gf256 {
 public:
  Gf256() {
    int x = 1;
    for (int i = 0; i < 255; ++i) {
      exp_[i] = static_cast<std::uint8_t>(x);
      log_[x] = i;
      x <<= 1;
      if (x & 0x100) x ^= 0x11D;  // x^8 + x^4 + x^3 + x^2 + 1
    }
  }
  std::uint8_t Mul(std::uint8_t a, int alphaPower) const {
    return a ? exp_[(log_[a] + alphaPower) % 255] : 0;
  }

 private:
  std::array<std::uint8_t, 255> exp_{};
  std::array<int, 256> log_{};
};

inline std::uint8_t Bcd(std::int64_t v) {
  return static_cast<std::uint8_t>(v / 10 * 16 + v % 10);
}

// BCD minute, second, frame of an LBA (the lead-in's from 90:00:00 on).
inline void Msf(std::int64_t lba, std::uint8_t* out) {
  const std::int64_t f = lba < -150 ? lba + 450150 : lba + 150;
  out[0] = Bcd(f / 4500);
  out[1] = Bcd(f / 75 % 60);
  out[2] = Bcd(f % 75);
}

inline void Descramble(std::uint8_t* sector) {
  std::uint16_t reg = 1;  // x^15 + x + 1, preset to 1 at byte 12
  for (int i = 12; i < 2352; ++i) {
    std::uint8_t mask = 0;
    for (int b = 0; b < 8; ++b) {
      mask = static_cast<std::uint8_t>(mask | (reg & 1) << b);
      const std::uint16_t feedback = static_cast<std::uint16_t>((reg ^ reg >> 1) & 1);
      reg = static_cast<std::uint16_t>(reg >> 1 | feedback << 14);
    }
    sector[i] ^= mask;
  }
}

// The EDC: CRC-32 of x^32 + x^31 + x^16 + x^15 + x^4 + x^3 + x + 1, least significant bit of a
// byte first, initial 0, no final inversion; stored least significant byte first.
inline std::uint32_t Edc(const std::uint8_t* bytes, std::size_t n) {
  std::uint32_t edc = 0;
  for (std::size_t i = 0; i < n; ++i) {
    edc ^= bytes[i];
    for (int b = 0; b < 8; ++b) edc = edc & 1 ? edc >> 1 ^ 0xD8018001u : edc >> 1;
  }
  return edc;
}

// Both syndromes of every P and Q codeword of the 2340 bytes from the header on are zero.
inline bool ParityOk(const std::uint8_t* sector, bool zeroHeader) {
  static const Gf256 gf;
  std::uint8_t v[2340];
  std::memcpy(v, sector + 12, sizeof v);
  if (zeroHeader) std::memset(v, 0, 4);
  for (int plane = 0; plane < 2; ++plane) {
    auto at = [&](int word) { return v[2 * word + plane]; };
    for (int n = 0; n < 43; ++n) {  // P: 43 columns of 26
      std::uint8_t s0 = 0, s1 = 0;
      for (int m = 0; m < 26; ++m) {
        s0 ^= at(43 * m + n);
        s1 ^= gf.Mul(at(43 * m + n), 25 - m);
      }
      if (s0 || s1) return false;
    }
    for (int n = 0; n < 26; ++n) {  // Q: 26 diagonals of 45
      std::uint8_t s0 = 0, s1 = 0;
      for (int m = 0; m < 45; ++m) {
        const int word = m < 43 ? (44 * m + 43 * n) % 1118 : 1118 + (m - 43) * 26 + n;
        s0 ^= at(word);
        s1 ^= gf.Mul(at(word), 44 - m);
      }
      if (s0 || s1) return false;
    }
  }
  return true;
}

inline std::uint16_t QCrc(const std::uint8_t* q) {
  std::uint16_t crc = 0;
  for (int i = 0; i < 10; ++i) {
    crc = static_cast<std::uint16_t>(crc ^ q[i] << 8);
    for (int b = 0; b < 8; ++b)
      crc = static_cast<std::uint16_t>(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
  }
  return static_cast<std::uint16_t>(~crc);
}

// The Q of a block: PQ bytes 0-11, or bit 6 of the 96 raw P-W bytes.
inline std::array<std::uint8_t, 12> QOf(const Block& b) {
  std::array<std::uint8_t, 12> q{};
  const std::uint8_t* sub = b.bytes + 2352;
  if (b.size == 2368) {
    std::memcpy(q.data(), sub, 12);
  } else {
    for (int i = 0; i < 96; ++i)
      if (sub[i] & 0x40) q[i / 8] = static_cast<std::uint8_t>(q[i / 8] | 0x80 >> i % 8);
  }
  return q;
}

class Checker {
 public:
  explicit Checker(Layout layout) : layout_(std::move(layout)) {}

  // Every raw block: its main data (a data sector where the layout has data) and its Q; every
  // cooked block: its place.
  void Check(const Block& b) {
    const Position p = PositionOf(b.lba);
    if (b.size != 2368 && b.size != 2448) {
      CheckCooked(b, p);
      return;
    }
    ++raw_;
    std::vector<std::uint8_t> sector(b.bytes, b.bytes + 2352);
    if (!p.audio) CheckData(sector.data(), b.lba);
    CheckQ(QOf(b), b.lba, p);
  }
  int RawBlocks() const { return raw_; }
  int CookedBlocks() const { return cooked_; }
  int DataSectors() const { return data_; }
  // The disc type byte of the lead-in's A0 point (00h CD-DA or CD-ROM, 20h CD-ROM XA); -1
  // when no lead-in was sent.
  int DiscType() const { return discType_; }
  // The lead-in's TOC: every point it must carry came at least once.
  void ExpectWholeToc() const {
    const std::size_t points = layout_.tracks.size() + 3;
    if (raw_ && leadIn_) {
      EXPECT_EQ(tocSeen_.size(), points);
    }
  }

 private:
  struct Position {
    bool audio;
    std::uint8_t control;
    std::uint8_t tno;  // BCD; 0 lead-in, AAh lead-out
    int index;
    std::int64_t relative;
  };

  Position PositionOf(std::int64_t lba) const {
    const std::vector<Track>& t = layout_.tracks;
    auto control = [](const Track& k) {
      return static_cast<std::uint8_t>(k.control >= 0 ? k.control : k.audio ? 0 : 4);
    };
    if (lba < -150) return {t.front().audio, control(t.front()), 0, 0, 0};
    if (lba >= layout_.leadOut)
      return {t.back().audio, control(t.back()), 0xAA, 1, lba - layout_.leadOut};
    for (std::size_t i = 0; i < t.size(); ++i) {
      const bool last = i + 1 == t.size();
      if (lba < t[i].start - t[i].pause) continue;
      if (lba < t[i].start)
        return {t[i].audio, control(t[i]), Bcd(static_cast<std::int64_t>(i) + 1), 0,
                t[i].start - lba - 1};
      if (last || lba < t[i + 1].start - t[i + 1].pause)
        return {t[i].audio, control(t[i]), Bcd(static_cast<std::int64_t>(i) + 1), 1,
                lba - t[i].start};
    }
    ADD_FAILURE() << "LBA " << lba << " outside the layout";
    return {true, 0, 0, 0, 0};
  }

  void CheckCooked(const Block& b, const Position& p) {
    ++cooked_;
    ASSERT_TRUE(b.lba >= -150 && b.lba < layout_.leadOut) << "cooked block at LBA " << b.lba;
    if (b.size == 2352) {
      EXPECT_TRUE(p.audio) << "audio block at LBA " << b.lba << " of a data track";
      return;
    }
    ASSERT_TRUE(b.size == 2048 || b.size == 2332 || b.size == 2336)
        << "block of " << b.size << " bytes at LBA " << b.lba;
    EXPECT_FALSE(p.audio) << "data block at LBA " << b.lba << " of an audio track";
    if (b.size != 2048) {
      EXPECT_EQ(std::memcmp(b.bytes, b.bytes + 4, 4), 0) << "subheader of LBA " << b.lba;
    }
  }

  void CheckData(std::uint8_t* s, std::int64_t lba) {
    static const std::uint8_t kSync[12] = {0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                           0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
    ASSERT_EQ(std::memcmp(s, kSync, 12), 0) << "no sync at LBA " << lba;
    Descramble(s);
    std::uint8_t msf[3];
    Msf(lba, msf);
    ASSERT_EQ(std::memcmp(s + 12, msf, 3), 0) << "header of LBA " << lba;
    ++data_;
    const std::uint8_t mode = s[15];
    if (mode == 1) {
      const std::uint32_t edc = Edc(s, 2064);
      EXPECT_EQ(std::memcmp(s + 2064, &edc, 4), 0) << "Mode 1 EDC of LBA " << lba;
      EXPECT_TRUE(ParityOk(s, false)) << "Mode 1 ECC of LBA " << lba;
      return;
    }
    ASSERT_EQ(mode, 2) << "mode of LBA " << lba;
    // Form 1 by its subheader (both copies alike, form bit clear); a pause of zeros is formless.
    if (std::memcmp(s + 16, s + 20, 4) != 0 || (s[18] & 0x20)) return;
    bool zero = true;
    for (int i = 16; i < 2352 && zero; ++i) zero = s[i] == 0;
    if (zero) return;
    const std::uint32_t edc = Edc(s + 16, 2056);
    EXPECT_EQ(std::memcmp(s + 2072, &edc, 4), 0) << "Form 1 EDC of LBA " << lba;
    EXPECT_TRUE(ParityOk(s, true)) << "Form 1 ECC of LBA " << lba;
  }

  void CheckQ(const std::array<std::uint8_t, 12>& q, std::int64_t lba, const Position& p) {
    const std::uint16_t crc = QCrc(q.data());
    ASSERT_EQ(q[10] << 8 | q[11], crc) << "Q CRC of LBA " << lba;
    std::uint8_t running[3];
    if (lba < -150) {
      Msf(lba, running);
      const std::uint8_t point = q[2];
      std::uint8_t expected[10] = {0, 0, point, running[0], running[1], running[2], 0};
      const std::vector<Track>& t = layout_.tracks;
      const Track* of = nullptr;
      if (point == 0xA0) {
        of = &t.front();
        expected[7] = 1;
        if (discType_ < 0) discType_ = q[8];  // the disc type, the same at every A0
        expected[8] = static_cast<std::uint8_t>(discType_);
      } else if (point == 0xA1) {
        of = &t.back();
        expected[7] = Bcd(static_cast<std::int64_t>(t.size()));
      } else if (point == 0xA2) {
        of = &t.back();
        Msf(layout_.leadOut, expected + 7);
      } else {
        const int n = (point >> 4) * 10 + (point & 15);
        ASSERT_TRUE(n >= 1 && n <= static_cast<int>(t.size())) << "point " << int{point};
        of = &t[static_cast<std::size_t>(n) - 1];
        Msf(of->start, expected + 7);
      }
      const int control = of->control >= 0 ? of->control : of->audio ? 0 : 4;
      expected[0] = static_cast<std::uint8_t>(control << 4 | 1);
      ASSERT_EQ(std::vector<std::uint8_t>(q.begin(), q.begin() + 10),
                std::vector<std::uint8_t>(expected, expected + 10))
          << "lead-in Q at LBA " << lba;
      leadIn_ = true;
      tocSeen_.insert(tocSeen_.end(), point);
      std::sort(tocSeen_.begin(), tocSeen_.end());
      tocSeen_.erase(std::unique(tocSeen_.begin(), tocSeen_.end()), tocSeen_.end());
      return;
    }
    Msf(lba, running);
    std::uint8_t relative[3];
    Msf(p.relative - 150, relative);  // a plain count of frames
    const std::uint8_t expected[10] = {static_cast<std::uint8_t>(p.control << 4 | 1),
                                       p.tno,
                                       static_cast<std::uint8_t>(p.index),
                                       relative[0],
                                       relative[1],
                                       relative[2],
                                       0,
                                       running[0],
                                       running[1],
                                       running[2]};
    ASSERT_EQ(std::vector<std::uint8_t>(q.begin(), q.begin() + 10),
              std::vector<std::uint8_t>(expected, expected + 10))
        << "Q at LBA " << lba;
  }

  Layout layout_;
  int raw_ = 0, cooked_ = 0, data_ = 0, discType_ = -1;
  bool leadIn_ = false;
  std::vector<std::uint8_t> tocSeen_;
};

// The coding by libfec, a sector's fields as numbers.
using Sector = std::array<std::uint8_t, 2352>;

inline std::uint32_t Stored(const Sector& s, std::size_t at) {
  return s[at] | s[at + 1] << 8 | s[at + 2] << 16 | static_cast<std::uint32_t>(s[at + 3]) << 24;
}
inline void Store(Sector& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    s[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Sector offsets of the codewords, counted from byte 12: symbol r of P codeword (column) k,
// symbol n of Q codeword (diagonal) m, in byte column c; the two check symbols last.
inline std::size_t PAt(int k, int r, int c) {
  return 12 + static_cast<std::size_t>(2 * (43 * r + k) + c);
}
inline std::size_t QAt(int m, int n, int c) {
  const int word = n < 43 ? (43 * m + 44 * n) % 1118 : 1118 + (n - 43) * 26 + m;
  return 12 + static_cast<std::size_t>(2 * word + c);
}

class Libfec {
 public:
  Libfec() : p_(init_rs_char(8, 0x11D, 0, 1, 2, 229)), q_(init_rs_char(8, 0x11D, 0, 1, 2, 210)) {}
  ~Libfec() {
    free_rs_char(p_);
    free_rs_char(q_);
  }
  Libfec(const Libfec&) = delete;
  Libfec& operator=(const Libfec&) = delete;

  // The P and Q parity of the body (from sector byte 12) in sector order: 172 + 104 bytes.
  std::vector<std::uint8_t> Parity(const std::uint8_t* body) const {
    Sector s{};
    std::memcpy(s.data() + 12, body, 2064);
    Encode(s);
    return std::vector<std::uint8_t>(s.begin() + 2076, s.end());
  }
  // Writes P (bytes 2076-2247) and then Q (2248-2351) of bytes 12-2075.
  void Encode(Sector& s) const {
    Each(s, false, [&](std::uint8_t* symbols) {
      encode_rs_char(p_, symbols, symbols + 24);
      return true;
    });
    Each(s, true, [&](std::uint8_t* symbols) {
      encode_rs_char(q_, symbols, symbols + 43);
      return true;
    });
  }
  // One pass over every P (or Q) codeword, each decoded on its own; true when any changed.
  bool Decode(Sector& s, bool q) const {
    bool changed = false;
    Each(s, q, [&](std::uint8_t* symbols) {
      const int n = decode_rs_char(q ? q_ : p_, symbols, nullptr, 0);
      if (n > 0) changed = true;
      return n > 0;
    });
    return changed;
  }

 private:
  // Calls `code` with each codeword's symbols; writes them back when it returns true.
  template <class Code>
  static void Each(Sector& s, bool q, Code&& code) {
    const int words = q ? 26 : 43, length = q ? 45 : 26;
    for (int w = 0; w < words; ++w)
      for (int c = 0; c < 2; ++c) {
        std::uint8_t symbols[45];
        for (int i = 0; i < length; ++i) symbols[i] = s[q ? QAt(w, i, c) : PAt(w, i, c)];
        if (!code(symbols)) continue;
        for (int i = 0; i < length; ++i) s[q ? QAt(w, i, c) : PAt(w, i, c)] = symbols[i];
      }
  }
  void* p_;
  void* q_;
};

}  // namespace ecma130
