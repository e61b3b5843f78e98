#include "lib/mastering/tree/probe_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/fs/fs.h"

CHalvorin_ProbeFolder::CHalvorin_ProbeFolder(const std::string& p__STRING__Path) {
  const auto posix = platform::fs::ToPosix(p__STRING__Path);
  if (!posix || posix->empty()) return;
  m__HANDLE__Folder = ::open(posix->c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (m__HANDLE__Folder < 0) return;
  m__STRING__PosixPrefix = *posix;
  if (m__STRING__PosixPrefix.back() != '/') m__STRING__PosixPrefix += '/';
}

CHalvorin_ProbeFolder::~CHalvorin_ProbeFolder() {
  if (m__HANDLE__Folder >= 0) ::close(m__HANDLE__Folder);
}

int CHalvorin_ProbeFolder::ProbeRead(const std::string& p__STRING__PosixPath) const {
  const std::string& prefix = m__STRING__PosixPrefix;
  if (m__HANDLE__Folder >= 0 && p__STRING__PosixPath.size() > prefix.size() &&
      p__STRING__PosixPath[prefix.size()] != '/' &&
      p__STRING__PosixPath.compare(0, prefix.size(), prefix) == 0) {
    const char* name = p__STRING__PosixPath.c_str() + prefix.size();
    if (!m__STRING__Vouched.empty() && m__STRING__Vouched == name) return 0;
    return ::faccessat(m__HANDLE__Folder, name, R_OK, 0);
  }
  return ::faccessat(AT_FDCWD, p__STRING__PosixPath.c_str(), R_OK, 0);
}
