#include "platform/shell/time_zone.h"

#include <cstdlib>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>

namespace platform::shell {
namespace {

std::mutex zoneMutex;
bool zoneRead = false;
std::optional<std::string> zoneName;  // TZ at the last tzset; none when unset

}  // namespace

void FollowTimeZone() {
  const char* tz = std::getenv("TZ");
  std::lock_guard lock(zoneMutex);
  const std::optional<std::string> now = tz ? std::optional<std::string>(tz) : std::nullopt;
  if (zoneRead && now == zoneName) return;
  tzset();
  zoneRead = true;
  zoneName = now;
}

}  // namespace platform::shell
