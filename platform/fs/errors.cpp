#include <cstring>

#include "platform/fs/internal.h"

namespace platform::fs::detail {

void ThrowErrno(std::string_view what, std::string_view path, int err) {
  std::string text(what);
  text += ' ';
  text += path;
  text += ": ";
  text += std::strerror(err);
  throw FsError(text, err);
}

}  // namespace platform::fs::detail
