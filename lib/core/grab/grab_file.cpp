#include "lib/core/grab/grab_file.h"

#include <unistd.h>

#include <cerrno>

#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"

namespace fs = platform::fs;

namespace {

constexpr std::size_t kMaxPath = 260;

}  // namespace

fs::File HalvorinI_CreateGrabFile(const std::string& p__STRING__Path,
                                  const char* p__PCHAR__Method) {
  try {
    return fs::File(p__STRING__Path, fs::OpenMode::CreateAlways);
  } catch (const fs::FsError& e) {
    const int error = e.error() ? e.error() : EIO;
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, static_cast<std::uint32_t>(error),
                             "%s(): CreateFile( '%s' ) failed, status %ld!!!", p__PCHAR__Method,
                             p__STRING__Path.c_str(), static_cast<long>(error));
  }
}

void HalvorinI_WriteGrabFile(fs::File& p__File, const void* p__PVOID__Data,
                             std::uint32_t p__ULONG__Size, const char* p__PCHAR__Method,
                             const std::string& p__STRING__What) {
  ssize_t written;
  do {
    written = ::write(p__File.Descriptor(), p__PVOID__Data, p__ULONG__Size);
  } while (written < 0 && errno == EINTR);
  if (written < 0)
    HalvorinI_ThrowGrabWriteFailure(0, p__ULONG__Size, errno, p__PCHAR__Method, p__STRING__What);
  if (static_cast<std::uint64_t>(written) != p__ULONG__Size)
    HalvorinI_ThrowGrabWriteFailure(static_cast<std::uint32_t>(written), p__ULONG__Size, 0,
                                    p__PCHAR__Method, p__STRING__What);
}

void HalvorinI_ThrowGrabWriteFailure(std::uint32_t p__ULONG__Written, std::uint32_t p__ULONG__Size,
                                     int p__LONG__Error, const char* p__PCHAR__Method,
                                     const std::string& p__STRING__What) {
  if (p__LONG__Error && p__ULONG__Written == 0)
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, static_cast<std::uint32_t>(p__LONG__Error),
                             "%s(): WriteFile(%s) failed, status %ld!!!", p__PCHAR__Method,
                             p__STRING__What.c_str(), static_cast<long>(p__LONG__Error));
  HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                           "%s(): WriteFile(%s) wrote %ld UCHARs instead of %ld UCHARs!!!",
                           p__PCHAR__Method, p__STRING__What.c_str(),
                           static_cast<long>(p__ULONG__Written), static_cast<long>(p__ULONG__Size));
}

void HalvorinI_FlushGrabFile(fs::File& p__File, const char* p__PCHAR__Method) {
  try {
    p__File.Flush();
  } catch (const fs::FsError& e) {
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, static_cast<std::uint32_t>(e.error()),
                             "%s(): FlushFileBuffers() failed, status %ld!!!", p__PCHAR__Method,
                             static_cast<long>(e.error()));
  }
}

CHalvorin_GrabFile::~CHalvorin_GrabFile() {
  if (m__BOOLEAN__IsKept) return;
  try {
    if (m__File.IsOpen()) m__File.Close();
  } catch (const fs::FsError&) {
    // The file goes all the same.
  }
  if (!fs::DeleteFile(m__STRING__Path))
    DebugTrace(
        "\nCHalvorin_GrabFile::~CHalvorin_GrabFile(): WARNING! DeleteFile( '%s' ) failed!!!\n",
        m__STRING__Path.c_str());
}

void CHalvorin_GrabFile::Keep(const char* p__PCHAR__Method) {
  try {
    m__File.Close();
  } catch (const fs::FsError& e) {
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, static_cast<std::uint32_t>(e.error()),
                             "%s(): CloseHandle( '%s' ) failed, status %ld!!!", p__PCHAR__Method,
                             m__STRING__Path.c_str(), static_cast<long>(e.error()));
  }
  m__BOOLEAN__IsKept = true;
}

std::uint32_t HalvorinI_GetFullPathName(const char* p__PCHAR__Name, std::string* p__PSTRING__Path) {
  if (!p__PCHAR__Name) return EINVAL;
  std::string full;
  try {
    full = fs::FullPathName(p__PCHAR__Name);
  } catch (const fs::FsError& e) {
    return e.error() ? static_cast<std::uint32_t>(e.error()) : static_cast<std::uint32_t>(EINVAL);
  }
  if (full.size() >= kMaxPath) return ENAMETOOLONG;
  *p__PSTRING__Path = std::move(full);
  return 0;
}
