// Sector check and correction: damage of known shape on encoded sectors, corrected or refused
// as the parity allows, the sector left as it was read when it cannot be corrected.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "lib/core/sector/edc_ecc.h"
#include "lib/core/sector/sector_decoder.h"
#include "lib/core/sector/sector_encoder.h"
#include "platform/debug/debug.h"

namespace {

using Sector = std::array<std::uint8_t, 2352>;

// Sector offsets of the ECMA-130 codewords: row r of P column pair k, position n of Q diagonal
// pair m, byte column c.
int PByte(int k, int r, int c) {
  return 12 + 2 * (43 * r + k) + c;
}
int QByte(int m, int n, int c) {
  return 12 + 2 * ((43 * m + 44 * n) % 1118) + c;
}

Sector Encoded(int type, std::uint32_t seed, std::int32_t lba = 1000) {
  std::mt19937 random(seed);
  Sector s;
  for (auto& b : s) b = static_cast<std::uint8_t>(random());
  if (type >= 3) {
    s[18] = static_cast<std::uint8_t>(type == 4 ? s[18] | 0x20 : s[18] & ~0x20);
    std::memcpy(s.data() + 20, s.data() + 16, 4);
  }
  EXPECT_EQ(EncodeSectorAtAddress(s.data(), type, lba), 0);
  return s;
}

void Flip(Sector& s, int offset, std::uint8_t bits = 0x5A) {
  s[offset] ^= bits;
}

// Two P columns (4 and 30) crossing two Q diagonals (2 and 19) in byte column 1: each codeword
// holds two errors, so only erasures at the crossings let P correct them.
const int kCrossings[4] = {QByte(2, 4, 1), QByte(2, 30, 1), QByte(19, 4, 1), QByte(19, 30, 1)};

TEST(SectorDecoderTest, CorrectsWhatTheParityAllowsAndLeavesTheRestAsRead) {
  struct Case {
    const char* name;
    std::function<void(Sector&)> damage;
    std::int32_t result;
  } cases[] = {
      {"nothing", [](Sector&) {}, kHalvorinDecodeIntact},
      {"one data byte", [](Sector& s) { Flip(s, 500); }, kHalvorinDecodeCorrected},
      {"the sync only",
       [](Sector& s) {
         for (int i = 0; i < 12; ++i) s[i] = static_cast<std::uint8_t>(i);
       },
       kHalvorinDecodeIntact},
      {"an 86-byte burst",
       [](Sector& s) {
         for (int i = 1001; i < 1001 + 86; ++i) Flip(s, i, static_cast<std::uint8_t>(i | 1));
       },
       kHalvorinDecodeCorrected},
      {"two errors in one P column",
       [](Sector& s) {
         Flip(s, PByte(5, 3, 0));
         Flip(s, PByte(5, 17, 0), 0x11);
       },
       kHalvorinDecodeCorrected},
      {"four errors where two P columns cross two Q diagonals",
       [](Sector& s) {
         for (int i = 0; i < 4; ++i)
           Flip(s, kCrossings[i], static_cast<std::uint8_t>(0x21 * (i + 1)));
       },
       kHalvorinDecodeCorrected},
      {"two errors in one P column whose miscorrection lands on a damaged Q diagonal",
       [](Sector& s) {
         Flip(s, PByte(9, 12, 1), 0x4B);
         Flip(s, PByte(9, 18, 1), 0x11);
         Flip(s, PByte(11, 24, 1), 0x2B);  // P parity, on the diagonal of the wrong guess
       },
       kHalvorinDecodeCorrected},
      {"one P parity and one Q parity byte",
       [](Sector& s) {
         Flip(s, 2100);
         Flip(s, 2300);
       },
       kHalvorinDecodeCorrected},
      {"two parity bytes of one Q diagonal",
       [](Sector& s) {
         Flip(s, 2248 + 14);
         Flip(s, 2300 + 14);
       },
       kHalvorinDecodeCorrected},
      {"300 random bytes",
       [](Sector& s) {
         std::mt19937 random(300);
         for (int i = 0; i < 300; ++i) Flip(s, 12 + static_cast<int>(random() % 2340), 0xFF);
       },
       kHalvorinDecodeUncorrectable},
  };
  for (int type : {kHalvorinDecodeTypeMode1, kHalvorinDecodeTypeMode2Form1}) {
    const Sector good = Encoded(type == kHalvorinDecodeTypeMode1 ? 1 : 3, 7);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + ", type " + std::to_string(type));
      Sector s = good;
      c.damage(s);
      const Sector read = s;
      EXPECT_EQ(DecodeSector(s.data(), type), c.result);
      EXPECT_EQ(s, c.result == kHalvorinDecodeUncorrectable ? read : good);
    }
  }
}

TEST(SectorDecoderTest, AnyOneOrTwoDamagedBytesAreCorrected) {
  std::mt19937 random(2);
  for (int round = 0; round < 200; ++round) {
    const int type = round % 2 ? kHalvorinDecodeTypeMode1 : kHalvorinDecodeTypeMode2Form1;
    const Sector good = Encoded(type == kHalvorinDecodeTypeMode1 ? 1 : 3, round);
    // A Form 1 header is not protected: damage starts after it.
    const int from = type == kHalvorinDecodeTypeMode1 ? 12 : 16;
    Sector s = good;
    const int a = from + static_cast<int>(random() % (2352 - from));
    int b = from + static_cast<int>(random() % (2352 - from));
    if (b == a) b = a == 2351 ? from : a + 1;
    Flip(s, a, static_cast<std::uint8_t>(random() | 1));
    if (round % 4 < 2) Flip(s, b, static_cast<std::uint8_t>(random() | 1));
    SCOPED_TRACE("round " + std::to_string(round) + ": " + std::to_string(a) + ", " +
                 std::to_string(b));
    EXPECT_EQ(DecodeSector(s.data(), type), kHalvorinDecodeCorrected);
    EXPECT_EQ(s, good);
  }
}

TEST(SectorDecoderTest, ScatteredDamageOfUpToSixteenBytesIsCorrected) {
  std::mt19937 random(16);
  for (int round = 0; round < 160; ++round) {
    const int type = round % 2 ? kHalvorinDecodeTypeMode1 : kHalvorinDecodeTypeMode2Form1;
    const Sector good = Encoded(type == kHalvorinDecodeTypeMode1 ? 1 : 3, 1000 + round);
    const int from = type == kHalvorinDecodeTypeMode1 ? 12 : 16;
    Sector s = good;
    for (int i = 0; i <= round % 16; ++i)
      Flip(s, from + static_cast<int>(random() % (2352 - from)),
           static_cast<std::uint8_t>(random() | 1));
    SCOPED_TRACE("round " + std::to_string(round));
    EXPECT_EQ(DecodeSector(s.data(), type), kHalvorinDecodeCorrected);
    EXPECT_EQ(s, good);
  }
}

TEST(SectorDecoderTest, CallersErasuresAndMarkingOff) {
  const Sector good = Encoded(1, 11);
  Sector s = good;
  for (int i = 0; i < 4; ++i) Flip(s, kCrossings[i]);
  const Sector read = s;
  // Without marking of its own the corrector cannot place the four errors...
  EXPECT_EQ(DecodeSector(s.data(), kHalvorinDecodeTypeMode1, nullptr, true),
            kHalvorinDecodeUncorrectable);
  EXPECT_EQ(s, read);
  // ...the caller's erasures place them.
  std::array<std::uint8_t, 2352> erasures{};
  for (int offset : kCrossings) erasures[offset] = 1;
  EXPECT_EQ(DecodeSector(s.data(), kHalvorinDecodeTypeMode1, erasures.data(), true),
            kHalvorinDecodeCorrected);
  EXPECT_EQ(s, good);

  // A sector whose EDC is right from the start clears the flags of its range.
  erasures.fill(1);
  EXPECT_EQ(DecodeSector(s.data(), kHalvorinDecodeTypeMode1, erasures.data(), false),
            kHalvorinDecodeIntact);
  EXPECT_EQ(std::count(erasures.begin(), erasures.begin() + 2068, 0), 2068);
  EXPECT_EQ(erasures[2068], 1);
}

TEST(SectorDecoderTest, OtherTypesAreRefused) {
  Sector s = Encoded(4, 3);
  const Sector read = s;
  for (int type : {0, 1, 3, 5}) EXPECT_EQ(DecodeSector(s.data(), type), kHalvorinDecodeUnsupported);
  EXPECT_EQ(s, read);
}

TEST(SectorCheckTest, ChecksNameTheStepThatFailed) {
  struct Case {
    int type;  // encoder type: 1 Mode 1, 3 Form 1, 4 Form 2
    std::function<void(Sector&)> damage;
    const char* trace;  // null: passes
    const char* also = nullptr;
  } cases[] = {
      {1, [](Sector&) {}, nullptr},
      {1, [](Sector& s) { s[3] = 0; }, "CheckMODE1LB(): VerifySync() failed!!!"},
      {1, [](Sector& s) { s[15] = 2; }, "CheckMODE1LB(): VerifyHeader() failed!!!"},
      {1, [](Sector& s) { Flip(s, 700); }, "CheckMODE1LB(): CalculateEDC() failed!!!",
       "[LB], Mode 1, MODE2Form 0"},
      {1, [](Sector& s) { Flip(s, 2100); }, "CheckMODE1LB(): CheckECCP() failed!!!"},
      {1, [](Sector& s) { Flip(s, 2300); }, "CheckMODE1LB(): CheckHeader() failed!!!"},
      {3, [](Sector&) {}, nullptr},
      {4, [](Sector&) {}, nullptr},
      // Form 2 has no parity; its EDC is checked when it has one.
      {4, [](Sector& s) { Flip(s, 700); }, "CheckMODE2LB(): CalculateEDC() failed!!!",
       "[LB], Mode 2, MODE2Form 2"},
      {4,
       [](Sector& s) {
         std::memset(s.data() + 2348, 0, 4);
         Flip(s, 700);
       },
       nullptr},
      {3, [](Sector& s) { s[0] = 1; }, "CheckMODE2LB(): VerifySync() failed!!!"},
      {3, [](Sector& s) { s[15] = 1; }, "CheckMODE2LB(): VerifyHeader() failed!!!"},
      {3, [](Sector& s) { s[21] ^= 1; }, "CheckMODE2LB(): VerifySubHeader() failed!!!"},
      {3, [](Sector& s) { Flip(s, 700); }, "CheckMODE2LB(): CalculateEDC() failed!!!",
       "[LB], Mode 2, MODE2Form 1"},
      {3, [](Sector& s) { Flip(s, 2100); }, "CheckMODE2LB(): CheckECCP() failed!!!"},
      {3, [](Sector& s) { Flip(s, 2300); }, "CheckMODE2LB(): CheckECCQ() failed!!!"},
  };
  CHalvorin_EDCECC coder;
  for (const Case& c : cases) {
    Sector s = Encoded(c.type, 5);
    c.damage(s);
    const Sector read = s;
    platform::debug::Capture capture;
    const bool passed = c.type == 1 ? coder.CheckMODE1LB(s.data()) : coder.CheckMODE2LB(s.data());
    SCOPED_TRACE(c.trace ? c.trace : "passes");
    EXPECT_EQ(passed, c.trace == nullptr);
    for (const char* text : {c.trace, c.also}) {
      if (!text) continue;
      EXPECT_NE(capture.Text().find(text), std::string::npos) << capture.Text();
    }
    EXPECT_EQ(s, read);  // a Form 1 header is put back after its parity check
  }
}

TEST(SectorCheckTest, CheckLBCorrectsOrRefusesByKind) {
  struct Case {
    const char* name;
    int type;
    std::int32_t kind;
    std::function<void(Sector&)> damage;
    bool passes;
    bool restored;  // the sector equals the encoded one afterwards (else: as read)
  } cases[] = {
      {"intact Mode 1", 1, 1, [](Sector&) {}, true, true},
      {"Mode 1, one byte", 1, 1, [](Sector& s) { Flip(s, 900); }, true, true},
      {"Mode 1, damaged mode byte", 1, 1, [](Sector& s) { s[15] = 0x81; }, true, true},
      {"Form 1 keeps its own header", 3, 2, [](Sector& s) { Flip(s, 900); }, true, true},
      {"Form 1, bit 0x20 flipped in byte 18", 3, 2, [](Sector& s) { s[18] ^= 0x20; }, true, true},
      {"Form 1, bit 0x20 flipped in byte 22", 3, 2, [](Sector& s) { s[22] ^= 0x20; }, true, true},
      {"Form 2 without EDC whose copies differ, 0x20 in both", 4, 2,
       [](Sector& s) {
         std::memset(s.data() + 2348, 0, 4);
         s[23] ^= 0x40;
       },
       true, false},
      {"Form 2 whose copies differ, 0x20 in both, the EDC wrong", 4, 2,
       [](Sector& s) { s[23] ^= 0x40; }, false, false},
      {"Form 2 without EDC whose copy lost 0x20", 4, 2,
       [](Sector& s) {
         std::memset(s.data() + 2348, 0, 4);
         s[22] &= ~0x20;
       },
       true, false},
      {"Form 2 that lost 0x20 in byte 18", 4, 2,
       [](Sector& s) {
         s[18] &= ~0x20;
         Flip(s, 900);
       },
       false, false},
      {"another kind", 1, 3, [](Sector& s) { Flip(s, 900); }, true, false},
  };
  CHalvorin_EDCECC coder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Sector good = Encoded(c.type, 9, 4500);
    Sector s = good;
    c.damage(s);
    const Sector read = s;
    EXPECT_EQ(coder.CheckLB(s.data(), c.kind), c.passes);
    EXPECT_EQ(s, c.restored ? good : read);
  }
}

TEST(SectorCheckTest, UncorrectableSectorsFailAndStayAsRead) {
  CHalvorin_EDCECC coder;
  for (int type : {1, 3}) {
    Sector s = Encoded(type, 13);
    std::mt19937 random(13);
    for (int i = 0; i < 300; ++i) Flip(s, 16 + static_cast<int>(random() % 2336), 0xFF);
    const Sector read = s;
    platform::debug::Capture capture;
    EXPECT_FALSE(coder.CheckLB(s.data(), type == 1 ? 1 : 2));
    EXPECT_EQ(s, read);
    const std::string trace =
        std::string("CHalvorin_EDCECC::CheckLB(): Status (-1), Sector type ") +
        (type == 1 ? "2" : "4");
    EXPECT_NE(capture.Text().find(trace), std::string::npos) << capture.Text();
  }
}

}  // namespace
