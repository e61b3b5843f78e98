#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>

#include "platform/shell/shell.h"

namespace platform::shell {

std::string NewGuidText() {
  std::uint8_t b[16];
  size_t got = 0;
  while (got < sizeof b) {
    const ssize_t n = getrandom(b + got, sizeof b - got, 0);
    if (n > 0) {
      got += static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      // No kernel source: the library's generator still gives distinct identities.
      std::random_device device;
      for (auto& byte : b) byte = static_cast<std::uint8_t>(device());
      break;
    }
  }
  b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);  // version 4: random
  b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);  // the standard variant
  char text[39];
  std::snprintf(text, sizeof text,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[0],
                b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15]);
  return text;
}

}  // namespace platform::shell
