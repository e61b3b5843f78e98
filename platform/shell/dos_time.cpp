#include <ctime>

#include "platform/shell/shell.h"
#include "platform/shell/time_zone.h"

namespace platform::shell {

std::uint32_t DosTimeFromUnix(std::int64_t sec) {
  FollowTimeZone();
  const auto t = static_cast<time_t>(sec);
  struct tm lt {};
  if (!localtime_r(&t, &lt)) return 0;
  const int year = lt.tm_year + 1900;
  if (year < 1980) return 0;
  if (year > 2107) return 0xFF9FBF7Du;  // the last time the 7-bit year holds: 2107-12-31 23:59:58
  return static_cast<std::uint32_t>(year - 1980) << 25 |
         static_cast<std::uint32_t>(lt.tm_mon + 1) << 21 |
         static_cast<std::uint32_t>(lt.tm_mday) << 16 |
         static_cast<std::uint32_t>(lt.tm_hour) << 11 | static_cast<std::uint32_t>(lt.tm_min) << 5 |
         static_cast<std::uint32_t>(lt.tm_sec / 2);
}

std::int64_t UnixFromDosTime(std::uint32_t dosTime) {
  struct tm lt {};
  lt.tm_year = static_cast<int>(dosTime >> 25) + 80;
  // A zero month or day (as in a zero time) is read as the first.
  const int month = static_cast<int>(dosTime >> 21 & 0x0F);
  const int day = static_cast<int>(dosTime >> 16 & 0x1F);
  lt.tm_mon = month == 0 ? 0 : month - 1;
  lt.tm_mday = day == 0 ? 1 : day;
  lt.tm_hour = static_cast<int>(dosTime >> 11 & 0x1F);
  lt.tm_min = static_cast<int>(dosTime >> 5 & 0x3F);
  lt.tm_sec = static_cast<int>(dosTime & 0x1F) * 2;
  lt.tm_isdst = -1;
  return static_cast<std::int64_t>(mktime(&lt));
}

}  // namespace platform::shell
