// Names and dates of UDF images, pure and bridge: every letter upper-cased; names that are
// written alike in one folder, or that are no name, refused before any byte is read; the rest
// extracted by 7z (the UDF and the ISO9660 side) and walked by pycdlib, every file equal to its
// source. File entries take the files' creation time, and a bridge's folders lie under its root.
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tests/lib/mastering/udf_test_support.h"

namespace udftest {
namespace {

namespace stdfs = std::filesystem;

class UdfNames : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", dir.P("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir.P("config").c_str(), 1);
    Halvorin_UpStart();
  }
  TempDir dir;
};

struct NameCase {
  const char* name;
  std::vector<std::string> given;    // "F|name": the file in a folder F
  std::vector<std::string> written;  // the image's paths of the files, in the same order
  HALVORIN_STATUS pure, bridge;
  const char* text;  // in the refusal's text
};

void PrintTo(const NameCase& c, std::ostream* out) {
  *out << c.name;
}

const std::string k254(254, 'A');
const std::string kLongCyrillic = "\xD0\xAF" + std::string(130, 'A');  // 131 characters

// clang-format off
const NameCase kCases[] = {
    {"FoldTogether", {"readme.txt", "README.TXT"}, {}, 2, 2,
     "the file item 2 ('Z:"},  // and the rest of both items' names, checked below
    {"FoldTogetherBeyondAscii", {"\xC3\xA9mile.txt", "\xC3\x89MILE.TXT"}, {}, 2, 2,
     "both take the name '\xC3\x89MILE.TXT'"},
    {"DifferOnlyAfterByte254", {k254 + "1", k254 + "2"}, {}, 2, 2,
     "both take the name 'AAAA"},
    // 131 characters beyond Latin-1 take 263 bytes as an identifier: the 255 written hold 127.
    {"DifferOnlyAfterTheIdentifierCut", {kLongCyrillic + "1", kLongCyrillic + "2"}, {}, 2, 2,
     "both take the name"},
    {"Empty", {""}, {}, 2, 2, "is named ''"},
    {"Dot", {"."}, {}, 2, 2, "is named '.'"},
    {"DotDot", {"ok.txt", ".."}, {}, 2, 2, "is named '..'"},
    {"Slash", {"a/b.txt"}, {}, 2, 2, "is named 'A/B.TXT'"},
    {"EveryLetterUpperCased",
     {"\xC3\xBCN\xC3\xAF" "C\xC3\xB6" "D\xC3\xA9.txt",
      "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD0\xBC\xD0\xB8\xD1\x80.TXT",
      "\xC3\xBF.dat"},
     {"\xC3\x9CN\xC3\x8F" "C\xC3\x96" "D\xC3\x89.TXT",
      "\xD0\x9F\xD0\xA0\xD0\x98\xD0\x92\xD0\x95\xD0\xA2 \xD0\x9C\xD0\x98\xD0\xA0.TXT",
      "\xC5\xB8.DAT"},
     0, 0, ""},
    {"OneNameInTwoFolders", {"A|readme.txt", "B|README.TXT"}, {"A/README.TXT", "B/README.TXT"},
     0, 0, ""},
    // ISO9660 readers show README.;1 as README.
    {"TrailingFullStop", {"readme", "readme."}, {"README", "README."}, 0, 2,
     "the VIDEO_TS records 'README;1' and 'README.;1' read as one name"},
    // Within a UDF identifier, past a bridge's ISO9660 record.
    {"LongestName", {std::string(250, 'a') + ".txt"}, {std::string(250, 'A') + ".TXT"}, 0, 2,
     "too long for the VIDEO_TS directory"},
};
// clang-format on

std::string Bytes(std::size_t i) {
  std::string b(100 + i * 1777, '\0');
  for (std::size_t k = 0; k < b.size(); ++k) b[k] = static_cast<char>(k * (i + 3) + k / 256);
  return b;
}

// Files that are not folders, relative path -> bytes, under a folder.
std::map<std::string, std::string> FilesUnder(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : stdfs::recursive_directory_iterator(folder))
    if (!e.is_directory())
      files[stdfs::relative(e.path(), folder).string()] = ReadFile(e.path().string());
  return files;
}

class NameCases : public UdfNames,
                  public ::testing::WithParamInterface<std::tuple<NameCase, bool>> {};

TEST_P(NameCases, AreRefusedBeforeAnyByteOrReadBackEqual) {
  const auto& [c, bridge] = GetParam();
  Items items(16);
  Item* root = items.Next();
  ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(root, 1, "", nullptr), 0u);
  Item* video = nullptr;
  Item* audio = nullptr;
  Item* parent = root;
  if (bridge) {
    video = items.Next();
    audio = items.Next();
    ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(audio, 90, "AUDIO_TS", root), 0u);
    ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(video, 91, "VIDEO_TS", root), 0u);
    parent = video;
  }
  std::map<std::string, Item*> folders;
  for (std::size_t i = 0; i < c.given.size(); ++i) {
    std::string name = c.given[i];
    Item* in = parent;
    if (const auto bar = name.find('|'); bar != std::string::npos) {
      Item*& folder = folders[name.substr(0, bar)];
      if (!folder) {
        folder = items.Next();
        ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(folder, 50 + items.Count(),
                                                         name.substr(0, bar).c_str(), parent),
                  0u);
      }
      in = folder;
      name = name.substr(bar + 1);
    }
    const std::string source = dir.P("src/f" + std::to_string(i));
    WriteFile(source, Bytes(i));
    // The identifiers count from 2 in the order of the table.
    ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsFile(items.Next(), uint32_t(2 + i), name.c_str(),
                                                Win(source).c_str(), in),
              0u);
  }
  Image image(bridge);
  const HALVORIN_STATUS status = image.Create(root, video, audio, "NAMES");
  EXPECT_EQ(status, bridge ? c.bridge : c.pure) << image.text;
  if (status != 0) {
    EXPECT_NE(std::string(image.text).find(c.text), std::string::npos) << image.text;
    if (std::string(c.name) == "FoldTogether") {
      const std::string both = "the file item 2 ('" + Win(dir.P("src/f0")) +
                               "') and the file item 3 ('" + Win(dir.P("src/f1")) + "') in '" +
                               (bridge ? "/VIDEO_TS" : "/") + "' both take the name 'README.TXT'";
      EXPECT_NE(std::string(image.text).find(both), std::string::npos) << image.text;
    }
    EXPECT_EQ(image.object.m__PVOID__Tree, nullptr);
    Halvorin_UDF_CleanUp(items.Data(), items.Count());
    return;
  }

  // What the image must hold: the written names over the sources' bytes.
  const std::string expected = dir.P("expected"), files = expected + (bridge ? "/VIDEO_TS" : "");
  if (bridge) stdfs::create_directories(expected + "/AUDIO_TS");
  for (std::size_t i = 0; i < c.written.size(); ++i)
    WriteFile(files + "/" + c.written[i], Bytes(i));
  const std::string iso = dir.P("names.iso");
  ASSERT_EQ(image.Write(iso), 0u) << image.text;
  std::string out;
  const std::string x = dir.P("x-udf");
  ASSERT_EQ(RunCommand("7z x -tudf -y -o" + x + " " + iso, &out), 0) << out;
  EXPECT_EQ(RunCommand("diff -r " + expected + " " + x, &out), 0) << out;
  ASSERT_EQ(RunCommand(std::string(QUORVA_PYTHON) + " " + QUORVA_TEST_SOURCE_DIR +
                           "/lib/tools/udf_walk.py " + iso + " " + expected +
                           (bridge ? "" : " --pure " + EmptyIso(dir.P("empty.iso"))),
                       &out),
            0)
      << out;
  if (bridge) {
    // The ISO9660 side holds VIDEO_TS's own files, under their written names.
    const std::string xi = dir.P("x-iso");
    ASSERT_EQ(RunCommand("7z x -tiso -y -o" + xi + " " + iso, &out), 0) << out;
    std::map<std::string, std::string> own;
    for (const auto& [path, bytes] : FilesUnder(files))
      if (path.find('/') == std::string::npos) own[path] = bytes;
    EXPECT_EQ(FilesUnder(xi + "/VIDEO_TS"), own);
  }
  image.Destroy(root);
  Halvorin_UDF_CleanUp(items.Data(), items.Count());
}

INSTANTIATE_TEST_SUITE_P(Names, NameCases,
                         ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "_Bridge" : "_Pure");
                         });

// The creation time the file system reports (birth time), else the last write time.
int CreationYear(const std::string& posix) {
  struct statx sx {};
  EXPECT_EQ(statx(AT_FDCWD, posix.c_str(), 0, STATX_BTIME | STATX_MTIME, &sx), 0);
  const std::time_t t = static_cast<std::time_t>((sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec
                                                                             : sx.stx_mtime.tv_sec);
  std::tm local{};
  localtime_r(&t, &local);
  return local.tm_year + 1900;
}

TEST_F(UdfNames, FileEntriesTakeTheFilesCreationTime) {
  const std::string source = dir.P("src/a.txt");
  WriteFile(source, "alpha");
  // Access in 2001, write in 2011 (mid-year, away from any time zone's new year).
  const timespec times[2] = {{978307200 + 180 * 86400, 0}, {1293840000 + 180 * 86400, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
  const int year = CreationYear(source);
  Items items(2);
  Item* root = items.Next();
  ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(root, 1, "", nullptr), 0u);
  ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsFile(items.Next(), 2, "a.txt", Win(source).c_str(), root),
            0u);
  Image image(false);
  ASSERT_EQ(image.Create(root, nullptr, nullptr, "DATES"), 0u) << image.text;
  const std::string iso = dir.P("dates.iso");
  ASSERT_EQ(image.Write(iso), 0u);
  std::string out;
  ASSERT_EQ(RunCommand("7z l -slt -tudf " + iso, &out), 0) << out;
  const auto entry = out.find("Path = A.TXT");
  ASSERT_NE(entry, std::string::npos) << out;
  EXPECT_NE(out.find("Modified = " + std::to_string(year) + "-", entry), std::string::npos) << out;
  image.Destroy(root);
}

// VIDEO_TS and AUDIO_TS elsewhere than under the root: the ISO9660 side would point its records
// at content laid out for another place.
TEST_F(UdfNames, ABridgeRefusesAFolderThatIsNotUnderTheRoot) {
  WriteFile(dir.P("VTS_01_1.VOB"), "vob");
  struct Case {
    const char* name;
    const char* videoIn;  // "root", "other" or "none"
    const char* audioIn;  // "root" or "video"
    const char* which;
  };
  for (const Case& c : {Case{"VideoTsInAnotherFolder", "other", "root", "VIDEO_TS"},
                        Case{"VideoTsWithoutParent", "none", "root", "VIDEO_TS"},
                        Case{"AudioTsInVideoTs", "root", "video", "AUDIO_TS"}}) {
    SCOPED_TRACE(c.name);
    Items items(6);
    Item* root = items.Next();
    Item* other = items.Next();
    Item* video = items.Next();
    Item* audio = items.Next();
    ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(root, 1, "", nullptr), 0u);
    ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(other, 2, "OTHER", root), 0u);
    Item* videoParent = std::string(c.videoIn) == "root"    ? root
                        : std::string(c.videoIn) == "other" ? other
                                                            : nullptr;
    ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(video, 3, "VIDEO_TS", videoParent), 0u);
    ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(
                  audio, 4, "AUDIO_TS", std::string(c.audioIn) == "root" ? root : video),
              0u);
    ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsFile(items.Next(), 5, "VTS_01_1.VOB",
                                                Win(dir.P("VTS_01_1.VOB")).c_str(), video),
              0u);
    Image image(true);
    EXPECT_EQ(image.Create(root, video, audio, "WRONG"), 2u);
    EXPECT_EQ(std::string(image.text),
              std::string("Halvorin:UDF_FormatISO9660FileSystemPacket(): EXITing with failure, "
                          "the ") +
                  c.which + " item is not a folder under the root item, status 2 ( 0x2 )")
        << image.text;
    EXPECT_EQ(image.object.m__PVOID__Tree, nullptr);
    Halvorin_UDF_CleanUp(items.Data(), items.Count());
  }
}

}  // namespace
}  // namespace udftest
