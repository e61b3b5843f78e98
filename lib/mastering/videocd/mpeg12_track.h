// The MPEG track of a VideoCD or Super VideoCD disc: 30 empty Mode 2 Form 2 units, the MPEG
// file cut into 2332-byte units (its last payload padded), 30 empty units. The Mode 2 view
// reads it as 2336-byte units for session-at-once writing.
#pragma once

#include <cstdint>
#include <memory>

#include "lib/mastering/iso9660/iso9660_file_tree.h"
#include "lib/mastering/tree/file_objects.h"

inline constexpr std::uint64_t kHalvorinMPEG12PaddingUnits = 30;

class CHalvorin_MPEG12Track : public CHalvorin_ISO9660FileTree {
 public:
  // Status 5 when the file cannot be opened, 4 without memory.
  explicit CHalvorin_MPEG12Track(const char* p__PCHAR__MPEGPath);
  ~CHalvorin_MPEG12Track() override;

 private:
  std::unique_ptr<CHalvorin_MPEG12ZeroFile> m__PCHalvorin_MPEG12ZeroFile__FrontSide;
  std::unique_ptr<CHalvorin_MPEG12DiskFile> m__PCHalvorin_MPEG12DiskFile;
  std::unique_ptr<CHalvorin_MPEG12ZeroFile> m__PCHalvorin_MPEG12ZeroFile__BackSide;
};

// 2336-byte units: the subheader twice, the 2324 payload bytes, 4 zeros.
class CHalvorin_MPEG12TrackMode2 : public CHalvorin_MPEG12Track {
 public:
  using CHalvorin_MPEG12Track::CHalvorin_MPEG12Track;
  void Read(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;
  std::uint64_t GetSizeInUCHARs() override;
};
