// Hostile discs imported, then the next session laid out over them and read back by isoinfo and
// xorriso: no name that is a path reaches a record, no record is lost, a refused or failed
// import leaves the tree as it found it, and the import stays within the memory it is given.
#include <algorithm>
#include <filesystem>
#include <map>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "tests/lib/burner/import_test_support.h"
#include "tests/support/allocation_tracker.h"

namespace importtest {
namespace {

using craftediso::Ucs2;

// The memory an import may take on top of what the test holds: far more than any disc here
// needs, far less than an import that reads a directory twice.
constexpr std::size_t kImportMemory = std::size_t(64) << 20;

// A file of the pressed disc: its bytes at `lba`, and its record.
Record File(craftediso::Image& i, const std::string& id, uint32_t lba, const std::string& bytes) {
  std::memcpy(i.Sector(lba), bytes.data(), bytes.size());
  return {id, lba, static_cast<uint32_t>(bytes.size()), 0};
}

// A Joliet disc: its ISO9660 root at 20 is empty, the Joliet root at 21 holds the records.
void Joliet(craftediso::Image& i, const std::vector<Record>& records) {
  i.Descriptors(20, 2048, 21, 2048);
  i.Directory(20, 2048, 20, 2048, {});
  i.Directory(21, 2048, 21, 2048, records);
}

// What the primary descriptor claims the volume holds.
void ClaimVolumeSpace(craftediso::Image& i, uint32_t sectors) {
  uint8_t* d = i.Sector(16);
  for (int k = 0; k < 4; ++k) {
    d[80 + k] = static_cast<uint8_t>(sectors >> (8 * k));
    d[87 - k] = static_cast<uint8_t>(sectors >> (8 * k));
  }
}

struct Session;
void PrintTo(const Session& p__Session, std::ostream* p__Out);

struct Session {
  const char* name;
  void (*make)(craftediso::Image&);
  Media media;
  uint8_t joliet;
  HALVORIN_STATUS status;
  const char* text;                          // in the failure's text
  std::map<std::string, std::string> files;  // imported files of the next session, by Joliet path
};

// clang-format off
const Session kSessions[] = {
    {"DotFolder", [](auto& i) {
       Joliet(i, {{Ucs2(u"."), 22, 2048, 2}});
       i.Directory(22, 2048, 21, 2048, {File(i, Ucs2(u"inside-dot.txt;1"), 30, "dot")}); },
     Media::CdRom, 1, 2, "is named '.'", {}},
    {"DotDotFolder", [](auto& i) {
       Joliet(i, {File(i, Ucs2(u"before.txt;1"), 31, "before"), {Ucs2(u".."), 22, 2048, 2}});
       i.Directory(22, 2048, 21, 2048, {File(i, Ucs2(u"inside-dotdot.txt;1"), 30, "dotdot")}); },
     Media::CdRom, 1, 2, "'ImportingTrack(1):/..' (LBA 22) is named '..'", {}},
    {"DotDotFolderIso9660", [](auto& i) {
       Root(i, {{"..", 22, 2048, 2}});
       i.Directory(22, 2048, 20, 2048, {File(i, "INSIDE.TXT;1", 30, "inside")}); },
     Media::CdRom, 0, 2, "is named '..'", {}},
    {"DotWithVersionIso9660", [](auto& i) { Root(i, {File(i, ".;1", 30, "dot")}); },
     Media::CdRom, 0, 2, "is named '.'", {}},
    {"BackslashAndColon", [](auto& i) {
       Joliet(i, {File(i, Ucs2(u"..\\..\\evil.txt;1"), 30, "evil"),
                  File(i, Ucs2(u"c:\\x.txt;1"), 31, "x"), {Ucs2(u"a\\b"), 22, 2048, 2}});
       i.Directory(22, 2048, 21, 2048, {File(i, Ucs2(u"in.txt;1"), 32, "in")}); },
     Media::CdRom, 1, 0, "",
     {{".._.._evil.txt", "evil"}, {"c__x.txt", "x"}, {"a_b/in.txt", "in"}}},
    {"BackslashAndColonIso9660", [](auto& i) {
       Root(i, {File(i, "..\\EVIL.TXT;1", 30, "evil"), File(i, "C:\\X.TXT;1", 31, "x")}); },
     Media::CdRom, 0, 0, "", {{".._EVIL.TXT", "evil"}, {"C__X.TXT", "x"}}},
    // Two records whose names fold together once '\' and ':' become '_': one of them would be
    // dropped by the name check, and the next session would hide its file.
    {"NamesFoldingTogether", [](auto& i) {
       Joliet(i, {File(i, Ucs2(u"a:b.txt;1"), 30, "colon"),
                  File(i, Ucs2(u"a_b.txt;1"), 31, "underscore")}); },
     Media::CdRom, 1, 2,
     "'ImportingTrack(1):/a:b.txt' and 'ImportingTrack(1):/a_b.txt' both take the name 'a_b.txt'",
     {}},
    {"NamesFoldingTogetherIso9660", [](auto& i) {
       Root(i, {File(i, "A_B.TXT;1", 30, "underscore"), File(i, "A\\B.TXT;1", 31, "backslash")}); },
     Media::CdRom, 0, 2, "both take the name 'A_B.TXT'", {}},
    // 255 bytes with an identifier of 222: laid out again as it came, its length byte would
    // wrap to 0 and hide the records after it.
    {"LongJolietRecord", [](auto& i) {
       Record longest = File(i, Ucs2(std::u16string(105, u'L') + u".txt;1"), 31, "long");
       longest.length = 255;
       Joliet(i, {File(i, Ucs2(u"A.txt;1"), 30, "a"), longest, File(i, Ucs2(u"Z1.txt;1"), 32, "z1"),
                  File(i, Ucs2(u"Z2.txt;1"), 33, "z2"), File(i, Ucs2(u"Z3.txt;1"), 34, "z3")}); },
     Media::CdRom, 1, 0, "",
     {{"A.txt", "a"}, {std::string(99, 'L') + ".txt", "long"}, {"Z1.txt", "z1"},
      {"Z2.txt", "z2"}, {"Z3.txt", "z3"}}},
    // A DVD whose descriptor claims 4 GB: every sector of its 2 MB root holds folders that start
    // inside the root, each as long as the root.
    {"OverlappingDirectoriesOnADvd", [](auto& i) {
       constexpr uint32_t kRootSectors = 1024;
       std::vector<Record> folders;
       for (uint32_t k = 0; k < 53 * kRootSectors; ++k)
         folders.push_back({"D" + std::to_string(k), 21 + k % 1000, kRootSectors * 2048, 2});
       Root(i, folders, kRootSectors * 2048);
       i.Sector(21 + 1000 + kRootSectors);
       ClaimVolumeSpace(i, 2000000); },
     Media::DvdRom, 0, 2, "directories overlap", {}},
    {"DirectoryPastTheRealEndOfADvd", [](auto& i) {
       Root(i, {File(i, "A.TXT;1", 30, "a"), {"FAR", 3000, 2048, 2}});
       ClaimVolumeSpace(i, 4000); },
     Media::DvdRom, 0, 2, "lies outside the track 0-63", {}},
    {"TenThousandLevels", [](auto& i) { Levels(i, 10000); },
     Media::CdRom, 0, 2, "deeper than 128 directory levels", {}},
};
// clang-format on

void PrintTo(const Session& p__Session, std::ostream* p__Out) {
  *p__Out << p__Session.name;
}

class NextSession : public Import {
 protected:
  // The caller's own part of the tree: a folder with a file.
  void AddOwn() {
    void* folder = nullptr;
    ASSERT_EQ(Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &error, nullptr, "Mine",
                                                 2, &folder),
              0u)
        << text;
    folder = Kid(Halvorin_ISO9660JolietFileTree_GetRoot(tree), "Mine");
    ASSERT_NE(folder, nullptr);
    ASSERT_EQ(Halvorin_ISO9660JolietFileTree_AddMemory(tree, text, sizeof text, &error, kOwn,
                                                       sizeof kOwn - 1, 0, "own.txt", 2, &folder),
              0u)
        << text;
  }

  // The tree laid out right after the pressed disc, written behind it, and read back: what
  // isoinfo lists of each hierarchy, and what xorriso extracts (relative path -> bytes), which
  // must all lie in the target folder.
  void LayOutAndReadBack(const std::map<std::string, std::string>& imported) {
    const auto pressed = static_cast<uint32_t>(stdfs::file_size(dir.P("pressed.iso")) / 2048);
    ASSERT_EQ(
        Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &error, int32_t(pressed),
                                                  0, 1, "NEXT", "QB.exe", "QB.exe"),
        0u)
        << text;
    uint32_t high = 0;
    const uint32_t size = Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(tree, &high);
    ASSERT_EQ(high, 0u);
    std::string session(size, '\0');
    ASSERT_EQ(Halvorin_ISO9660JolietFileTree_Read(tree, text, sizeof text, &error, int32_t(size),
                                                  session.data()),
              0u)
        << text;
    const std::string disc = dir.P("two-sessions.iso");
    WriteFile(disc, ReadFile(dir.P("pressed.iso")) + session);

    std::map<std::string, std::string> expected = imported;
    expected["Mine/own.txt"] = kOwn;
    std::set<std::string> paths = {"/Mine"};
    for (const auto& [path, bytes] : expected)
      for (std::size_t slash = 0; slash != std::string::npos;) {
        slash = path.find('/', slash + 1);
        paths.insert("/" + path.substr(0, slash));
      }
    std::string out;
    const std::string at = " -T " + std::to_string(pressed);
    ASSERT_EQ(RunCommand("isoinfo -i " + disc + at + " -J -f", &out), 0) << out;
    std::set<std::string> listed;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
      listed.insert(line.size() > 2 && line.ends_with(";1") ? line.substr(0, line.size() - 2)
                                                            : line);
    EXPECT_EQ(listed, paths) << out;
    std::string plain;
    ASSERT_EQ(RunCommand("isoinfo -i " + disc + at + " -f", &plain), 0) << plain;
    EXPECT_EQ(std::count(plain.begin(), plain.end(), '\n'),
              std::count(out.begin(), out.end(), '\n'))
        << plain;

    const std::string outside = dir.P("out"), target = outside + "/a/b/target";
    stdfs::create_directories(target);
    ASSERT_EQ(RunCommand("xorriso -load sbsector " + std::to_string(pressed) + " -indev " + disc +
                             " -osirrox on -extract / " + target,
                         &out),
              0)
        << out;
    std::map<std::string, std::string> extracted;
    for (const auto& e : stdfs::recursive_directory_iterator(outside)) {
      const std::string path = e.path().string();
      if (e.is_directory()) {
        EXPECT_TRUE(target.rfind(path, 0) == 0 || path.rfind(target, 0) == 0) << path;
        continue;
      }
      ASSERT_EQ(path.rfind(target + "/", 0), 0u) << path << " lies outside the target";
      extracted[path.substr(target.size() + 1)] = ReadFile(path);
    }
    EXPECT_EQ(extracted, expected);
  }

  static constexpr char kOwn[] = "the caller's own file";
};

class HostileSession : public NextSession, public ::testing::WithParamInterface<Session> {};

TEST_P(HostileSession, ImportsAndReadsBackWithNothingOutsideTheTargetAndNoRecordLost) {
  const Session& c = GetParam();
  craftediso::Image image(64);
  c.make(image);
  Press(image, c.media);
  ASSERT_EQ(NewTree(), 0u);
  AddOwn();
  const std::set<std::string> before = Listing();
  const uint32_t level = Halvorin_ISO9660JolietFileTree_GetLevel(tree);
  {
    AllocationLimit limit(kImportMemory);
    EXPECT_EQ(ImportInto(1, c.joliet), c.status) << text;
  }
  EXPECT_NE(std::string(text).find(c.text), std::string::npos) << text;
  if (c.status != 0) {
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetLevel(tree), level);
  } else {
    // The nodes' own names (the tree's paths join them with '\\') hold no separator either.
    std::set<std::string> folders;
    for (const auto& [path, bytes] : c.files)
      for (std::size_t slash = path.find('/'); slash != std::string::npos;
           slash = path.find('/', slash + 1))
        folders.insert(path.substr(0, slash));
    const std::set<std::string> after = Listing();
    EXPECT_EQ(after.size(), before.size() + c.files.size() + folders.size());
    for (const std::string& node : after)
      EXPECT_EQ(node.find_first_of("\\:"), std::string::npos) << node;
  }
  LayOutAndReadBack(c.files);
}

INSTANTIATE_TEST_SUITE_P(Discs, HostileSession, ::testing::ValuesIn(kSessions),
                         [](const auto& info) { return std::string(info.param.name); });

// Memory that runs out at the n-th node of the import, for every n: each failed import leaves
// the tree as it was, and the import that then succeeds shows every file of the disc.
struct FailAtNode {
  int at = 0;  // 0: never
  int added = 0;
};

void ThrowAtNode(uint32_t reason, void* context, void*, void*) {
  auto* f = static_cast<FailAtNode*>(context);
  if (reason == HALVORIN_CALLBACK_REASON_ADD_NAME && f->at && ++f->added == f->at)
    throw std::bad_alloc();
}

TEST_F(NextSession, MemoryRunningOutAtAnyNodeLeavesTheTreeAsItWas) {
  craftediso::Image image(64);
  Joliet(image, {File(image, Ucs2(u"one.txt;1"), 30, "1"),
                 {Ucs2(u"Folder"), 22, 2048, 2},
                 File(image, Ucs2(u"two.txt;1"), 31, "22")});
  image.Directory(22, 2048, 21, 2048,
                  {File(image, Ucs2(u"three.txt;1"), 32, "333"), {Ucs2(u"Deeper"), 23, 2048, 2}});
  image.Directory(23, 2048, 22, 2048, {File(image, Ucs2(u"four.txt;1"), 33, "4444")});
  const std::map<std::string, std::string> files = {{"one.txt", "1"},
                                                    {"two.txt", "22"},
                                                    {"Folder/three.txt", "333"},
                                                    {"Folder/Deeper/four.txt", "4444"}};
  Press(image);
  FailAtNode fail;
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &error, &ThrowAtNode,
                                                  &fail, 0, 0, 0, 1),
            0u);
  AddOwn();
  const std::set<std::string> before = Listing();
  const uint32_t level = Halvorin_ISO9660JolietFileTree_GetLevel(tree);
  constexpr int kNodes = 6;
  for (fail.at = 1; fail.at <= kNodes; ++fail.at) {
    SCOPED_TRACE(fail.at);
    fail.added = 0;
    EXPECT_EQ(ImportInto(1, 1), 4u) << text;
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetLevel(tree), level);
  }
  fail.at = 0;
  ASSERT_EQ(ImportInto(1, 1), 0u) << text;
  EXPECT_EQ(Listing().size(), before.size() + kNodes);
  LayOutAndReadBack(files);
}

}  // namespace
}  // namespace importtest
