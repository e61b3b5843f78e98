// Lines of a LIST reply from an FTP server, as the folder chooser reads them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/engine/delivery/ftp_listing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    TFtpListEntry entry;
    ParseFtpListLine(text.substr(from, end - from), entry);
    from = end + 1;
  }
  return 0;
}
