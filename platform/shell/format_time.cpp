#include <locale.h>
#include <time.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

#include "platform/shell/shell.h"
#include "platform/shell/time_zone.h"

namespace platform::shell {
namespace {

struct LocaleFree {
  void operator()(locale_t l) const { freelocale(l); }
};
using LocalePtr = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleFree>;

// The user's LC_TIME as the environment names it (LC_ALL, LC_TIME, LANG), without touching
// the process locale; "C" when that locale is not installed.
LocalePtr UserTimeLocale() {
  locale_t l = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (!l) l = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
  return LocalePtr(l);
}

// The name newlocale("") takes LC_TIME from.
std::string UserTimeLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"})
    if (const char* v = std::getenv(variable); v && *v) return v;
  return {};
}

// Every log line carries a time: the locale is loaded once for each name the environment
// gives, not for every line (loading maps and unmaps the locale files).
std::mutex cacheMutex;
std::string cachedName;
LocalePtr cachedLocale;

}  // namespace

std::string FormatShortDateLongTime(std::int64_t sec) {
  FollowTimeZone();
  const auto t = static_cast<time_t>(sec);
  struct tm lt {};
  if (!localtime_r(&t, &lt)) return {};
  std::lock_guard lock(cacheMutex);
  const std::string name = UserTimeLocaleName();
  if (!cachedLocale || name != cachedName) {
    cachedLocale = UserTimeLocale();
    cachedName = name;
  }
  char buf[256];
  size_t n = cachedLocale ? strftime_l(buf, sizeof buf, "%x %X", &lt, cachedLocale.get())
                          : strftime(buf, sizeof buf, "%x %X", &lt);
  return std::string(buf, n);
}

}  // namespace platform::shell
