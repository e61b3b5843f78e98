// A cooked source read as 2336-byte Mode 2 units (subheader 00 00 00 00 twice, the 2048-byte
// block, zeros), for session-at-once XA writing. It reads the source's files from where the
// source stands and owns none of them: the source outlives the view.
#pragma once

#include <cstdint>

#include "lib/mastering/iso9660/iso9660_file_tree.h"

class CHalvorin_ISO9660FileTreeMode2 : public CHalvorin_ISO9660FileTree {
 public:
  explicit CHalvorin_ISO9660FileTreeMode2(CHalvorin_FileChain* p__PCHalvorin_FileChain__Source);

  // Whole units only: count / 2336 of them; the bytes past the last whole unit stay as they are.
  void Read(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;
  // (source size / 2048) × 2336.
  std::uint64_t GetSizeInUCHARs() override;
};
