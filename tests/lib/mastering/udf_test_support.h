// Helpers of the UDF tests: tree items formatted from a folder through the exports, the image
// made from them and read into a file, and the image's blocks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "halvorin.h"
#include "tests/support/temp_dir.h"

namespace udftest {

using Item = HALVORIN_UDF_TREE_ITEM;

inline std::string Win(const std::string& posix) {
  std::string s = "Z:" + posix;
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

// Items that never move once formatted (the links point into the array).
class Items {
 public:
  explicit Items(std::size_t capacity) : items_(capacity) {}
  Item* Next() {
    EXPECT_LT(used_, items_.size());
    return &items_.at(used_++);
  }
  Item* Data() { return items_.data(); }
  uint32_t Count() const { return static_cast<uint32_t>(used_); }

 private:
  std::vector<Item> items_;
  std::size_t used_ = 0;
};

// A folder under `parent`, then its folders and files in name order; the first failing status.
inline uint32_t FormatFolder(Items& items, const std::string& folder, Item* parent, Item** made,
                             const std::string& name = "ROOT") {
  Item* dir = items.Next();
  *made = dir;
  if (uint32_t s = Halvorin_UDF_FormatTreeItemAsDirectory(dir, items.Count(), name.c_str(), parent))
    return s;
  std::vector<std::filesystem::path> entries;
  for (const auto& e : std::filesystem::directory_iterator(folder)) entries.push_back(e.path());
  std::sort(entries.begin(), entries.end());
  for (const auto& p : entries) {
    Item* kid = nullptr;
    uint32_t s = 0;
    if (std::filesystem::is_directory(p)) {
      s = FormatFolder(items, p.string(), dir, &kid, p.filename().string());
    } else {
      kid = items.Next();
      s = Halvorin_UDF_FormatTreeItemAsFile(kid, items.Count(), p.filename().string().c_str(),
                                            Win(p.string()).c_str(), dir);
    }
    if (s) return s;
  }
  return 0;
}

// The image of a UDF object: its blocks, head and tail, read into a file.
class Image {
 public:
  explicit Image(bool bridge)
      : head(bridge ? HALVORIN_UDF_BRIDGE_HEAD_SIZE : HALVORIN_UDF_HEAD_SIZE),
        tail(HALVORIN_UDF_TAIL_SIZE) {}
  ~Image() { Destroy(); }

  HALVORIN_STATUS Create(Item* root, Item* video, Item* audio, const char* label) {
    return Halvorin_UDF_Create(head.data(), static_cast<uint32_t>(head.size()), tail.data(),
                               static_cast<uint32_t>(tail.size()), nullptr, root, video, audio,
                               &object, text, sizeof text, &error, label);
  }
  uint64_t Size() {
    uint32_t high = 0;
    const uint32_t low =
        Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(object.m__PVOID__Tree, &high);
    return (uint64_t(high) << 32) | low;
  }
  // The whole image in chunks of odd sizes.
  HALVORIN_STATUS Write(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    const int32_t chunks[] = {2048, 1, 4095, 1000003, 65536, 777};
    uint64_t left = Size();
    for (size_t i = 0; left > 0; ++i) {
      const int32_t n = static_cast<int32_t>(std::min<uint64_t>(left, chunks[i % 6]));
      if (HALVORIN_STATUS s = Halvorin_ISO9660JolietFileTree_Read(
              object.m__PVOID__Tree, text, sizeof text, &error, n, buffer.data()))
        return s;
      out.write(buffer.data(), n);
      left -= uint64_t(n);
    }
    return out ? 0 : HALVORIN_STATUS_GENERAL_FAILURE;
  }
  void Destroy(Item* root = nullptr) {
    if (object.m__PVOID__Tree) Halvorin_UDF_Destroy(root, &object);
  }

  std::vector<uint8_t> head, tail;
  HALVORIN_UDF_OBJECT object{};
  char text[512] = {};
  uint32_t error = 0;
};

// The ISO9660 descriptors pycdlib needs in front of a pure UDF image (udf_walk.py --pure): an
// image of one small file, whose path tables and root lie in sectors 21-23, written to `path`.
inline std::string EmptyIso(const std::string& path) {
  void* tree = nullptr;
  char text[256];
  uint32_t error = 0;
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &error, nullptr,
                                                  nullptr, 0, 0, 0, 0),
            0u);
  static const char one[] = "A";
  void* parent = nullptr;
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_AddMemory(tree, text, sizeof text, &error, one, 1, 0,
                                                     "A", 2, &parent),
            0u);
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &error, 0, 0, 0, "X",
                                                      nullptr, nullptr),
            0u);
  std::vector<char> bytes(25 * 2048);
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_Read(tree, text, sizeof text, &error,
                                                static_cast<int32_t>(bytes.size()), bytes.data()),
            0u);
  Halvorin_Destroy(&tree);
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  return path;
}

inline uint32_t LE32(const std::string& bytes, std::size_t at) {
  return uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8 | uint8_t(bytes[at + 2]) << 16 |
         uint32_t(uint8_t(bytes[at + 3])) << 24;
}

// The block of an image file at a partition block number.
inline std::string Block(const std::string& image, uint32_t partitionBlock) {
  std::ifstream in(image, std::ios::binary);
  in.seekg(std::streamoff(partitionBlock + 262) * 2048);
  std::string block(2048, '\0');
  in.read(block.data(), 2048);
  return block;
}

}  // namespace udftest
