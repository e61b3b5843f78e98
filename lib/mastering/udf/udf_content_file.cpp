#include "lib/mastering/udf/udf_content_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "lib/core/halvorin_exception.h"

CHalvorin_UdfContentFile::CHalvorin_UdfContentFile(const HALVORIN_UDF_TREE_ITEM* p__PItem)
    : CHalvorin_DiskFile(NoOpen{}), m__PItem(p__PItem) {
  m__ULONGLONG__SizeInUCHARs = std::uint64_t(p__PItem->m__ULONG__SizeInBlocks) * 2048;
  m__ULONGLONG__DataSizeInUCHARs =
      std::min(p__PItem->m__ULONGLONG__Size, m__ULONGLONG__SizeInUCHARs);
}

void CHalvorin_UdfContentFile::RealRead(std::uint64_t p__ULONGLONG__Count,
                                        std::uint8_t* p__PUCHAR__Buffer) {
  const std::uint64_t position = m__ULONGLONG__PositionInUCHARs;
  if (p__ULONGLONG__Count == 0 || position >= m__ULONGLONG__DataSizeInUCHARs) return;
  if (m__HANDLE__File < 0) {
    const std::string path(m__PItem->m__CHAR__Path,
                           strnlen(m__PItem->m__CHAR__Path, sizeof m__PItem->m__CHAR__Path));
    OpenPath(path.c_str(), "CHalvorin_UdfContentFile::RealRead()");
    if (position && ::lseek(m__HANDLE__File, static_cast<off_t>(position), SEEK_SET) < 0)
      HalvorinI_ThrowException(kHalvorinStatusSystemCall, static_cast<std::uint32_t>(errno),
                               "CHalvorin_DiskFile::SeekToBeginUnsafe(): SetFilePointer() failed, "
                               "status %ld!!!",
                               static_cast<long>(errno));
  }
  CHalvorin_DiskFile::RealRead(p__ULONGLONG__Count, p__PUCHAR__Buffer);
  if (position + p__ULONGLONG__Count >= m__ULONGLONG__DataSizeInUCHARs) CloseHandle();
}

CHalvorin_File* CHalvorin_UdfContentFile::SeekToBeginUnsafe(std::int32_t* p__PLONG__Budget) {
  CloseHandle();  // reopened by the next read
  return CHalvorin_File::SeekToBeginUnsafe(p__PLONG__Budget);
}
