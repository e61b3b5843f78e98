// The image of a UDF object, read as a file tree's: a tree without nodes whose chain holds
// the head, the system structures, the readers of the files and the tail. It owns all of them;
// the head and tail blocks are the caller's.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "lib/mastering/iso9660/iso9660_file_tree.h"

class CHalvorin_UDFImageTree : public CHalvorin_ISO9660FileTree {
 public:
  CHalvorin_UDFImageTree() : CHalvorin_ISO9660FileTree(nullptr, nullptr, false, false, false) {}

  // Appends a reader the image owns; null readers are refused.
  CHalvorin_File* Own(std::unique_ptr<CHalvorin_File> p__PCHalvorin_File__File);
  // Chains the owned readers in the order they were owned and marks the image built.
  void Master();

  // The bridge's VIDEO_TS directory when it takes more than one sector: it then lies in the
  // partition after the last file's content (see HalvorinI_UdfBuild).
  std::vector<std::uint8_t> m__VECTOR__VideoTsDirectory;

 private:
  std::vector<std::unique_ptr<CHalvorin_File>> m__VECTOR__Files;
};
