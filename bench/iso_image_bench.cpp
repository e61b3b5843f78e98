// Builds a Joliet image of one folder through the file-tree exports and writes it to a file,
// as a caller of the library does; iso_vs_genisoimage.sh times it against the outside tools.
// Usage: iso_image_bench FOLDER IMAGE   Prints the phases' seconds and the memory they grew by.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "halvorin.h"

namespace {

// The process's resident kilobytes ("VmRSS") or its peak ("VmHWM").
long StatusKiB(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line))
    if (line.compare(0, key.size(), key) == 0) return std::stol(line.substr(key.size()));
  return -1;
}

double Since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s FOLDER IMAGE\n", argv[0]);
    return 2;
  }
  std::string folder = std::string("Z:") + argv[1];
  for (char& c : folder)
    if (c == '/') c = '\\';
  char text[512] = {};
  uint32_t error = 0;
  void* tree = nullptr;
  auto fail = [&](const char* what, HALVORIN_STATUS s) {
    std::fprintf(stderr, "%s: status %u, error %u: %s\n", what, unsigned(s), unsigned(error), text);
    if (tree) Halvorin_Destroy(&tree);
    return 1;
  };
  const long rss0 = StatusKiB("VmRSS");
  auto t0 = std::chrono::steady_clock::now();
  HALVORIN_STATUS s = Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &error,
                                                            nullptr, nullptr, 0, 0, 0, 1);
  if (s) return fail("create", s);
  void* parent = nullptr;
  s = Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &error, folder.c_str(), nullptr,
                                         2, &parent);
  if (s) return fail("add", s);
  const double add = Since(t0);
  const long rssAdded = StatusKiB("VmRSS");
  t0 = std::chrono::steady_clock::now();
  s = Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &error, 0, 0, 0, "BENCH",
                                                nullptr, nullptr);
  if (s) return fail("build", s);
  const double build = Since(t0);
  const long rssBuilt = StatusKiB("VmRSS");

  uint32_t high = 0;
  uint64_t left = Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(tree, &high);
  left |= uint64_t(high) << 32;
  const uint64_t size = left;
  t0 = std::chrono::steady_clock::now();
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(argv[2], "wb"), &std::fclose);
  if (!out) return fail("open the image file", 0);
  std::vector<char> buffer(1 << 20);
  while (left > 0) {
    const int32_t n = static_cast<int32_t>(std::min<uint64_t>(left, buffer.size()));
    s = Halvorin_ISO9660JolietFileTree_Read(tree, text, sizeof text, &error, n, buffer.data());
    if (s) return fail("read", s);
    if (std::fwrite(buffer.data(), 1, size_t(n), out.get()) != size_t(n))
      return fail("write the image file", 0);
    left -= uint64_t(n);
  }
  if (std::fflush(out.get()) != 0) return fail("write the image file", 0);
  const double read = Since(t0);
  Halvorin_Destroy(&tree);
  std::printf(
      "add %.3f s, build %.3f s, read %.3f s, image %llu bytes, rss grew %ld KiB (add) "
      "+ %ld KiB (build), peak %ld KiB\n",
      add, build, read, static_cast<unsigned long long>(size), rssAdded - rss0, rssBuilt - rssAdded,
      StatusKiB("VmHWM"));
  return 0;
}
