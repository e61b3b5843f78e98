// Pure UDF images through the exports, read back by udfinfo, 7z, pycdlib and by their own
// bytes; the refusals of Create and of the format functions.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/lib/mastering/udf_test_support.h"

namespace udftest {
namespace {

namespace stdfs = std::filesystem;

class UdfImage : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", dir.P("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir.P("config").c_str(), 1);
    Halvorin_UpStart();
  }

  // Empty, 1, 2048 and 2049 bytes, 200 files in one folder, folders 10 deep, and names of
  // code points above 255 and below.
  std::string Source() {
    const std::string src = dir.P("src");
    WriteFile(src + "/EMPTY.DAT", "");
    WriteFile(src + "/ONE.BIN", "1");
    std::string block(2049, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 + i / 256);
    WriteFile(src + "/BLOCK.BIN", block.substr(0, 2048));
    WriteFile(src + "/BLOCKPLUS.BIN", block);
    for (int i = 1; i <= 200; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/MANY/F%03d.TXT", i);
      WriteFile(src + name,
                std::string(static_cast<size_t>(i * 37), static_cast<char>('a' + i % 26)));
    }
    std::string deep = src;
    for (int i = 1; i <= 10; ++i) deep += "/D" + std::to_string(i);
    WriteFile(deep + "/LEAF.TXT", "leaf");
    WriteFile(src + "/\xC3\x89T\xC3\x89.TXT", "latin");  // ÉTÉ.TXT: compression 8
    WriteFile(src + "/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.TXT", "cjk");  // compression 16
    return src;
  }

  TempDir dir;
};

std::map<std::string, std::string> Fields(const std::string& udfinfo) {
  std::map<std::string, std::string> fields;
  std::istringstream lines(udfinfo);
  std::string line;
  while (std::getline(lines, line))
    if (auto eq = line.find('='); eq != std::string::npos)
      fields[line.substr(0, eq)] = line.substr(eq + 1);
  return fields;
}

TEST_F(UdfImage, APureImageReadsBackEqualWithEveryParentEntryAtItsParent) {
  const std::string src = Source();
  Items items(300);
  Item* root = nullptr;
  ASSERT_EQ(FormatFolder(items, src, nullptr, &root), 0u);
  Image image(false);
  ASSERT_EQ(image.Create(root, nullptr, nullptr, "UDF Test Volume"), 0u) << image.text;
  uint32_t last = 0;
  for (uint32_t i = 0; i < items.Count(); ++i)
    last = std::max<uint32_t>(last, items.Data()[i].m__ULONG__LastBlockUsed);
  EXPECT_EQ(image.Size(), (uint64_t(last) + 263 + 256) * 2048);
  const std::string iso = dir.P("pure.udf");
  ASSERT_EQ(image.Write(iso), 0u) << image.text;

  std::string out;
  ASSERT_EQ(RunCommand("udfinfo " + iso, &out), 0) << out;
  auto fields = Fields(out);
  EXPECT_EQ(fields["udfrev"], "1.02") << out;
  EXPECT_EQ(fields["integrity"], "closed") << out;
  EXPECT_EQ(fields["numfiles"], "207") << out;
  EXPECT_EQ(fields["numdirs"], "12") << out;
  EXPECT_EQ(fields["label"], "UDF Test Volume") << out;

  const std::string x = dir.P("x7z");
  ASSERT_EQ(RunCommand("7z x -tudf -y -o" + x + " " + iso, &out), 0) << out;
  EXPECT_EQ(RunCommand("diff -r " + src + " " + x, &out), 0) << out;

  ASSERT_EQ(RunCommand(std::string(QUORVA_PYTHON) + " " + QUORVA_TEST_SOURCE_DIR +
                           "/lib/tools/udf_walk.py " + iso + " " + src + " --pure " +
                           EmptyIso(dir.P("empty.iso")),
                       &out),
            0)
      << out;

  // Each folder's parent entry names its parent's file entry, the root's its own.
  for (uint32_t i = 0; i < items.Count(); ++i) {
    const Item& item = items.Data()[i];
    if (!item.m__BOOLEAN__IsDirectory) continue;
    const std::string fid = Block(iso, item.m__ULONG__ContentLocation);
    EXPECT_EQ(uint8_t(fid[18]), 0x0A);
    const Item* parent = item.m__PParent ? item.m__PParent : &item;
    EXPECT_EQ(LE32(fid, 24), parent->m__ULONG__FileEntryLocation) << item.m__CHAR__Name;
  }
  image.Destroy(root);
  Halvorin_UDF_CleanUp(items.Data(), items.Count());
}

TEST_F(UdfImage, CreateRefusesAHeadOrTailThatDoesNotFitTheLayout) {
  WriteFile(dir.P("src/A.TXT"), "a");
  Items items(4);
  Item* root = nullptr;
  ASSERT_EQ(FormatFolder(items, dir.P("src"), nullptr, &root), 0u);
  struct Case {
    uint32_t head, tail;
  };
  for (const Case& c : {Case{HALVORIN_UDF_HEAD_SIZE - 2048, HALVORIN_UDF_TAIL_SIZE},
                        Case{HALVORIN_UDF_BRIDGE_HEAD_SIZE, HALVORIN_UDF_TAIL_SIZE},
                        Case{HALVORIN_UDF_HEAD_SIZE, HALVORIN_UDF_TAIL_SIZE - 1},
                        Case{HALVORIN_UDF_HEAD_SIZE, HALVORIN_UDF_TAIL_SIZE + 2048}}) {
    std::vector<uint8_t> head(c.head), tail(c.tail);
    HALVORIN_UDF_OBJECT object{};
    char text[256] = {};
    uint32_t error = 0;
    EXPECT_EQ(Halvorin_UDF_Create(head.data(), c.head, tail.data(), c.tail, nullptr, root, nullptr,
                                  nullptr, &object, text, sizeof text, &error, "X"),
              2u)
        << c.head << " " << c.tail;
    EXPECT_NE(std::string(text).find("the image needs"), std::string::npos) << text;
    EXPECT_EQ(object.m__PVOID__Tree, nullptr);
  }
  Image image(false);
  EXPECT_EQ(image.Create(nullptr, nullptr, nullptr, "X"), 2u);
  Halvorin_DownShut();
  EXPECT_EQ(image.Create(root, nullptr, nullptr, "X"), 21u);
  Halvorin_UpStart();
  ASSERT_EQ(image.Create(root, nullptr, nullptr, "X"), 0u) << image.text;
  // The image is built: the tree exports refuse to change it.
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_BuildImage(image.object.m__PVOID__Tree, image.text,
                                                      sizeof image.text, &image.error, 0, 0, 0, "X",
                                                      nullptr, nullptr),
            3u);
  image.Destroy(root);
  EXPECT_EQ(root->m__PFirstKid->m__PVOID__File, nullptr);
}

// The soft limit of open descriptors, lowered while it lives.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t p__Limit) {
    getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = p__Limit;
    EXPECT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0) << errno;
  }
  ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;

 private:
  rlimit saved_{};
};

class ManyFiles : public UdfImage, public ::testing::WithParamInterface<uint32_t> {};

// More files than the usual 1,024 descriptors, each of one byte so that every one is opened
// when the image is read: formatting and reading hold one at a time. 100,000 files run with
// QUORVA_BIG_TESTS=1.
TEST_P(ManyFiles, BuildAndReadUnderALimitOf1024Descriptors) {
  const uint32_t files = GetParam();
  if (files > 10000 && !std::getenv("QUORVA_BIG_TESTS")) GTEST_SKIP() << "set QUORVA_BIG_TESTS=1";
  const std::string src = dir.P("many");
  stdfs::create_directories(src);
  for (uint32_t i = 0; i < files; ++i) {
    const std::string path = src + "/F" + std::to_string(i);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    const char byte = static_cast<char>(1 + i % 251);
    ASSERT_EQ(::write(fd, &byte, 1), 1);
    ::close(fd);
  }
  // Zeroed items whose pages are mapped only as the format functions fill them.
  std::unique_ptr<Item, void (*)(void*)> items(
      static_cast<Item*>(std::calloc(files + 1, sizeof(Item))), &std::free);
  ASSERT_NE(items, nullptr);
  Item* root = items.get();
  Image image(false);
  {
    DescriptorLimit limit(1024);
    // The limit holds: a descriptor per file would run out.
    std::vector<int> held;
    for (int fd; held.size() < files && (fd = ::dup(0)) >= 0;) held.push_back(fd);
    EXPECT_LT(held.size(), files);
    for (int fd : held) ::close(fd);

    ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(root, 1, "ROOT", nullptr), 0u);
    for (uint32_t i = 0; i < files; ++i) {
      const std::string name = "F" + std::to_string(i);
      ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsFile(&items.get()[i + 1], i + 2, name.c_str(),
                                                  Win(src + "/" + name).c_str(), root),
                0u)
          << name;
    }
    ASSERT_EQ(image.Create(root, nullptr, nullptr, "MANY"), 0u) << image.text;
    // Each file's byte at its content location, read through the image in 1 MiB pieces.
    std::vector<std::pair<uint64_t, char>> contents;
    for (uint32_t i = 0; i < files; ++i)
      contents.emplace_back((uint64_t(items.get()[i + 1].m__ULONG__ContentLocation) + 262) * 2048,
                            static_cast<char>(1 + i % 251));
    std::sort(contents.begin(), contents.end());
    std::vector<char> buffer(1 << 20);
    uint64_t at = 0, left = image.Size();
    std::size_t next = 0, wrong = 0;
    while (left > 0) {
      const auto n = static_cast<int32_t>(std::min<uint64_t>(left, buffer.size()));
      ASSERT_EQ(
          Halvorin_ISO9660JolietFileTree_Read(image.object.m__PVOID__Tree, image.text,
                                              sizeof image.text, &image.error, n, buffer.data()),
          0u)
          << image.text;
      for (; next < contents.size() && contents[next].first < at + uint64_t(n); ++next)
        if (buffer[contents[next].first - at] != contents[next].second) ++wrong;
      at += uint64_t(n);
      left -= uint64_t(n);
    }
    EXPECT_EQ(next, contents.size());
    EXPECT_EQ(wrong, 0u);
  }
  image.Destroy(root);
  Halvorin_UDF_CleanUp(items.get(), files + 1);
}

INSTANTIATE_TEST_SUITE_P(Files, ManyFiles, ::testing::Values(3000u, 100000u),
                         [](const auto& info) { return std::to_string(info.param); });

TEST_F(UdfImage, FormatFunctionsGiveTheSystemErrorAndLinkKidsInOrder) {
  WriteFile(dir.P("a.txt"), "abc");
  stdfs::create_directories(dir.P("folder"));
  Item items[5];
  EXPECT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(&items[0], 1, "root", nullptr), 0u);
  EXPECT_EQ(Halvorin_UDF_FormatTreeItemAsFile(&items[1], 2, "missing", Win(dir.P("no")).c_str(),
                                              &items[0]),
            uint32_t(ENOENT));
  EXPECT_EQ(
      Halvorin_UDF_FormatTreeItemAsFile(&items[1], 2, "f", Win(dir.P("folder")).c_str(), &items[0]),
      uint32_t(EINVAL));
  EXPECT_EQ(Halvorin_UDF_FormatTreeItemAsFile(nullptr, 2, "f", "x", &items[0]), uint32_t(EINVAL));
  EXPECT_EQ(items[0].m__PFirstKid, nullptr);  // nothing failed was linked
  ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsFile(&items[1], 2, "a.txt", Win(dir.P("a.txt")).c_str(),
                                              &items[0]),
            0u);
  ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsFile(&items[2], 3, "b.ifo", Win(dir.P("a.txt")).c_str(),
                                              &items[0]),
            0u);
  ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(&items[3], 4, "sub", &items[0]), 0u);
  EXPECT_STREQ(items[1].m__CHAR__Name, "A.TXT");
  EXPECT_EQ(items[1].m__ULONGLONG__Size, 3u);
  EXPECT_EQ(items[1].m__ULONG__SizeInBlocks, 1u);
  EXPECT_EQ(items[1].m__BOOLEAN__IsInMemory, 0);
  EXPECT_EQ(items[2].m__BOOLEAN__IsInMemory, 1);  // B.IFO: read whole, zero to its block's end
  EXPECT_EQ(std::memcmp(items[2].m__PUCHAR__Content, "abc\0\0", 5), 0);
  // Files after the last kid, folders first; the parent counts its folders.
  EXPECT_EQ(items[0].m__PFirstKid, &items[3]);
  EXPECT_EQ(items[3].m__PNext, &items[1]);
  EXPECT_EQ(items[1].m__PNext, &items[2]);
  EXPECT_EQ(items[0].m__PLastKid, &items[2]);
  EXPECT_EQ(items[0].m__USHORT__Subdirectories, 1);
  Halvorin_UDF_CleanUp(items, 4);
  EXPECT_EQ(items[2].m__PUCHAR__Content, nullptr);
}

}  // namespace
}  // namespace udftest
