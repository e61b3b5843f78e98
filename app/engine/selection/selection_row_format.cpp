#include "app/engine/selection/selection_row_format.h"

#include <cstdio>
#include <ctime>

namespace {

std::string Grouped(const std::string& digits) {
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace

std::string FormatRowSize(std::uint64_t size) {
  return Grouped(std::to_string(size));
}

std::string FormatRowTime(std::int64_t unixSec) {
  const std::time_t t = static_cast<std::time_t>(unixSec);
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return std::string();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d::%02d::%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

std::string FormatRowAttributes(const platform::fs::FileInfo& info) {
  std::string out(4, ' ');
  if (info.archive) out[0] = 'A';
  if (info.readOnly) out[1] = 'R';
  if (info.hidden) out[3] = 'H';
  return out;
}

std::string FormatTotalSize(std::uint64_t size) {
  std::string digits = std::to_string(size);
  if (digits.size() < 10) digits.insert(0, 10 - digits.size(), '0');
  return Grouped(digits);
}
