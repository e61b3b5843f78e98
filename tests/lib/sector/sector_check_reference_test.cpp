// The sector check against a reference written here from ECMA-130: sectors encoded by the
// test's own EDC and libfec's parity, damaged, then judged by the reference (its own checks and
// a P/Q corrector through libfec's decoder) and by CheckLB, which must agree on the verdict and
// on the bytes. A Mode 2 sector is taken as Form 2 without correction only when byte 18 says
// Form 2 and its EDC, when it has one, holds; byte 18 clear, it is Form 1 whatever byte 22 says.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "lib/core/sector/edc_ecc.h"
#include "platform/debug/debug.h"
#include "tests/support/ecma130.h"

namespace {

using ecma130::Sector;

const std::uint8_t kSync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};

std::uint8_t Bcd(int v) {
  return static_cast<std::uint8_t>(v / 10 * 16 + v % 10);
}

enum Kind { kMode1 = 1, kForm1, kForm2 };

class Reference {
 public:
  // Random user data at an address, the subheader's submode (Form 2: bit 0x20) in both copies;
  // a Form 2 sector with or without its EDC.
  Sector Encode(Kind kind, std::uint32_t seed, bool form2Edc = true) const {
    std::mt19937 random(seed);
    Sector s;
    for (auto& b : s) b = static_cast<std::uint8_t>(random());
    std::memcpy(s.data(), kSync, 12);
    const int lba = static_cast<int>(random() % 300000), frames = lba + 150;
    s[12] = Bcd(frames / 4500);
    s[13] = Bcd(frames / 75 % 60);
    s[14] = Bcd(frames % 75);
    s[15] = kind == kMode1 ? 1 : 2;
    if (kind == kMode1) {
      ecma130::Store(s, 2064, ecma130::Edc(s.data(), 2064));
      std::memset(s.data() + 2068, 0, 8);
      libfec_.Encode(s);
      return s;
    }
    s[18] = static_cast<std::uint8_t>(kind == kForm2 ? s[18] | 0x20 : s[18] & ~0x20);
    std::memcpy(s.data() + 20, s.data() + 16, 4);
    if (kind == kForm2) {
      ecma130::Store(s, 2348, form2Edc ? ecma130::Edc(s.data() + 16, 2332) : 0);
      return s;
    }
    ecma130::Store(s, 2072, ecma130::Edc(s.data() + 16, 2056));
    std::memset(s.data() + 12, 0, 4);  // Form 1 parity is over a zero header
    libfec_.Encode(s);
    s[12] = Bcd(frames / 4500);
    s[13] = Bcd(frames / 75 % 60);
    s[14] = Bcd(frames % 75);
    return s;
  }

  // What the check of a sector of the kind (1 Mode 1, 2 Mode 2) must give, and the bytes it
  // must leave.
  bool Check(Sector& s, std::int32_t kind) const {
    if (kind == 1) return Intact(s, true) || Correct(s, true);
    if (Intact(s, false)) return true;
    const bool form2 = (s[18] & 0x20) && Form2EdcHolds(s);
    if (form2 && (s[22] & 0x20)) return true;
    return Correct(s, false) || form2;
  }

 private:
  static bool Form2EdcHolds(const Sector& s) {
    return ecma130::Stored(s, 2348) == 0 ||
           ecma130::Edc(s.data() + 16, 2332) == ecma130::Stored(s, 2348);
  }
  static bool Form1EdcHolds(const Sector& s) {
    return ecma130::Edc(s.data() + 16, 2056) == ecma130::Stored(s, 2072);
  }
  static bool Mode1EdcHolds(const Sector& s) {
    return ecma130::Edc(s.data(), 2064) == ecma130::Stored(s, 2064);
  }
  // The parity as the data gives it (a Form 1 sector's over a zero header).
  Sector Reparity(Sector s, bool mode1) const {
    Sector body = s;
    if (!mode1) std::memset(body.data() + 12, 0, 4);
    libfec_.Encode(body);
    std::memcpy(s.data() + 2076, body.data() + 2076, 276);
    return s;
  }
  bool Intact(const Sector& s, bool mode1) const {
    if (std::memcmp(s.data(), kSync, 12) != 0 || s[15] != (mode1 ? 1 : 2)) return false;
    if (mode1) return Mode1EdcHolds(s) && Reparity(s, true) == s;
    if (std::memcmp(s.data() + 16, s.data() + 20, 4) != 0) return false;
    if (s[18] & 0x20) return Form2EdcHolds(s);
    return Form1EdcHolds(s) && Reparity(s, false) == s;
  }
  // Alternate P and Q passes until the EDC holds or nothing changes; the sector is replaced by
  // the corrected one (sync written, parity made anew, a Form 1 header as it was) only when the
  // EDC then holds.
  bool Correct(Sector& s, bool mode1) const {
    Sector w = s;
    std::memcpy(w.data(), kSync, 12);
    if (!mode1) std::memset(w.data() + 12, 0, 4);
    const auto holds = [&] { return mode1 ? Mode1EdcHolds(w) : Form1EdcHolds(w); };
    for (int pass = 0; pass < 8 && !holds(); ++pass) {
      const bool p = libfec_.Decode(w, false);
      if (holds()) break;
      const bool q = libfec_.Decode(w, true);
      if (!p && !q) break;
    }
    if (!holds()) return false;
    libfec_.Encode(w);
    if (!mode1) std::memcpy(w.data() + 12, s.data() + 12, 4);
    s = w;
    return true;
  }

  ecma130::Libfec libfec_;
};

void Flip(Sector& s, std::size_t at, std::uint8_t bits) {
  s[at] = static_cast<std::uint8_t>(s[at] ^ bits);
}

// A sector judged by both: the same verdict and the same bytes; a refusal traced by its status.
void ExpectAgree(const Reference& reference, const Sector& damaged, std::int32_t kind,
                 bool* verdict = nullptr) {
  CHalvorin_EDCECC coder;
  Sector theirs = damaged, ours = damaged;
  const bool expected = reference.Check(theirs, kind);
  platform::debug::Capture capture;
  const bool got = coder.CheckLB(ours.data(), kind);
  EXPECT_EQ(got, expected);
  EXPECT_TRUE(ours == theirs);
  if (!expected) {
    const std::string trace =
        std::string("CHalvorin_EDCECC::CheckLB(): Status (-1), Sector type ") +
        (kind == 1 ? "2" : "4");
    EXPECT_NE(capture.Text().find(trace), std::string::npos) << capture.Text();
  }
  if (verdict) *verdict = got;
}

TEST(SectorCheckReferenceTest, TheReferencesOwnSectorsAreIntact) {
  const Reference reference;
  for (Kind kind : {kMode1, kForm1, kForm2})
    for (std::uint32_t seed = 0; seed < 8; ++seed) {
      SCOPED_TRACE("kind " + std::to_string(kind) + ", seed " + std::to_string(seed));
      const Sector s = reference.Encode(kind, seed, seed % 2 == 0);
      Sector checked = s;
      EXPECT_TRUE(reference.Check(checked, kind == kMode1 ? 1 : 2));
      EXPECT_TRUE(checked == s);
      ExpectAgree(reference, s, kind == kMode1 ? 1 : 2);
    }
}

// A burst of 400 bytes from a byte of the subheader is beyond the parity: every such sector is
// refused, whatever bit 0x20 the burst leaves in bytes 18 and 22 (when byte 18 says Form 2, the
// sector's bytes 2348-2351 are Q parity, not the EDC of a Form 2 sector).
TEST(SectorCheckReferenceTest, Form1SectorsWithABurstFromTheSubheader) {
  const Reference reference;
  std::mt19937 random(400);
  int refused = 0, copyOnly = 0, both = 0, firstOnly = 0;
  for (std::uint32_t i = 0; i < 400; ++i) {
    SCOPED_TRACE("sector " + std::to_string(i));
    Sector s = reference.Encode(kForm1, 1000 + i);
    const std::size_t from = 16 + random() % 8;
    for (std::size_t at = from; at < from + 400; ++at)
      Flip(s, at, static_cast<std::uint8_t>(random() % 255 + 1));
    const bool b18 = s[18] & 0x20, b22 = s[22] & 0x20;
    copyOnly += !b18 && b22;
    both += b18 && b22;
    firstOnly += b18 && !b22;
    bool verdict = true;
    ExpectAgree(reference, s, 2, &verdict);
    refused += !verdict;
  }
  EXPECT_EQ(refused, 400);
  // Each way the burst can leave the two bits is among them.
  EXPECT_GT(copyOnly, 0);
  EXPECT_GT(both, 0);
  EXPECT_GT(firstOnly, 0);
}

TEST(SectorCheckReferenceTest, DamageOfKnownShapeByKind) {
  const Reference reference;
  struct Case {
    const char* name;
    Kind kind;
    bool form2Edc;
    std::function<void(Sector&)> damage;
    bool passes;
  } cases[] = {
      {"Mode 1, three bytes", kMode1, true,
       [](Sector& s) {
         Flip(s, 15, 0x80);
         Flip(s, 900, 0x11);
         Flip(s, 2200, 0x42);
       },
       true},
      {"Mode 1, a 400-byte burst", kMode1, true,
       [](Sector& s) {
         for (std::size_t at = 300; at < 700; ++at) Flip(s, at, 0x5A);
       },
       false},
      {"Form 1, byte 18 says Form 2", kForm1, true, [](Sector& s) { Flip(s, 18, 0x20); }, true},
      {"Form 1, byte 22 says Form 2", kForm1, true, [](Sector& s) { Flip(s, 22, 0x20); }, true},
      {"Form 1, both say Form 2", kForm1, true,
       [](Sector& s) {
         Flip(s, 18, 0x20);
         Flip(s, 22, 0x20);
       },
       true},
      {"Form 1, both say Form 2, and a burst", kForm1, true,
       [](Sector& s) {
         for (std::size_t at = 16; at < 816; ++at) Flip(s, at, 0xA5);
       },
       false},
      {"Form 1, byte 22 says Form 2, and a burst", kForm1, true,
       [](Sector& s) {
         Flip(s, 22, 0x20);
         for (std::size_t at = 24; at < 824; ++at) Flip(s, at, 0x3C);
       },
       false},
      {"Form 2, a data byte", kForm2, true, [](Sector& s) { Flip(s, 1200, 0x01); }, false},
      {"Form 2 without EDC, a data byte", kForm2, false, [](Sector& s) { Flip(s, 1200, 0x01); },
       true},
      {"Form 2, its EDC damaged", kForm2, true, [](Sector& s) { Flip(s, 2350, 0x08); }, false},
      {"Form 2 without EDC, byte 22 says Form 1", kForm2, false,
       [](Sector& s) { Flip(s, 22, 0x20); }, true},
      {"Form 2, byte 22 says Form 1", kForm2, true, [](Sector& s) { Flip(s, 22, 0x20); }, false},
      {"Form 2 without EDC, byte 18 says Form 1", kForm2, false,
       [](Sector& s) { Flip(s, 18, 0x20); }, false},
      {"Form 2 without EDC, copies differ, both Form 2", kForm2, false,
       [](Sector& s) { Flip(s, 23, 0x40); }, true},
  };
  for (const Case& c : cases)
    for (std::uint32_t seed = 0; seed < 4; ++seed) {
      SCOPED_TRACE(std::string(c.name) + ", seed " + std::to_string(seed));
      Sector s = reference.Encode(c.kind, 50 + seed, c.form2Edc);
      const Sector good = s;
      c.damage(s);
      bool verdict = !c.passes;
      ExpectAgree(reference, s, c.kind == kMode1 ? 1 : 2, &verdict);
      EXPECT_EQ(verdict, c.passes);
      // Corrected sectors are the ones encoded; Form 2 is taken as it is.
      if (c.passes && c.kind != kForm2) {
        Sector checked = s;
        CHalvorin_EDCECC().CheckLB(checked.data(), c.kind == kMode1 ? 1 : 2);
        EXPECT_TRUE(checked == good);
      }
    }
}

}  // namespace
