// The tests' own CD-ROM sector coding, written from ECMA-130 apart from the library: the EDC
// CRC, and the P and Q Reed-Solomon codes through libfec (GF(2^8)/0x11D, roots 1 and α; 24 + 2
// symbols for P, 43 + 2 for Q), which also decodes them, one error a codeword.
#pragma once

extern "C" {
#include <fec.h>
}

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ecma130 {

using Sector = std::array<std::uint8_t, 2352>;

// The EDC: CRC-32 of x^32 + x^31 + x^16 + x^15 + x^4 + x^3 + x + 1, least significant bit of a
// byte first, initial 0, no final inversion; stored least significant byte first.
inline std::uint32_t Edc(const std::uint8_t* p, std::size_t n) {
  std::uint32_t crc = 0;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int b = 0; b < 8; ++b) crc = (crc >> 1) ^ ((crc & 1) ? 0xD8018001u : 0u);
  }
  return crc;
}
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
