// Builds a pure UDF image of one folder through the UDF exports and writes it to a file, as a
// caller of the library does; udf_vs_genisoimage.sh times it against genisoimage -udf.
// Usage: udf_image_bench FOLDER IMAGE   Prints the phases' seconds, the memory they grew by and
// the most descriptors the process held.
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "halvorin.h"

namespace {

namespace fs = std::filesystem;
using Item = HALVORIN_UDF_TREE_ITEM;

long StatusKiB(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line))
    if (line.compare(0, key.size(), key) == 0) return std::stol(line.substr(key.size()));
  return -1;
}

int OpenDescriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
    n -= 3;  // ".", ".." and the listing's own
  }
  return n;
}

double Since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string Win(const fs::path& p) {
  std::string s = "Z:" + p.string();
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

struct Builder {
  Item* items;
  std::size_t used = 0;
  int descriptors = 0;
  uint32_t Folder(const fs::path& folder, Item* parent, const std::string& name, Item** made) {
    Item* dir = &items[used++];
    *made = dir;
    if (uint32_t s =
            Halvorin_UDF_FormatTreeItemAsDirectory(dir, uint32_t(used), name.c_str(), parent))
      return s;
    for (const auto& e : fs::directory_iterator(folder)) {
      Item* kid = nullptr;
      uint32_t s = 0;
      if (e.is_directory()) {
        s = Folder(e.path(), dir, e.path().filename().string(), &kid);
      } else {
        kid = &items[used++];
        s = Halvorin_UDF_FormatTreeItemAsFile(kid, uint32_t(used), e.path().filename().c_str(),
                                              Win(e.path()).c_str(), dir);
      }
      if (s) return s;
      if (used % 4096 == 0) descriptors = std::max(descriptors, OpenDescriptors());
    }
    return 0;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s FOLDER IMAGE\n", argv[0]);
    return 2;
  }
  const fs::path folder = argv[1];
  std::size_t count = 1;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator();
       ++it)
    ++count;
  const long rss0 = StatusKiB("VmRSS");
  auto t0 = std::chrono::steady_clock::now();
  // Zeroed pages that the system maps only when the formatting writes them.
  std::unique_ptr<Item, void (*)(void*)> items(static_cast<Item*>(std::calloc(count, sizeof(Item))),
                                               &std::free);
  if (!items) return 1;
  Builder builder{items.get()};
  Item* root = nullptr;
  if (uint32_t s = builder.Folder(folder, nullptr, "ROOT", &root)) {
    std::fprintf(stderr, "format: error %u\n", s);
    return 1;
  }
  const double format = Since(t0);
  const long rssFormatted = StatusKiB("VmRSS");

  t0 = std::chrono::steady_clock::now();
  std::vector<uint8_t> head(HALVORIN_UDF_HEAD_SIZE), tail(HALVORIN_UDF_TAIL_SIZE);
  HALVORIN_UDF_OBJECT object{};
  char text[512] = {};
  uint32_t error = 0;
  HALVORIN_STATUS s = Halvorin_UDF_Create(head.data(), uint32_t(head.size()), tail.data(),
                                          uint32_t(tail.size()), nullptr, root, nullptr, nullptr,
                                          &object, text, sizeof text, &error, "BENCH");
  if (s) {
    std::fprintf(stderr, "create: status %u, error %u: %s\n", unsigned(s), unsigned(error), text);
    return 1;
  }
  const double create = Since(t0);
  const long rssCreated = StatusKiB("VmRSS");
  int descriptors = std::max(builder.descriptors, OpenDescriptors());

  uint32_t high = 0;
  uint64_t left = Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(object.m__PVOID__Tree, &high);
  left |= uint64_t(high) << 32;
  const uint64_t size = left;
  t0 = std::chrono::steady_clock::now();
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(argv[2], "wb"), &std::fclose);
  if (!out) return 1;
  std::vector<char> buffer(1 << 20);
  for (int chunk = 0; left > 0; ++chunk) {
    const int32_t n = static_cast<int32_t>(std::min<uint64_t>(left, buffer.size()));
    s = Halvorin_ISO9660JolietFileTree_Read(object.m__PVOID__Tree, text, sizeof text, &error, n,
                                            buffer.data());
    if (s) {
      std::fprintf(stderr, "read: status %u: %s\n", unsigned(s), text);
      return 1;
    }
    if (std::fwrite(buffer.data(), 1, size_t(n), out.get()) != size_t(n)) return 1;
    left -= uint64_t(n);
    if (chunk % 16 == 0) descriptors = std::max(descriptors, OpenDescriptors());
  }
  if (std::fflush(out.get()) != 0) return 1;
  const double read = Since(t0);
  Halvorin_UDF_Destroy(root, &object);
  Halvorin_UDF_CleanUp(items.get(), uint32_t(builder.used));
  std::printf(
      "format %.3f s, create %.3f s, read %.3f s, image %llu bytes, rss grew %ld KiB (items) + "
      "%ld KiB (create), peak %ld KiB, at most %d descriptors\n",
      format, create, read, static_cast<unsigned long long>(size), rssFormatted - rss0,
      rssCreated - rssFormatted, StatusKiB("VmHWM"), descriptors);
  return 0;
}
