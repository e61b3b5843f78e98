// The fixture of the import tests: a tree made through the exports, a CD or DVD pressed from a
// crafted image in the recorder's tray, and what the tree holds afterwards.
#pragma once

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/lib/burner/burner_test_support.h"
#include "tests/lib/mastering/crafted_iso.h"

namespace importtest {

using burnertest::BurnerTest;
using craftediso::Record;
using libtest::Media;
namespace at = platform::aspi::testing;
namespace stdfs = std::filesystem;

// Renames every colliding identifier uniquely, as the backup program's callback does.
inline void Rename(uint32_t reason, void*, void* p1, void*) {
  if (reason != HALVORIN_CALLBACK_REASON_NAME_COLLISION) return;
  static int counter = 0;
  auto* record = static_cast<HALVORIN_NAME_COLLISION_RECORD*>(p1);
  const std::string name =
      "N" + std::to_string(++counter) + ((record->m__ULONG__NewAttributes & 0x10) ? "" : ";1");
  std::memset(record->m__UCHAR__Identifier, 0, sizeof record->m__UCHAR__Identifier);
  for (size_t i = 0; i < name.size(); ++i) {
    if (record->m__UCHAR__NameKind == HALVORIN_COLLISION_KIND_ISO9660)
      record->m__UCHAR__Identifier[i] = static_cast<uint8_t>(name[i]);
    else
      record->m__UCHAR__Identifier[2 * i] = static_cast<uint8_t>(name[i]);
  }
  record->m__ULONG__Answer = HALVORIN_COLLISION_RENAME;
}

inline std::string Win(const std::string& posix) {
  std::string s = "Z:" + posix;
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

class Import : public BurnerTest {
 protected:
  HALVORIN_STATUS NewTree() {
    if (tree) Halvorin_Destroy(&tree);
    return Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &error, &Rename, nullptr,
                                                 0, 0, 0, 1);
  }
  // Every entry of a folder at the tree's root (or under `parent`).
  void AddEntries(const std::string& folder, void* parent = nullptr) {
    for (const auto& e : stdfs::directory_iterator(folder)) {
      void* p = parent;
      ASSERT_EQ(Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &error,
                                                   Win(e.path().string()).c_str(), nullptr, 2, &p),
                0u)
          << text;
    }
  }
  HALVORIN_STATUS ImportInto(uint8_t track, uint8_t joliet) {
    return Halvorin_ISO9660JolietFileTree_ImportTrack(burner, tree, track, joliet, text,
                                                      sizeof text, &error);
  }
  // Files as "path=size" and folders as "path/" under a node, by long name.
  void List(void* node, const std::string& prefix, std::set<std::string>& out) {
    for (void* k = Halvorin_ISO9660JolietFileTree_GetFirstKid(tree, node); k;
         k = Halvorin_ISO9660JolietFileTree_GetNextKid(tree, node, k)) {
      char path[260], name[260], shortName[260];
      Halvorin_ISO9660JolietFileTree_GetNames(tree, k, path, name, shortName);
      uint64_t size = 0;
      if (Halvorin_ISO9660JolietFileTree_GetFileSizeInUCHARs(tree, k, &size) == 0) {
        out.insert(prefix + name + "=" + std::to_string(size));
      } else {
        out.insert(prefix + name + "/");
        List(k, prefix + name + "/", out);
      }
    }
  }
  std::set<std::string> Listing() {
    std::set<std::string> out;
    if (void* root = Halvorin_ISO9660JolietFileTree_GetRoot(tree)) List(root, "", out);
    return out;
  }
  void* Kid(void* node, const std::string& longName) {
    for (void* k = Halvorin_ISO9660JolietFileTree_GetFirstKid(tree, node); k;
         k = Halvorin_ISO9660JolietFileTree_GetNextKid(tree, node, k)) {
      char path[260], name[260], shortName[260];
      Halvorin_ISO9660JolietFileTree_GetNames(tree, k, path, name, shortName);
      if (longName == name) return k;
    }
    return nullptr;
  }
  // A CD-ROM (or DVD-ROM) pressed from the image in the recorder's tray.
  void Press(craftediso::Image& image, Media media = Media::CdRom) {
    image.Save(dir.P("pressed.iso"));
    at::RecorderConfig c;
    c.name = "Recorder0";
    c.media = media;
    c.fixture = Win(dir.P("pressed.iso"));
    at::UseSgIoSystem(std::make_shared<libtest::FakeSgKernel>(std::vector<uint8_t>{}));
    at::ConfigureRecorders({c});
    if (burner) Halvorin_Destroy(&burner);
    ASSERT_EQ(Create(), 0u) << text;
  }
};

// Every file of a folder tree by its content, and the number of folders: what a session shows
// whatever its names.
inline std::pair<std::multiset<std::string>, int> Contents(const std::string& folder) {
  std::multiset<std::string> files;
  int folders = 0;
  for (const auto& e : stdfs::recursive_directory_iterator(folder)) {
    if (e.is_directory())
      ++folders;
    else
      files.insert(ReadFile(e.path().string()));
  }
  return {files, folders};
}

inline void Root(craftediso::Image& i, const std::vector<Record>& records, uint32_t size = 2048) {
  i.Descriptors(20, size);
  i.Directory(20, size, 20, size, records);
}

inline void Levels(craftediso::Image& i, uint32_t levels) {
  i.Descriptors(20, 2048);
  for (uint32_t k = 0; k < levels; ++k)
    i.Directory(
        20 + k, 2048, k ? 19 + k : 20, 2048,
        k + 1 < levels ? std::vector<Record>{{"D", 21 + k, 2048, 2}} : std::vector<Record>{});
}

}  // namespace importtest
