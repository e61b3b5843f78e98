#include "platform/aspi/recorder/coding/vr_lead_in_toc.h"

#include <algorithm>

#include "platform/aspi/recorder/coding/vr_sector_coding.h"

namespace platform::aspi::vr {

namespace {

std::optional<std::uint8_t> FromBcd(std::uint8_t b) {
  if ((b >> 4) > 9 || (b & 15) > 9) return std::nullopt;
  return static_cast<std::uint8_t>((b >> 4) * 10 + (b & 15));
}

bool IsTrackPoint(std::uint8_t point) {
  return point >= 1 && point <= 99;
}

}  // namespace

bool ValidTocPoint(const TocPoint& p) {
  const bool known = IsTrackPoint(p.point) || p.point == 0xA0 || p.point == 0xA1 || p.point == 0xA2;
  return known && p.control <= 15 && p.minute < 100 && p.second < 60 && p.frame < 75;
}

TocFrame AddTocFrame(std::vector<TocPoint>& toc, const QFrame& frame) {
  const auto& q = frame.q;
  if (!frame.crcOk || (q[0] & 0x0F) != 1 || q[1] != 0) return TocFrame::Ignored;
  const auto point = q[2] >= 0xA0 ? std::optional<std::uint8_t>(q[2]) : FromBcd(q[2]);
  // PSEC of A0 is the disc type, a plain code rather than a time.
  const auto second = point == 0xA0 ? std::optional<std::uint8_t>(q[8]) : FromBcd(q[8]);
  const auto minute = FromBcd(q[7]), frameNumber = FromBcd(q[9]);
  if (!point || !minute || !second || !frameNumber) return TocFrame::Ignored;
  const TocPoint p{*point, static_cast<std::uint8_t>(q[0] >> 4), *minute, *second, *frameNumber};
  if (!ValidTocPoint(p)) return TocFrame::Ignored;
  const auto at = std::lower_bound(toc.begin(), toc.end(), p.point,
                                   [](const TocPoint& t, std::uint8_t n) { return t.point < n; });
  if (at != toc.end() && at->point == p.point)
    return *at == p ? TocFrame::Repeated : TocFrame::Contradicts;
  toc.insert(at, p);
  return TocFrame::Added;
}

std::optional<DecodedToc> DecodeToc(const std::vector<TocPoint>& toc, std::int64_t capacity,
                                    std::string* why) {
  auto refuse = [&](const char* reason) -> std::optional<DecodedToc> {
    if (why) *why = reason;
    return std::nullopt;
  };
  auto find = [&](std::uint8_t point) -> const TocPoint* {
    for (const TocPoint& p : toc)
      if (p.point == point) return &p;
    return nullptr;
  };
  const TocPoint *a0 = find(0xA0), *a1 = find(0xA1), *a2 = find(0xA2);
  if (!a0 || !a1 || !a2) return refuse("A0, A1 or A2 missing");
  if (a0->minute != 1) return refuse("first track is not 1");
  if (a1->minute < 1 || a1->minute > 99) return refuse("last track out of range");
  if (a0->second != 0x00 && a0->second != 0x10 && a0->second != 0x20)
    return refuse("unknown disc type");
  DecodedToc d;
  d.discType = a0->second;
  d.leadOut = MsfToLba({a2->minute, a2->second, a2->frame});
  std::int64_t previous = -1;
  for (int n = 1; n <= a1->minute; ++n) {
    const TocPoint* t = find(static_cast<std::uint8_t>(n));
    if (!t) return refuse("track point missing");
    const std::int64_t start = MsfToLba({t->minute, t->second, t->frame});
    if (start <= previous || (n == 1 && start != 0)) return refuse("track starts out of order");
    d.tracks.push_back({n, t->control, start});
    previous = start;
  }
  for (const TocPoint& p : toc)
    if (IsTrackPoint(p.point) && p.point > a1->minute) return refuse("track point past A1");
  if (d.leadOut <= previous || d.leadOut > capacity) return refuse("lead-out out of place");
  return d;
}

}  // namespace platform::aspi::vr
