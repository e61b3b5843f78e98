#include <locale.h>
#include <time.h>

#include <memory>
#include <type_traits>

#include "platform/shell/shell.h"

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

}  // namespace

std::string FormatShortDateLongTime(std::int64_t sec) {
  tzset();
  const auto t = static_cast<time_t>(sec);
  struct tm lt {};
  if (!localtime_r(&t, &lt)) return {};
  const LocalePtr loc = UserTimeLocale();
  char buf[256];
  size_t n = loc ? strftime_l(buf, sizeof buf, "%x %X", &lt, loc.get())
                 : strftime(buf, sizeof buf, "%x %X", &lt);
  return std::string(buf, n);
}

}  // namespace platform::shell
