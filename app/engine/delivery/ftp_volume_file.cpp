#include "app/engine/delivery/ftp_volume_file.h"

#include <unistd.h>

#include "platform/fs/fs.h"

TVolumeFile OpenVolumeForUpload(const std::string& posixPath) {
  namespace fs = platform::fs;
  int fd = -1;
  try {
    fs::File file(fs::FromPosix(posixPath), fs::OpenMode::Read);
    fd = file.Release();
  } catch (const fs::FsError&) {
    return nullptr;
  }
  std::FILE* stream = ::fdopen(fd, "rb");
  if (!stream) ::close(fd);
  return TVolumeFile(stream);
}
