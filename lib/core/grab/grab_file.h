// The files a grab writes: created anew, written one record or transfer per system call, and
// removed again when the grab fails.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/fs/fs.h"

// Creates (or truncates) the file for writing; exception 5 "<method>(): CreateFile( '%s' )
// failed, status %ld!!!" with the system error.
platform::fs::File HalvorinI_CreateGrabFile(const std::string& p__STRING__Path,
                                            const char* p__PCHAR__Method);
// One write of `size` bytes: exception 5 "<method>(): WriteFile(<what>) failed, status %ld!!!",
// or exception 10 "... wrote %ld UCHARs instead of %ld UCHARs!!!" for a short write. `what` is
// "" or the record's name with a blank on either side.
void HalvorinI_WriteGrabFile(platform::fs::File& p__File, const void* p__PVOID__Data,
                             std::uint32_t p__ULONG__Size, const char* p__PCHAR__Method,
                             const std::string& p__STRING__What);
// The exception of a write of `size` bytes that stopped after `written` of them: 5 with the
// system error when it was refused before its first byte, else 10 for the write cut short.
[[noreturn]] void HalvorinI_ThrowGrabWriteFailure(std::uint32_t p__ULONG__Written,
                                                  std::uint32_t p__ULONG__Size, int p__LONG__Error,
                                                  const char* p__PCHAR__Method,
                                                  const std::string& p__STRING__What);
// FlushFileBuffers: exception 5 "<method>(): FlushFileBuffers() failed, status %ld!!!".
void HalvorinI_FlushGrabFile(platform::fs::File& p__File, const char* p__PCHAR__Method);

// A file of a grab that removes itself unless it is kept: a failed grab leaves nothing of it.
class CHalvorin_GrabFile {
 public:
  CHalvorin_GrabFile(std::string p__STRING__Path, const char* p__PCHAR__Method)
      : m__STRING__Path(std::move(p__STRING__Path)),
        m__File(HalvorinI_CreateGrabFile(m__STRING__Path, p__PCHAR__Method)) {}
  ~CHalvorin_GrabFile();
  CHalvorin_GrabFile(const CHalvorin_GrabFile&) = delete;
  CHalvorin_GrabFile& operator=(const CHalvorin_GrabFile&) = delete;

  platform::fs::File& File() { return m__File; }
  const std::string& Path() const { return m__STRING__Path; }
  // Closes it for good: exception 5 when the close reports a failed write.
  void Keep(const char* p__PCHAR__Method);

 private:
  std::string m__STRING__Path;
  platform::fs::File m__File;
  bool m__BOOLEAN__IsKept = false;
};

// The full path of a name as GetFullPathName makes it (platform::fs::FullPathName: every '/'
// taken as '\', a relative name from the current folder). 0, or the system error:
// EINVAL for a name of another drive or none at all, ENAMETOOLONG when the path does not fit
// 260 characters with its terminator.
std::uint32_t HalvorinI_GetFullPathName(const char* p__PCHAR__Name, std::string* p__PSTRING__Path);
