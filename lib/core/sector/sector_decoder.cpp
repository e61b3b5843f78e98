#include "lib/core/sector/sector_decoder.h"

#include <cstring>

#include "lib/core/sector/sector_check.h"
#include "lib/core/sector/sector_coding_tables.h"
#include "lib/core/sector/sector_edc.h"
#include "lib/core/sector/sector_encoder.h"
#include "lib/core/sector/sector_helpers.h"

namespace {

constexpr int kBodySize = static_cast<int>(kHalvorinSectorBodySize);  // from the header on
constexpr int kQArea = 2 * static_cast<int>(kHalvorinQAreaWords);     // 2236: header to P parity
constexpr int kIterations = 15;
constexpr int kChangesPerByte = 16;

// P codewords are numbered 2k + c (word column k, byte column c), Q codewords 2m + c.
enum Kind { kP = 0, kQ = 1 };
constexpr int kCodewords[2] = {86, 52};
constexpr int kLength[2] = {26, 45};

// Body offset of position j of a codeword.
int Offset(Kind kind, int codeword, int j) {
  const int pair = codeword / 2, column = codeword % 2;
  if (kind == kP) return 2 * (43 * j + pair) + column;
  if (j < 43) return 2 * kHalvorinQWordIndex[j][pair] + column;
  return kQArea + 52 * (j - 43) + 2 * pair + column;
}

// The P codeword through a body byte (below 2236) and the Q codeword through any body byte.
int PCodewordOf(int offset) {
  return 2 * ((offset / 2) % 43) + offset % 2;
}
int QCodewordOf(int offset) {
  if (offset >= kQArea) return (offset - kQArea) % 52;
  const int word = offset / 2, row = word / 43, n = word % 43;
  return 2 * ((row - n + 52) % 26) + offset % 2;
}

enum class Outcome { Clean, Corrected, Failed };

struct PassResult {
  bool corrected = false;
  bool failed = false;
};

class Corrector {
 public:
  Corrector(std::uint8_t* sector, std::int32_t type, bool marking)
      : sector_(sector), body_(sector + 12), type_(type), marking_(marking) {}

  std::uint8_t* Erasures() { return erased_; }

  bool EdcGood() const {
    return type_ == kHalvorinDecodeTypeMode1 ? HalvorinI_Edc(0, sector_, 2068) == 0
                                             : HalvorinI_Edc(0, sector_ + 16, 2060) == 0;
  }

  // The sector's EDC was right before any pass.
  std::int32_t FinishIntact() {
    if (CheckECCP(sector_) && CheckECCQ(sector_)) return kHalvorinDecodeIntact;
    return FinishCorrected();
  }

  std::int32_t Run() {
    bool previousQFailed = false;
    for (int iteration = 0; iteration < kIterations; ++iteration) {
      if (iteration > 0 && EdcGood()) return FinishCorrected();
      const PassResult p = Pass(kP, iteration == 0);
      if (p.corrected && !p.failed && EdcGood()) return FinishCorrected();
      if (iteration > 0 && !p.failed && !previousQFailed) LookAtAll();
      const PassResult q = Pass(kQ, iteration == 0);
      previousQFailed = q.failed;
      const bool marked = q.failed && marking_ && MarkErasures();
      // Another pass is worth it while erasures are new or bytes were corrected.
      if (!marked && !p.corrected && !q.corrected) break;
    }
    return EdcGood() ? FinishCorrected() : kHalvorinDecodeUncorrectable;
  }

 private:
  std::int32_t FinishCorrected() {
    if (type_ == kHalvorinDecodeTypeMode1) std::memset(sector_ + 2068, 0, 8);
    EncodeSectorEccP(body_);
    EncodeSectorEccQ(body_);
    return kHalvorinDecodeCorrected;
  }

  // A = sum of the codeword, B = sum of c_j α^(L-1-j); both 0 for a valid codeword.
  void Syndromes(Kind kind, int codeword, std::uint8_t* a, std::uint8_t* b) const {
    std::uint8_t s0 = 0, s1 = 0;
    for (int j = 0; j < kLength[kind]; ++j) {
      const std::uint8_t v = body_[Offset(kind, codeword, j)];
      s0 ^= v;
      s1 = HalvorinI_GfTimesAlpha(s1) ^ v;
    }
    *a = s0;
    *b = s1;
  }

  bool HasErasures(Kind kind, int codeword) const {
    for (int j = 0; j < kLength[kind]; ++j)
      if (erased_[Offset(kind, codeword, j)]) return true;
    return false;
  }

  bool HasChanges(Kind kind, int codeword) const {
    for (int j = 0; j < kLength[kind]; ++j)
      if (changes_[Offset(kind, codeword, j)]) return true;
    return false;
  }

  // Clean and untouched: a codeword that a correction made consistent may itself be a
  // miscorrection, and vouches for none of its bytes.
  bool IsClean(Kind kind, int codeword) const {
    if (failed_[kind][codeword] || HasErasures(kind, codeword) || HasChanges(kind, codeword))
      return false;
    std::uint8_t a = 0, b = 0;
    Syndromes(kind, codeword, &a, &b);
    return !a && !b;
  }

  // The codeword is consistent: nothing in it is in doubt any more.
  void Settle(Kind kind, int codeword) {
    failed_[kind][codeword] = false;
    look_[kind][codeword] = false;
    for (int j = 0; j < kLength[kind]; ++j) erased_[Offset(kind, codeword, j)] = 0;
  }

  Outcome Fail(Kind kind, int codeword) {
    failed_[kind][codeword] = true;
    look_[kind][codeword] = false;
    return Outcome::Failed;
  }

  // One error anywhere, or up to two at erased positions (two check symbols).
  Outcome Decode(Kind kind, int codeword) {
    const int length = kLength[kind];
    std::uint8_t a = 0, b = 0;
    Syndromes(kind, codeword, &a, &b);
    if (!a && !b) {
      Settle(kind, codeword);
      return Outcome::Clean;
    }
    int erasedAt[2] = {}, erasures = 0;
    for (int j = 0; j < length; ++j) {
      if (!erased_[Offset(kind, codeword, j)]) continue;
      if (erasures == 2) return Fail(kind, codeword);
      erasedAt[erasures++] = j;
    }
    int at[2] = {};
    std::uint8_t value[2] = {};
    int fixes = 0;
    const auto locator = [&](int j) { return kHalvorinGfExp[length - 1 - j]; };
    if (erasures == 2) {
      const std::uint8_t x1 = locator(erasedAt[0]), x2 = locator(erasedAt[1]);
      value[0] = HalvorinI_GfDivide(b ^ HalvorinI_GfMultiply(a, x2), x1 ^ x2);
      value[1] = a ^ value[0];
      at[0] = erasedAt[0], at[1] = erasedAt[1], fixes = 2;
    } else if (erasures == 1) {
      if (b != HalvorinI_GfMultiply(a, locator(erasedAt[0]))) return Fail(kind, codeword);
      at[0] = erasedAt[0], value[0] = a, fixes = 1;
    } else {
      if (!a || !b) return Fail(kind, codeword);
      const int power = (kHalvorinGfLog[b] - kHalvorinGfLog[a] + 255) % 255;
      if (power > length - 1) return Fail(kind, codeword);
      at[0] = length - 1 - power, value[0] = a, fixes = 1;
      // A single error the crossing codeword does not see is a miscorrection.
      const int offset = Offset(kind, codeword, at[0]);
      if (kind == kP ? IsClean(kQ, QCodewordOf(offset))
                     : offset < kQArea && IsClean(kP, PCodewordOf(offset)))
        return Fail(kind, codeword);
    }
    for (int i = 0; i < fixes; ++i)
      if (value[i] && changes_[Offset(kind, codeword, at[i])] >= kChangesPerByte)
        return Fail(kind, codeword);
    for (int i = 0; i < fixes; ++i) {
      if (!value[i]) continue;
      const int offset = Offset(kind, codeword, at[i]);
      body_[offset] ^= value[i];
      ++changes_[offset];
      if (kind == kQ && offset < kQArea) look_[kP][PCodewordOf(offset)] = true;
      if (kind == kP) look_[kQ][QCodewordOf(offset)] = true;
    }
    Settle(kind, codeword);
    return Outcome::Corrected;
  }

  PassResult Pass(Kind kind, bool all) {
    PassResult result;
    for (int codeword = 0; codeword < kCodewords[kind]; ++codeword) {
      if (!all && !failed_[kind][codeword] && !look_[kind][codeword] &&
          !HasErasures(kind, codeword))
        continue;
      const Outcome outcome = Decode(kind, codeword);
      result.corrected |= outcome == Outcome::Corrected;
      result.failed |= outcome == Outcome::Failed;
    }
    return result;
  }

  void LookAtAll() {
    for (int kind = 0; kind < 2; ++kind)
      for (int codeword = 0; codeword < kCodewords[kind]; ++codeword) look_[kind][codeword] = true;
  }

  bool Mark(int offset) {
    if (erased_[offset]) return false;
    erased_[offset] = 1;
    return true;
  }

  // Per byte column: where failed P codewords cross failed Q codewords (at most two of them,
  // so that each P codeword gets no more erasures than it can fill); with no failed P codeword,
  // the Q parity bytes of the failed Q codewords.
  bool MarkErasures() {
    bool marked = false;
    for (int column = 0; column < 2; ++column) {
      int failedP = 0, failedQ = 0;
      for (int l = 0; l < 43; ++l) failedP += failed_[kP][2 * l + column];
      for (int m = 0; m < 26; ++m) failedQ += failed_[kQ][2 * m + column];
      if (failedQ == 0 || (failedQ > 2 && failedP > 0)) continue;
      for (int m = 0; m < 26; ++m) {
        if (!failed_[kQ][2 * m + column]) continue;
        if (failedP == 0) {
          marked |= Mark(Offset(kQ, 2 * m + column, 43));
          marked |= Mark(Offset(kQ, 2 * m + column, 44));
          continue;
        }
        for (int l = 0; l < 43; ++l)
          if (failed_[kP][2 * l + column])
            marked |=
                Mark(2 * ((43 * m + 44 * l) % static_cast<int>(kHalvorinQAreaWords)) + column);
      }
    }
    return marked;
  }

  std::uint8_t* sector_;
  std::uint8_t* body_;
  std::int32_t type_;
  bool marking_;
  std::uint8_t erased_[kBodySize] = {};
  std::uint8_t changes_[kBodySize] = {};
  bool failed_[2][86] = {};
  bool look_[2][86] = {};
};

}  // namespace

std::int32_t DecodeSector(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Type) {
  return DecodeSector(p__PUCHAR__Sector, p__LONG__Type, nullptr, false);
}

std::int32_t DecodeSector(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Type,
                          std::uint8_t* p__PUCHAR__Erasures, bool p__BOOLEAN__IsMarkingOff) {
  if (p__LONG__Type != kHalvorinDecodeTypeMode1 && p__LONG__Type != kHalvorinDecodeTypeMode2Form1)
    return kHalvorinDecodeUnsupported;
  const bool isForm1 = p__LONG__Type == kHalvorinDecodeTypeMode2Form1;
  std::uint8_t work[kHalvorinRawSectorSize];
  std::memcpy(work, p__PUCHAR__Sector, sizeof work);
  SetSectorSync(work);
  if (isForm1) std::memset(work + 12, 0, 4);
  Corrector corrector(work, p__LONG__Type, !p__BOOLEAN__IsMarkingOff);
  if (p__PUCHAR__Erasures)
    for (int i = 0; i < kBodySize; ++i) corrector.Erasures()[i] = p__PUCHAR__Erasures[12 + i] != 0;
  std::int32_t result;
  if (corrector.EdcGood()) {
    if (p__PUCHAR__Erasures) {
      if (isForm1)
        std::memset(p__PUCHAR__Erasures + 16, 0, 2060);
      else
        std::memset(p__PUCHAR__Erasures, 0, 2068);
    }
    result = corrector.FinishIntact();
  } else {
    result = corrector.Run();
  }
  if (result == kHalvorinDecodeUncorrectable) return result;
  std::memcpy(p__PUCHAR__Sector, work, 12);
  if (!isForm1) std::memcpy(p__PUCHAR__Sector + 12, work + 12, 4);
  std::memcpy(p__PUCHAR__Sector + 16, work + 16, sizeof work - 16);
  return result;
}
