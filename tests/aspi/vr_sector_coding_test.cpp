// The recorder's own sector coding against the properties ECMA-130 gives: the Q CRC, the
// scrambler sequence, and EDC/ECC code words whose syndromes vanish.
#include "platform/aspi/recorder/coding/vr_sector_coding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

namespace vr = platform::aspi::vr;

std::uint8_t Mul(std::uint8_t a, std::uint8_t b) {
  std::uint8_t r = 0;
  while (b) {
    if (b & 1) r ^= a;
    a = static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1D : 0));
    b >>= 1;
  }
  return r;
}

std::uint8_t Pow(int e) {
  std::uint8_t r = 1;
  for (int i = 0; i < e; ++i) r = Mul(r, 2);
  return r;
}

// Both syndromes of a code word with check matrix [1 ... 1; a^(n-1) ... a 1].
bool Codeword(const std::vector<std::uint8_t>& v) {
  std::uint8_t s0 = 0, s1 = 0;
  const int n = static_cast<int>(v.size());
  for (int k = 0; k < n; ++k) {
    s0 ^= v[k];
    s1 ^= Mul(Pow(n - 1 - k), v[k]);
  }
  return s0 == 0 && s1 == 0;
}

void ExpectParity(const std::uint8_t* sector) {
  const std::uint8_t* b = sector + 12;
  for (int plane = 0; plane < 2; ++plane) {
    for (int n = 0; n < 43; ++n) {
      std::vector<std::uint8_t> v;
      for (int k = 0; k < 26; ++k) v.push_back(b[2 * (43 * k + n) + plane]);
      EXPECT_TRUE(Codeword(v)) << "P column " << n << " plane " << plane;
    }
    for (int d = 0; d < 26; ++d) {
      std::vector<std::uint8_t> v;
      for (int k = 0; k < 43; ++k) v.push_back(b[2 * ((44 * k + 43 * d) % 1118) + plane]);
      v.push_back(b[2 * (1118 + d) + plane]);
      v.push_back(b[2 * (1144 + d) + plane]);
      EXPECT_TRUE(Codeword(v)) << "Q diagonal " << d << " plane " << plane;
    }
  }
}

std::vector<std::uint8_t> User(int seed) {
  std::vector<std::uint8_t> u(2048);
  for (size_t i = 0; i < u.size(); ++i)
    u[i] = static_cast<std::uint8_t>(i * 31 + seed * 7 + (i >> 5));
  return u;
}

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24;
}

TEST(SectorCoding, QCrcIsCrc16CcittStoredInverted) {
  // CRC-16 (1021h, initial 0) of "123456789" is 31C3h; a leading zero byte leaves it as it is.
  const std::uint8_t ten[10] = {0, '1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(vr::QCrc(ten), 0x31C3);
  std::uint8_t q[12] = {0x41, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00};
  vr::SetQCrc(q);
  EXPECT_EQ(static_cast<std::uint16_t>(~vr::QCrc(q)), (q[10] << 8) | q[11]);
}

TEST(SectorCoding, ScramblerSequence) {
  std::vector<std::uint8_t> s(2352, 0);
  vr::Scramble(s.data());
  const std::uint8_t start[] = {0x01, 0x80, 0x00, 0x60, 0x00, 0x28, 0x00, 0x1E, 0x80, 0x08};
  EXPECT_EQ(std::vector<std::uint8_t>(s.begin() + 12, s.begin() + 22),
            std::vector<std::uint8_t>(start, start + 10));
  EXPECT_EQ(std::vector<std::uint8_t>(s.begin(), s.begin() + 12), std::vector<std::uint8_t>(12, 0));
  vr::Scramble(s.data());
  EXPECT_EQ(s, std::vector<std::uint8_t>(2352, 0));
}

TEST(SectorCoding, Mode1Sector) {
  std::uint8_t sector[2352];
  const auto user = User(1);
  vr::EncodeMode1(16, user.data(), sector);
  EXPECT_EQ(sector[0], 0x00);
  EXPECT_EQ(sector[1], 0xFF);
  EXPECT_EQ(sector[11], 0x00);
  EXPECT_EQ(sector[12], 0x00);  // 00:02:16
  EXPECT_EQ(sector[13], 0x02);
  EXPECT_EQ(sector[14], 0x16);
  EXPECT_EQ(sector[15], 0x01);
  EXPECT_EQ(std::memcmp(sector + 16, user.data(), 2048), 0);
  EXPECT_EQ(Le32(sector + 2064), vr::Edc({sector, 2064}));
  // EDC residue: the CRC over the data and its own EDC is zero.
  EXPECT_EQ(vr::Edc({sector, 2068}), 0u);
  ExpectParity(sector);
}

TEST(SectorCoding, Mode2Form1SectorParityIgnoresTheHeader) {
  std::uint8_t sector[2352];
  const auto user = User(2);
  const std::uint8_t subheader[4] = {0, 0, 0x08, 0};
  vr::EncodeMode2Form1(300, subheader, user.data(), sector);
  EXPECT_EQ(sector[15], 0x02);
  EXPECT_EQ(sector[18], 0x08);
  EXPECT_EQ(sector[22], 0x08);
  EXPECT_EQ(vr::Edc({sector + 16, 2060}), 0u);
  std::uint8_t zeroed[2352];
  std::memcpy(zeroed, sector, sizeof zeroed);
  std::memset(zeroed + 12, 0, 4);
  ExpectParity(zeroed);
}

TEST(SectorCoding, MsfConversions) {
  EXPECT_EQ(vr::LbaToMsf(0).second, 2);
  const vr::Msf end = vr::LbaToMsf(359849);
  EXPECT_EQ(end.minute, 79);
  EXPECT_EQ(end.second, 59);
  EXPECT_EQ(end.frame, 74);
  const vr::Msf leadIn = vr::LbaToMsf(-11634);
  EXPECT_EQ(leadIn.minute, 97);
  EXPECT_EQ(leadIn.second, 26);
  EXPECT_EQ(leadIn.frame, 66);
  EXPECT_EQ(vr::MsfToLba(leadIn), -11634);
  EXPECT_EQ(vr::MsfToLba({0, 0, 0}), -150);
  EXPECT_EQ(vr::ToBcd(59), 0x59);
}

TEST(SectorCoding, SubchannelInterleave) {
  std::uint8_t q[12];
  vr::FormatQ({4, 1, 1, 75, 75}, q);
  EXPECT_EQ(q[0], 0x41);
  EXPECT_EQ(q[4], 0x01);  // relative 00:01:00
  EXPECT_EQ(q[8], 0x03);  // absolute 00:03:00
  std::uint8_t raw[96];
  vr::InterleaveSubchannel(true, q, raw);
  for (int k = 0; k < 96; ++k) {
    EXPECT_EQ(raw[k] & 0x80, 0x80);
    EXPECT_EQ((raw[k] >> 6) & 1, (q[k / 8] >> (7 - k % 8)) & 1);
    EXPECT_EQ(raw[k] & 0x3F, 0);
  }
}

}  // namespace
