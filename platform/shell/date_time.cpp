#include <cmath>
#include <ctime>

#include "platform/shell/shell.h"
#include "platform/shell/time_zone.h"

namespace platform::shell {
namespace {

// Day numbers relative to 1970-01-01 in the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

constexpr std::int64_t kEpochOffsetDays = 25569;  // 1899-12-30 .. 1970-01-01
// Years 0001 .. 9999, the range the date type covers.
constexpr double kMinDateTime = -693593.0;
constexpr double kMaxDateTime = 2958466.0;

}  // namespace

double DateTimeFromUnix(std::int64_t sec, std::int32_t nsec) {
  FollowTimeZone();
  const auto t = static_cast<time_t>(sec);
  struct tm lt {};
  if (!localtime_r(&t, &lt)) return 0.0;
  const std::int64_t days =
      DaysFromCivil(static_cast<std::int64_t>(lt.tm_year) + 1900,
                    static_cast<unsigned>(lt.tm_mon + 1), static_cast<unsigned>(lt.tm_mday)) +
      kEpochOffsetDays;
  const double secOfDay = lt.tm_hour * 3600.0 + lt.tm_min * 60.0 + lt.tm_sec + nsec / 1e9;
  const double frac = secOfDay / 86400.0;
  // Before the base day the whole days count backwards while the time of day does not:
  // 29 Dec 1899 06:00 is -1.25.
  return days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
}

std::int64_t UnixFromDateTime(double dateTime) {
  if (!std::isfinite(dateTime)) return 0;
  dateTime = std::fmin(std::fmax(dateTime, kMinDateTime), kMaxDateTime);
  double whole = std::trunc(dateTime);
  double frac = std::fabs(dateTime - whole);
  auto secOfDay = static_cast<std::int64_t>(std::llround(frac * 86400.0));
  auto days = static_cast<std::int64_t>(whole);
  if (secOfDay >= 86400) {  // rounded up into the next day
    secOfDay -= 86400;
    ++days;  // 24:00 is the next day's midnight, whatever the sign
  }
  std::int64_t y;
  unsigned m, d;
  CivilFromDays(days - kEpochOffsetDays, y, m, d);
  struct tm lt {};
  lt.tm_year = static_cast<int>(y - 1900);
  lt.tm_mon = static_cast<int>(m) - 1;
  lt.tm_mday = static_cast<int>(d);
  lt.tm_hour = static_cast<int>(secOfDay / 3600);
  lt.tm_min = static_cast<int>(secOfDay / 60 % 60);
  lt.tm_sec = static_cast<int>(secOfDay % 60);
  lt.tm_isdst = -1;  // let the zone decide whether daylight saving applies then
  return static_cast<std::int64_t>(mktime(&lt));
}

double Now() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return DateTimeFromUnix(ts.tv_sec, static_cast<std::int32_t>(ts.tv_nsec));
}

}  // namespace platform::shell
