// An archive volume opened for an FTP upload through the file layer: a regular file only, and
// the open never waits on the name (a FIFO or a device put in a volume's place is refused), as
// a stdio stream the transfer reads.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

struct TFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using TVolumeFile = std::unique_ptr<std::FILE, TFileCloser>;

// Null when the volume cannot be opened for reading or is no regular file.
TVolumeFile OpenVolumeForUpload(const std::string& posixPath);
