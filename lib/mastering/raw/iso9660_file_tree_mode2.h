// A cooked source read as 2336-byte Mode 2 units (subheader 00 00 00 00 twice, the 2048-byte
// block, zeros), for session-at-once XA writing. It reads the source's files from where the
// source stands and owns none of them: the source outlives the view. A source that is no
// whole number of blocks ends in a last unit whose block is padded with zeros: no byte of the
// source is left out.
#pragma once

#include <cstdint>

#include "lib/mastering/iso9660/iso9660_file_tree.h"

class CHalvorin_ISO9660FileTreeMode2 : public CHalvorin_ISO9660FileTree {
 public:
  explicit CHalvorin_ISO9660FileTreeMode2(CHalvorin_FileChain* p__PCHalvorin_FileChain__Source);

  // Whole units only: count / 2336 of them; the bytes past the last whole unit stay as they are.
  void Read(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;
  // The source's blocks, the last partial one counted, × 2336.
  std::uint64_t GetSizeInUCHARs() override;

 protected:
  void ChainRewound() override;

 private:
  // Source bytes the view stands past: a read that reaches into the last block takes only the
  // bytes the source still has.
  std::uint64_t m__ULONGLONG__SourcePosition = 0;
};
