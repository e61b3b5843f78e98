// Multisession import: a second session that shows the files of the first, the refusals, and
// discs pressed from hostile bytes, which give a status and never a crash or a hang.
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/lib/burner/import_test_support.h"

namespace importtest {
namespace {

// The sources of the two sessions and what the second session must show: both.
struct Sources {
  explicit Sources(const TempDir& dir) : one(dir.P("one")), two(dir.P("two")), both(dir.P("both")) {
    std::string big(70000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + i / 2048);
    WriteFile(one + "/Long file name number one.txt", "first long name");
    WriteFile(one + "/Long file name number two.txt", "second long name");
    WriteFile(one + "/\xC3\x89t\xC3\xA9 \xC3\xA0 Z\xC3\xBCrich.txt", "non-ASCII");
    WriteFile(one + "/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.dat", big);
    WriteFile(one + "/empty.dat", "");
    WriteFile(one + "/Folder A/small.txt", "s");
    WriteFile(one + "/Folder A/Sub folder with a long name/deep file.bin", big.substr(3));
    WriteFile(one + "/Folder A/Sub folder with a long name/Level 3/Level 4/leaf.txt", "leaf");
    WriteFile(two + "/new file of session two.txt", std::string(5000, 'n'));
    WriteFile(two + "/Folder B/x.bin", big.substr(100, 3000));
    WriteFile(dir.P("added later.txt"), "added into an imported folder");
    stdfs::copy(one, both, stdfs::copy_options::recursive);
    stdfs::copy(two, both, stdfs::copy_options::recursive);
    stdfs::copy(dir.P("added later.txt"), both + "/Folder A/added later.txt");
  }
  std::string one, two, both;
};

class TwoSessions : public Import, public ::testing::WithParamInterface<uint8_t> {};

TEST_P(TwoSessions, TheSecondSessionShowsTheFilesOfBoth) {
  const uint8_t joliet = GetParam();
  Devices({Media::CdR});
  Sources src(dir);
  ASSERT_EQ(Create(), 0u) << text;
  ASSERT_EQ(NewTree(), 0u) << text;
  AddEntries(src.one);
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &error, 0, 0, 1,
                                                      "SESSION1", "QB.exe", "QB.exe"),
            0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 1, 0, 1, 0, 0), 0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;

  ASSERT_EQ(NewTree(), 0u) << text;
  ASSERT_EQ(ImportInto(1, joliet), 0u) << text;
  void* root = Halvorin_ISO9660JolietFileTree_GetRoot(tree);
  void* folderA = Kid(root, joliet ? "Folder A" : "FOLDER A");
  ASSERT_NE(folderA, nullptr);
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetFullPath(tree, folderA, nullptr),
            HALVORIN_NODE_TYPE_IMPORTED);
  if (joliet) {
    const std::set<std::string> imported = Listing();
    EXPECT_EQ(imported.count("Folder A/Sub folder with a long name/deep file.bin=69997"), 1u);
    EXPECT_EQ(imported.count("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.dat=70000"), 1u);
    EXPECT_EQ(imported.count("empty.dat=0"), 1u);
  }
  AddEntries(src.two);
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &error,
                                               Win(dir.P("added later.txt")).c_str(), nullptr, 2,
                                               &folderA),
            0u)
      << text;
  TRACK_INFORMATION info{};
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetTrackInformation(BURNER_ARGS, 255, &info), 0u) << text;
  const int32_t second = info.m__LONG__NextWritableAddress;
  ASSERT_GT(second, 0);
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &error, second, 0, 1,
                                                      "SESSION2", "QB.exe", "QB.exe"),
            0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 1, 0, 1, 0, 0), 0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
  auto toc = std::make_unique<TOC_INFORMATION>();
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetTOCInformation(BURNER_ARGS, toc.get()), 0u) << text;
  EXPECT_EQ(toc->m__UCHAR__HighestSessionNumber, 2);
  ASSERT_EQ(toc->m__UCHAR__NumberOfTracks, 2);
  EXPECT_EQ(toc->m__TOC_TRACK_ENTRY__Tracks[1].m__LONG__StartLBA, second);
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;

  std::string out;
  const std::string iso = Image();
  const std::string at = " -T " + std::to_string(second);
  ASSERT_EQ(RunCommand("isoinfo -i " + iso + at + " -J -f", &out), 0) << out;
  const std::string a = joliet ? "/Folder A/" : "/FOLDER A/";
  for (const std::string& path :
       {std::string("/new file of session two.txt"), std::string("/Folder B/x.bin"),
        a + "added later.txt", a + (joliet ? "small.txt" : "SMALL.TXT")})
    EXPECT_NE(out.find(path), std::string::npos) << path << "\n" << out;
  if (joliet) {
    EXPECT_NE(out.find("/Folder A/Sub folder with a long name/Level 3/Level 4/leaf.txt"),
              std::string::npos)
        << out;
  }
  std::string plain;
  ASSERT_EQ(RunCommand("isoinfo -i " + iso + at + " -f", &plain), 0) << plain;
  EXPECT_EQ(std::count(plain.begin(), plain.end(), '\n'), std::count(out.begin(), out.end(), '\n'))
      << plain << "\n"
      << out;

  const std::string x = dir.P("extracted");
  ASSERT_EQ(RunCommand("xorriso -indev " + iso + " -load sbsector " + std::to_string(second) +
                           " -osirrox on -extract / " + x,
                       &out),
            0)
      << out;
  if (joliet) {
    EXPECT_EQ(RunCommand("diff -r " + src.both + " " + x, &out), 0) << out;
  } else {
    // ISO9660 names: the same files and folders under other names.
    EXPECT_EQ(Contents(x), Contents(src.both));
  }
}

INSTANTIATE_TEST_SUITE_P(Flags, TwoSessions, ::testing::Values(uint8_t{1}, uint8_t{0}),
                         [](const auto& info) { return info.param ? "Joliet" : "ISO9660"; });

// A CD whose first track is audio, on a drive that only reports its table of contents.
class AudioTocKernel : public libtest::FakeSgKernel {
 public:
  AudioTocKernel() : FakeSgKernel({0x05}) {}
  int SgIo(int fd, sg_io_hdr_t* h) override {
    const auto* cdb = static_cast<const std::uint8_t*>(h->cmdp);
    auto* data = static_cast<std::uint8_t*>(h->dxferp);
    if (cdb[0] == 0xAD) {  // not a DVD
      static const std::uint8_t sense[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x30, 0x02};
      h->status = 2;
      std::memcpy(h->sbp, sense, std::min<size_t>(sizeof sense, h->mx_sb_len));
      h->sb_len_wr = sizeof sense;
      return 0;
    }
    if (cdb[0] == 0x43 && h->dxfer_len >= 59) {
      const std::uint8_t toc[59] = {
          0,    57, 1, 1, 1, 0x10, 0, 0xA0, 0, 0,    0, 0,    1, 0, 0,  1, 0x14, 0, 0xA1, 0,
          0,    0,  0, 2, 0, 0,    1, 0x14, 0, 0xA2, 0, 0,    0, 0, 10, 0, 0,    1, 0x10, 0,
          0x01, 0,  0, 0, 0, 0,    2, 0,    1, 0x14, 0, 0x02, 0, 0, 0,  0, 5,    0, 0};
      std::memset(data, 0, h->dxfer_len);
      std::memcpy(data, toc, sizeof toc);
      return 0;
    }
    return FakeSgKernel::SgIo(fd, h);
  }
};

TEST_F(Import, RefusesTracksThatAreNoDataTrackOfTheDisc) {
  at::UseSgIoSystem(std::make_shared<AudioTocKernel>());
  Recorders({Media::CdR});
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, nullptr,
                                              nullptr, 1, 0, 0, 0, 0),
            0u)
      << text;
  ASSERT_EQ(NewTree(), 0u);
  const std::string invalid =
      "\nCHalvorin_CdvdBurnerGrabber::ImportTrack(): Invalid track number to import\n";
  for (uint8_t track : {0, 1, 3, 200}) {
    EXPECT_EQ(ImportInto(track, 1), 2u) << int(track);
    EXPECT_EQ(text, invalid) << int(track);
  }
  EXPECT_EQ(
      Halvorin_ISO9660JolietFileTree_ImportTrack(nullptr, tree, 2, 1, text, sizeof text, &error),
      2u);
  EXPECT_EQ(
      Halvorin_ISO9660JolietFileTree_ImportTrack(burner, burner, 2, 1, text, sizeof text, &error),
      2u);
}

TEST_F(Import, AJolietImportOfADiscWithoutJolietFindsNoDescriptor) {
  craftediso::Image image(32);
  image.Descriptors(20, 2048);
  image.Directory(20, 2048, 20, 2048, {{"README.TXT;1", 22, 5, 0}});
  Press(image);
  ASSERT_EQ(NewTree(), 0u);
  EXPECT_EQ(ImportInto(1, 1), 2u);
  EXPECT_STREQ(text,
               "\nCHalvorin_CdvdBurnerGrabber::ImportTrack(): Volume Descriptor was not found\n");
  // A type-2 descriptor without a Joliet escape sequence is no Joliet descriptor.
  image.Descriptors(20, 2048, 21, 2048, "%/F");
  image.Directory(21, 2048, 21, 2048, {{craftediso::Ucs2(u"readme.txt;1"), 22, 5, 0}});
  Press(image);
  ASSERT_EQ(NewTree(), 0u);
  EXPECT_EQ(ImportInto(1, 1), 2u);
  EXPECT_EQ(ImportInto(1, 0), 0u) << text;
  EXPECT_EQ(Listing(), (std::set<std::string>{"README.TXT=5"}));
}

// A disc without a closed session has no table of contents: 8, as the READ TOC fails, on a
// blank disc and on one whose track is written but whose session is open; nothing goes into
// the tree. Closed, the track imports.
TEST_F(Import, ADiscWithoutAClosedSessionGivesEight) {
  Devices({Media::CdR});
  ASSERT_EQ(Create(), 0u) << text;
  ASSERT_EQ(NewTree(), 0u);
  EXPECT_EQ(ImportInto(1, 0), 8u) << text;
  EXPECT_TRUE(Listing().empty());
  WriteFile(dir.P("src/a.txt"), "abc");
  ASSERT_EQ(BuildTree(Win(dir.P("src/a.txt")), "A.TXT", 0), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 0, 0, 0, 0, 0), 0u)
      << text;
  ASSERT_EQ(NewTree(), 0u);
  EXPECT_EQ(ImportInto(1, 0), 8u) << text;
  EXPECT_TRUE(Listing().empty());
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
  EXPECT_EQ(ImportInto(1, 0), 0u) << text;
  EXPECT_EQ(Listing(), (std::set<std::string>{"A.TXT=3"}));
}

struct Hostile {
  const char* name;
  void (*make)(craftediso::Image&);
  uint8_t joliet;
  HALVORIN_STATUS status;
  std::set<std::string> listing;  // what the tree holds afterwards
  const char* text = "";          // in the failure's text
};

// clang-format off
const Hostile kHostile[] = {
    {"Itself", [](auto& i) { Root(i, {{"LOOP", 20, 2048, 2}, {"F.TXT;1", 30, 1, 0}}); },
     0, 0, {"LOOP/", "F.TXT=1"}},
    {"Ancestor", [](auto& i) {
       Root(i, {{"A", 21, 2048, 2}});
       i.Directory(21, 2048, 20, 2048, {{"UP", 20, 2048, 2}, {"SAME", 21, 2048, 2}}); },
     0, 0, {"A/", "A/UP/", "A/SAME/"}},
    {"VisitedTwice", [](auto& i) {
       Root(i, {{"A", 21, 2048, 2}, {"B", 21, 2048, 2}});
       i.Directory(21, 2048, 20, 2048, {{"F;1", 30, 3, 0}}); },
     0, 0, {"A/", "A/F=3", "B/"}},
    {"ShortRecord", [](auto& i) { Root(i, {{"F.TXT;1", 30, 1, 0, 20}}); },
     0, 2, {}, "shorter than 34 bytes"},
    {"NamePastItsRecord", [](auto& i) { Root(i, {{"ABCDEFGH;1", 30, 1, 0, 36}}); },
     0, 2, {}, "its name runs past its end"},
    {"SizeZero", [](auto& i) { Root(i, {{"F.TXT;1", 30, 1, 0}}, 0); },
     0, 2, {}, "of 0 bytes is not a directory"},
    {"OddSize", [](auto& i) {  // the records reach the second sector
       std::vector<Record> many;
       for (int k = 0; k < 60; ++k) many.push_back({"F" + std::to_string(100 + k) + ";1", 30, 1, 0});
       Root(i, many, 2049); },
     0, 0, {}},
    {"HundredMegabytes", [](auto& i) { Root(i, {{"F.TXT;1", 30, 1, 0}}, 100 << 20); },
     0, 2, {}, "of 104857600 bytes is not a directory"},
    {"DirectoryPastTheDisc", [](auto& i) { Root(i, {{"A;1", 30, 1, 0}, {"FAR", 900000, 2048, 2}}); },
     0, 2, {}, "lies outside the track 0-63"},
    {"FilePastTheDisc", [](auto& i) { Root(i, {{"FAR.BIN;1", 62, 8192, 0}}); },
     0, 2, {}, "ends past the track"},
    {"ThreeHundredLevels", [](auto& i) { Levels(i, 300); },
     0, 2, {}, "deeper than 128 directory levels"},
    {"OddJolietName", [](auto& i) {
       i.Descriptors(20, 2048, 21, 2048);
       i.Directory(20, 2048, 20, 2048, {});
       i.Directory(21, 2048, 21, 2048,
                   {{std::string("\0a\0", 3), 30, 1, 0}, {craftediso::Ucs2(u"ok;1"), 30, 2, 0}}); },
     1, 0, {"ok=2"}},
    {"NulOrSlash", [](auto& i) {
       Root(i, {{std::string("A\0B;1", 5), 30, 1, 0}, {"C/D;1", 30, 1, 0}, {"E;1", 30, 1, 0}}); },
     0, 0, {"E=1"}},
    {"VersionSuffixes", [](auto& i) {
       Root(i, {{"README.TXT;1", 30, 1, 0}, {"A;1", 30, 2, 0}, {"AB", 30, 3, 0},
                {"EMPTY", 31, 2048, 2}});
       i.Directory(31, 2048, 20, 2048, {}); },
     0, 0, {"README.TXT=1", "A=2", "AB=3", "EMPTY/"}},
    {"ContiguousExtents", [](auto& i) {
       Root(i, {{"BIG.BIN;1", 30, 4096, 0x80}, {"BIG.BIN;1", 32, 100, 0}}); },
     0, 0, {"BIG.BIN=4196"}},
    {"ScatteredExtents", [](auto& i) {
       Root(i, {{"BIG.BIN;1", 30, 4096, 0x80}, {"BIG.BIN;1", 40, 100, 0}}); },
     0, 2, {}, "are not contiguous"},
    {"LastExtentMissing", [](auto& i) { Root(i, {{"BIG.BIN;1", 30, 4096, 0x80}}); },
     0, 2, {}, "The last extent of"},
};
// clang-format on

class HostileDisc : public Import, public ::testing::WithParamInterface<Hostile> {};

TEST_P(HostileDisc, GivesAStatusAndLeavesNoPartOfAFailedImport) {
  const Hostile& c = GetParam();
  craftediso::Image image(64);
  c.make(image);
  Press(image);
  ASSERT_EQ(NewTree(), 0u);
  EXPECT_EQ(ImportInto(1, c.joliet), c.status) << text;
  EXPECT_NE(std::string(text).find(c.text), std::string::npos) << text;
  if (c.status != 0) {  // not even the root it made, nor the levels it went down
    EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetRoot(tree), nullptr);
    EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetLevel(tree), 0u);
  }
  if (std::string(c.name) == "OddSize") {
    EXPECT_EQ(Listing().size(), 60u);
  } else {
    EXPECT_EQ(Listing(), c.listing);
  }
}

INSTANTIATE_TEST_SUITE_P(Discs, HostileDisc, ::testing::ValuesIn(kHostile),
                         [](const auto& info) { return std::string(info.param.name); });

// 127 folders nested in each other, each of 4 MiB and each starting one sector after its
// parent: every level is a new extent within the track. The walk reads no more than the track
// holds (and keeps no level's sectors while it reads the next), instead of 127 x 4 MiB.
TEST_F(Import, NestedOverlappingDirectoriesReadNoMoreThanTheTrack) {
  constexpr uint32_t kLevels = 127, kSectors = 2048;
  craftediso::Image image(64);
  image.Descriptors(20, kSectors * 2048);
  for (uint32_t k = 0; k < kLevels; ++k)
    image.Directory(20 + k, kSectors * 2048, k ? 19 + k : 20, kSectors * 2048,
                    k + 1 < kLevels ? std::vector<Record>{{"D", 21 + k, kSectors * 2048, 2}}
                                    : std::vector<Record>{});
  image.Sector(20 + kLevels + kSectors);  // the last folder's sectors lie on the disc
  const auto trackSectors = static_cast<uint32_t>(image.Bytes().size() / 2048);
  Press(image);
  ASSERT_EQ(NewTree(), 0u);
  at::ClearCdbLog(0);
  EXPECT_EQ(ImportInto(1, 0), 2u) << text;
  EXPECT_NE(std::string(text).find("directories overlap"), std::string::npos) << text;
  EXPECT_TRUE(Listing().empty());
  uint64_t read = 0;
  for (const auto& r : at::CdbLog(0))
    if (r.cdb[0] == 0x28) read += uint32_t(r.cdb[7] << 8 | r.cdb[8]);
  EXPECT_LE(read, trackSectors + 5) << "sectors read of a track of " << trackSectors;
}

// A name within a record but past the node's 260 bytes: the Joliet name is cut to the limit of
// an added one (103 characters) from the whole name, not from the node's shorter long name.
TEST_F(Import, AJolietNameOfMoreThan260UTF8BytesIsCutAsAnAddedOne) {
  const std::u16string name(108, u'\u65E5');  // 324 bytes of UTF-8
  craftediso::Image image(32);
  image.Descriptors(20, 2048, 21, 2048);
  image.Directory(20, 2048, 20, 2048, {});
  image.Directory(21, 2048, 21, 2048, {{craftediso::Ucs2(name + u";1"), 30, 5, 0}});
  Press(image);
  ASSERT_EQ(NewTree(), 0u);
  ASSERT_EQ(ImportInto(1, 1), 0u) << text;
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &error, 100, 0, 0,
                                                      "LONG", nullptr, nullptr),
            0u)
      << text;
  // The image alone: the imported file's data stays where the first session has it.
  std::vector<char> bytes(std::size_t(1) << 20);
  uint32_t high = 0;
  const uint32_t size = Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(tree, &high);
  ASSERT_LE(size, bytes.size());
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_Read(tree, text, sizeof text, &error, int32_t(size),
                                                bytes.data()),
            0u);
  // Built for sector 100: 100 empty sectors put it there.
  std::string padded(100 * 2048, '\0');
  padded.append(bytes.data(), size);
  WriteFile(dir.P("long.iso"), padded);
  std::string out;
  ASSERT_EQ(RunCommand("isoinfo -J -f -T 100 -i " + dir.P("long.iso"), &out), 0) << out;
  // isoinfo shows what its charset lacks as '_'.
  EXPECT_NE(out.find("/" + std::string(103, '_') + ";1\n"), std::string::npos) << out;
}

// An imported node's short name holds 12 bytes: characters are counted and cut whole, the
// extension is looked for in the last four characters, and the first eight go before it as far
// as the extension leaves room.
TEST_F(Import, ShortNamesOfImportedNodesAreCutByCharacters) {
  struct Case {
    std::u16string name;
    bool isDirectory;
    std::string shortName;
  };
  const Case cases[] = {
      {u"README.TXT", false, "README.TXT"},
      {u"Long file name number one.txt", false, "Long fil.txt"},
      {u"\u00C9t\u00E9 \u00E0 Z\u00FCrich.txt", false, "\xC3\x89t\xC3\xA9 \xC3\xA0.txt"},
      {u"\u65E5\u672C\u8A9E\u306E\u30D5\u30A1\u30A4\u30EB.c", false,
       "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.c"},
      {u"abcdefghijklmn.\u65E5\u672C", false, "abcde.\xE6\x97\xA5\xE6\x9C\xAC"},
      {u"\u65E5\u672C\u8A9E\u306E\u30D5\u30A9\u30EB\u30C0", true,
       "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE"},
  };
  craftediso::Image image(40);
  image.Descriptors(20, 2048, 21, 2048);
  image.Directory(20, 2048, 20, 2048, {});
  std::vector<Record> records;
  for (const Case& c : cases) {
    if (c.isDirectory) {
      records.push_back({craftediso::Ucs2(c.name), 22, 2048, 2});
    } else {
      records.push_back({craftediso::Ucs2(c.name + u";1"), 30, 1, 0});
    }
  }
  image.Directory(21, 2048, 21, 2048, records);
  image.Directory(22, 2048, 21, 2048, {});
  Press(image);
  ASSERT_EQ(NewTree(), 0u);
  ASSERT_EQ(ImportInto(1, 1), 0u) << text;
  std::map<std::string, std::string> shortNames;
  void* root = Halvorin_ISO9660JolietFileTree_GetRoot(tree);
  for (void* k = Halvorin_ISO9660JolietFileTree_GetFirstKid(tree, root); k;
       k = Halvorin_ISO9660JolietFileTree_GetNextKid(tree, root, k)) {
    char path[260], name[260], shortName[260];
    Halvorin_ISO9660JolietFileTree_GetNames(tree, k, path, name, shortName);
    shortNames[name] = shortName;
  }
  ASSERT_EQ(shortNames.size(), std::size(cases));
  for (const Case& c : cases) {
    std::string utf8;
    for (char16_t u : c.name) {  // the names above stay below U+0800 or within three bytes
      if (u < 0x80) {
        utf8 += static_cast<char>(u);
      } else if (u < 0x800) {
        utf8 += static_cast<char>(0xC0 | u >> 6);
        utf8 += static_cast<char>(0x80 | (u & 0x3F));
      } else {
        utf8 += static_cast<char>(0xE0 | u >> 12);
        utf8 += static_cast<char>(0x80 | (u >> 6 & 0x3F));
        utf8 += static_cast<char>(0x80 | (u & 0x3F));
      }
    }
    ASSERT_EQ(shortNames.count(utf8), 1u) << utf8;
    EXPECT_EQ(shortNames[utf8], c.shortName) << utf8;
  }
}

TEST_F(Import, ALargeDirectoryIsReadInTransfersOfAtMost30Sectors) {
  craftediso::Image image(80);
  std::vector<Record> many;
  for (int k = 0; k < 1200; ++k)
    many.push_back({"A_FILE_WITH_A_NAME_" + std::to_string(10000 + k) + ".TXT;1", 70, 7, 0});
  Root(image, many, 40 * 2048);
  Press(image);
  ASSERT_EQ(NewTree(), 0u);
  at::ClearCdbLog(0);
  ASSERT_EQ(ImportInto(1, 0), 0u) << text;
  EXPECT_EQ(Listing().size(), 1200u);
  int reads = 0;
  for (const auto& r : at::CdbLog(0))
    if (r.cdb[0] == 0x28) {
      ++reads;
      EXPECT_LE(r.cdb[7] << 8 | r.cdb[8], 30);
    }
  EXPECT_GE(reads, 3);  // the descriptors, then the directory in two transfers
}

}  // namespace
}  // namespace importtest
