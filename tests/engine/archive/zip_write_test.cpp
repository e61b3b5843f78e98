// Writing archives: levels, passwords, names, the definition entry, replacement, item failures,
// progress; every archive checked by tools nobody here wrote.
#include <libdeflate.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/engine/archive/zip.h"
#include "tests/engine/archive/zip_test_support.h"

using namespace zip_test;

namespace {

struct TSource {
  std::string relative;
  std::string content;
};

std::vector<TSource> Sources() {
  return {
      {"src/text.txt", TextBytes(4000, 1)},
      {"src/noise.bin", NoiseBytes(100000, 2)},
      {"src/empty.txt", ""},
      {"src/\xC3\xA4pfel \xC3\x9F.txt", "umlaut name"},
      {"src/\xE6\x97\xA5\xE6\x9C\xAC/\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF.txt", TextBytes(10, 3)},
      {"src/sub/$PRJDEF$.QVP", "a user's own file of the definition's name"},
  };
}

const char kDefinition[] = "project definition stream";

class ZipWriteTest : public ZipTest {
 protected:
  // Writes the definition and every source into out/job.qvp; returns the archive's POSIX path.
  std::string WriteArchive(bool compress, int level, const std::string& password, THelper& helper) {
    WriteFile(dir.P("tmp/$PRJDEF$.QVP"), kDefinition);
    for (const TSource& s : Sources()) WriteFile(dir.P(s.relative), s.content);
    std::filesystem::create_directories(dir.P("out"));
    TZip zip;
    zip.CreateForWrite(dir.W("out/job.qvp"));
    zip.AttachHelper(&helper);
    zip.SetCompression(compress, level);
    zip.SetPassword(!password.empty(), password);
    zip.AddDefinition(dir.W("tmp/$PRJDEF$.QVP"));
    for (const TSource& s : Sources()) zip.AddFile(dir.W(s.relative));
    EXPECT_TRUE(zip.Execute());
    EXPECT_TRUE(zip.FailedItems().empty());
    return dir.P("out/job.qvp");
  }

  std::vector<std::pair<std::string, std::string>> Expected() const {
    std::vector<std::pair<std::string, std::string>> expected = {
        {"$PRJDEF$.QVP", dir.P("tmp/$PRJDEF$.QVP")}};
    for (const TSource& s : Sources())
      expected.emplace_back(Stored(dir.P(s.relative)), dir.P(s.relative));
    return expected;
  }
};

struct TLevelCase {
  const char* name;
  bool compress;
  int level;  // the project's CompressionLevel
  const char* password;
};

class ZipLevelTest : public ZipWriteTest, public ::testing::WithParamInterface<TLevelCase> {};

// Every level with and without password: the outside tools accept the archive and read every
// entry back, and the archive restores through TZip with one password prompt at most.
TEST_P(ZipLevelTest, ToolsReadBackEveryEntry) {
  const TLevelCase& c = GetParam();
  THelper helper;
  const std::string archive = WriteArchive(c.compress, c.level, c.password, helper);
  EXPECT_EQ(FolderNames(dir.P("out")), std::vector<std::string>{"job.qvp"});

  std::string out;
  EXPECT_TRUE(UnzipTest(archive, c.password, &out)) << out;
  EXPECT_TRUE(ZipinfoOk(archive, &out)) << out;
  EXPECT_TRUE(SevenZipTest(archive, c.password, &out)) << out;
  EXPECT_TRUE(PythonReadsBack(archive, c.password, Expected(), dir.Posix(), &out)) << out;

  TZip reader;
  THelper readHelper;
  reader.OpenForExtract(Win(archive));
  reader.AttachHelper(&readHelper);
  const auto expected = Expected();
  ASSERT_EQ(reader.Entries().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const TZipEntry& e = reader.Entries()[i];
    EXPECT_EQ(e.storedName, expected[i].first);
    EXPECT_EQ(e.definition, i == 0) << e.storedName;
    EXPECT_EQ(e.encrypted, *c.password && e.size > 0) << e.storedName;
  }
  if (*c.password) ui->passwords = {std::string(c.password)};
  const auto definition = reader.ReadDefinition();
  ASSERT_TRUE(definition);
  EXPECT_EQ(std::string(definition->begin(), definition->end()), kDefinition);

  readHelper.restoreElsewhere = true;
  reader.SetBaseFolder(dir.W("restored"));
  ASSERT_TRUE(reader.Execute());
  EXPECT_TRUE(reader.FailedItems().empty());
  for (const TSource& s : Sources())
    EXPECT_EQ(ReadFile(dir.P("restored/Z" + dir.P(s.relative))), s.content) << s.relative;
  EXPECT_FALSE(std::filesystem::exists(dir.P("restored/$PRJDEF$.QVP")));
  EXPECT_EQ(ui->passwordPrompts, *c.password ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(LevelsAndPasswords, ZipLevelTest,
                         ::testing::Values(TLevelCase{"Store", false, 0, ""},
                                           TLevelCase{"StorePassword", false, 0, "s3cr\xC3\xABt"},
                                           TLevelCase{"Normal", true, 0, ""},
                                           TLevelCase{"NormalPassword", true, 0, "pw"},
                                           TLevelCase{"Maximum", true, 1, ""},
                                           TLevelCase{"MaximumPassword", true, 1, "pw"},
                                           TLevelCase{"Fast", true, 2, ""},
                                           TLevelCase{"FastPassword", true, 2, "pw"},
                                           TLevelCase{"SuperFast", true, 3, ""},
                                           TLevelCase{"SuperFastPassword", true, 3, "pw"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Each preset is the deflate level of the table: the entry's compressed bytes are libdeflate's
// raw deflate of the same bytes at that level, which Python's zlib inflates back.
TEST_F(ZipWriteTest, PresetsDeflateAtTheirLevels) {
  const std::string text = TextBytes(20000, 9);
  WriteFile(dir.P("src/text.txt"), text);
  const std::pair<int, int> presets[] = {{0, 6}, {1, 9}, {2, 3}, {3, 1}};
  std::vector<long> sizes;
  for (const auto& [preset, deflateLevel] : presets) {
    EXPECT_EQ(DeflateLevelFor(preset), deflateLevel);
    const std::string archive = dir.P("level" + std::to_string(preset) + ".qvp");
    TZip zip;
    zip.CreateForWrite(Win(archive));
    zip.SetCompression(true, preset);
    zip.AddFile(dir.W("src/text.txt"));
    ASSERT_TRUE(zip.Execute());
    std::string out;
    ASSERT_EQ(RunCommand(std::string(QUORVA_PYTHON) + " -c " +
                             Quote("import sys, zipfile, zlib\n"
                                   "z = zipfile.ZipFile(sys.argv[1])\n"
                                   "i = z.infolist()[0]\n"
                                   "ok = z.read(i) == open(sys.argv[2], 'rb').read()\n"
                                   "print(i.compress_size, i.compress_type, ok)") +
                             " " + Quote(archive) + " " + Quote(dir.P("src/text.txt")),
                         &out),
              0)
        << out;
    long inArchive = 0;
    int method = 0;
    char ok[8] = {};
    ASSERT_EQ(std::sscanf(out.c_str(), "%ld %d %7s", &inArchive, &method, ok), 3) << out;
    EXPECT_EQ(method, 8);
    EXPECT_STREQ(ok, "True");
    libdeflate_compressor* c = libdeflate_alloc_compressor(deflateLevel);
    ASSERT_NE(c, nullptr);
    std::vector<std::uint8_t> packed(libdeflate_deflate_compress_bound(c, text.size()));
    const size_t raw =
        libdeflate_deflate_compress(c, text.data(), text.size(), packed.data(), packed.size());
    libdeflate_free_compressor(c);
    EXPECT_EQ(inArchive, static_cast<long>(raw)) << "preset " << preset;
    sizes.push_back(inArchive);
  }
  // maximum < normal < fast < super fast
  EXPECT_LT(sizes[1], sizes[0]);
  EXPECT_LT(sizes[0], sizes[2]);
  EXPECT_LT(sizes[2], sizes[3]);
}

// A project with no files: only the definition entry, and the tools accept it.
TEST_F(ZipWriteTest, ArchiveWithOnlyTheDefinition) {
  WriteFile(dir.P("tmp/def.tmp"), kDefinition);
  for (const char* password : {"", "pw"}) {
    const std::string archive = dir.P(std::string("only") + (*password ? "-pw" : "") + ".qvp");
    TZip zip;
    zip.CreateForWrite(Win(archive));
    zip.SetCompression(true, 0);
    zip.SetPassword(*password != 0, password);
    zip.AddDefinition(dir.W("tmp/def.tmp"));
    ASSERT_TRUE(zip.Execute());
    std::string out;
    EXPECT_TRUE(UnzipTest(archive, password, &out)) << out;
    EXPECT_TRUE(ZipinfoOk(archive, &out)) << out;
    EXPECT_TRUE(SevenZipTest(archive, password, &out)) << out;
    EXPECT_TRUE(PythonReadsBack(archive, password, {{"$PRJDEF$.QVP", dir.P("tmp/def.tmp")}},
                                dir.Posix(), &out))
        << out;
    TZip reader;
    reader.OpenForExtract(Win(archive));
    ASSERT_EQ(reader.Entries().size(), 1u);
    EXPECT_TRUE(reader.Entries()[0].definition);
  }
}

// Same stored name: one entry in the place of the first; names differing in case are two files.
TEST_F(ZipWriteTest, SameNameReplacesExactly) {
  WriteFile(dir.P("a.txt"), "lower");
  WriteFile(dir.P("A.txt"), "upper");
  TZip zip;
  zip.CreateForWrite(dir.W("job.qvp"));
  zip.AddFile(dir.W("a.txt"));
  zip.AddFile(dir.W("A.txt"));
  zip.AddFile(dir.W("a.txt"));
  ASSERT_TRUE(zip.Execute());

  std::string out;
  EXPECT_TRUE(PythonReadsBack(
      dir.P("job.qvp"), "",
      {{Stored(dir.P("a.txt")), dir.P("a.txt")}, {Stored(dir.P("A.txt")), dir.P("A.txt")}},
      dir.Posix(), &out))
      << out;
}

// Only the file given as the definition is the definition entry; a file of that name among the
// files is stored under its full path, and an archive without one has none.
TEST_F(ZipWriteTest, DefinitionIsOnlyTheFileAddedAsSuch) {
  WriteFile(dir.P("data/$PRJDEF$.QVP"), "user file");
  TZip zip;
  zip.CreateForWrite(dir.W("job.qvp"));
  zip.AddFile(dir.W("data/$PRJDEF$.QVP"));
  ASSERT_TRUE(zip.Execute());
  TZip reader;
  reader.OpenForExtract(dir.W("job.qvp"));
  ASSERT_EQ(reader.Entries().size(), 1u);
  EXPECT_EQ(reader.Entries()[0].storedName, Stored(dir.P("data/$PRJDEF$.QVP")));
  EXPECT_FALSE(reader.Entries()[0].definition);
  EXPECT_FALSE(reader.ReadDefinition());
}

// Files that vanished, are folders, or grew while read are item failures: logged, the last one
// kept in ZipErrorText, listed for the run; the archive holds the others and stays sound.
TEST_F(ZipWriteTest, UnreadableFilesAreItemFailuresAndTheRunGoesOn) {
  WriteFile(dir.P("good.txt"), "good");
  WriteFile(dir.P("gone.txt"), "soon gone");
  std::filesystem::create_directories(dir.P("folder"));
  TZip zip;
  zip.CreateForWrite(dir.W("job.qvp"));
  zip.AddFile(dir.W("gone.txt"));
  zip.AddFile(dir.W("folder"));
  zip.AddFile(dir.W("good.txt"));
  zip.AddFile("Z:\\proc\\self\\status");  // stat size 0, yet it has bytes: it grew
  std::filesystem::remove(dir.P("gone.txt"));
  ASSERT_TRUE(zip.Execute());

  const std::vector<std::string> failed = {dir.W("gone.txt"), dir.W("folder"),
                                           "Z:\\proc\\self\\status"};
  EXPECT_EQ(zip.FailedItems(), failed);
  const auto errors = Errors();
  ASSERT_EQ(errors.size(), 3u);
  for (size_t i = 0; i < 3; ++i)
    EXPECT_NE(errors[i].find(failed[i]), std::string::npos) << errors[i];
  EXPECT_EQ(ZipErrorText.Get(), "[" + errors.back() + "]");

  std::string out;
  EXPECT_TRUE(UnzipTest(dir.P("job.qvp"), "", &out)) << out;
  TZip reader;
  reader.OpenForExtract(dir.W("job.qvp"));
  std::vector<std::string> names;
  for (const TZipEntry& e : reader.Entries()) names.push_back(e.storedName);
  EXPECT_EQ(names, (std::vector<std::string>{Stored(dir.P("good.txt")), "Z\\proc\\self\\status"}));
}

TEST_F(ZipWriteTest, EncryptionWithAnEmptyPasswordFails) {
  WriteFile(dir.P("a.txt"), "a");
  TZip zip;
  zip.CreateForWrite(dir.W("job.qvp"));
  zip.SetPassword(true, "");
  zip.AddFile(dir.W("a.txt"));
  EXPECT_THROW(zip.Execute(), EZipError);
  EXPECT_EQ(FolderNames(dir.Posix()), std::vector<std::string>{"a.txt"});
}

TEST_F(ZipWriteTest, CreatingInAMissingFolderFails) {
  TZip zip;
  try {
    zip.CreateForWrite(dir.W("missing/job.qvp"));
    FAIL() << "no error";
  } catch (const EZipError& e) {
    EXPECT_NE(std::string(e.what()).find("job.qvp"), std::string::npos) << e.what();
  }
}

// The progress of adding: position := round(counter × span ÷ total) + base, halves to even; the
// status is the file's path; the status bar follows each entry's percentage.
TEST_F(ZipWriteTest, ProgressMapping) {
  THelper helper;
  helper.progressBase = 40;
  helper.progressSpan = 55;
  helper.progressTotal = 4;
  const int expected[] = {40, 54, 68, 81};
  for (int i = 0; i < 4; ++i) {
    const std::string path = "Z:\\data\\f" + std::to_string(i);
    EXPECT_EQ(helper.AddItem(path, false), "Z\\data\\f" + std::to_string(i));
    EXPECT_EQ(ProgressPosition.load(), expected[i]);
    EXPECT_EQ(ProgressStatus.Get(), path);
  }
  EXPECT_EQ(helper.AddItem("Z:\\tmp\\x.tmp", true), "$PRJDEF$.QVP");
  THelper half;
  half.progressSpan = 5;
  half.progressTotal = 2;
  half.progressCounter = 1;
  half.AddItem("Z:\\a", false);
  EXPECT_EQ(ProgressPosition.load(), 2);  // 2.5 rounds to even

  ui->barMaximum = 7;
  EXPECT_FALSE(helper.ArchiveItemProgress(50));  // 3.5 -> 4
  EXPECT_FALSE(helper.ArchiveItemProgress(100));
  EXPECT_EQ(ui->barPositions, (std::vector<int>{4, 7}));
  ProgressCancelled = true;
  EXPECT_TRUE(helper.ArchiveItemProgress(100));
  EXPECT_TRUE(helper.AbortQuery());
  EXPECT_FALSE(helper.RequestVolume(1, "Z:\\a\\job.qvp"));
}

// Through a whole write: the backup run's base 40, span 55, total n + 1 ends at
// round(n × 55 ÷ (n + 1)) + 40 for the last entry.
TEST_F(ZipWriteTest, ExecuteMovesTheProgressPerEntry) {
  WriteFile(dir.P("def"), kDefinition);
  for (int i = 0; i < 3; ++i) WriteFile(dir.P("f" + std::to_string(i)), "x");
  THelper helper;
  helper.progressBase = 40;
  helper.progressSpan = 55;
  helper.progressTotal = 4;
  TZip zip;
  zip.CreateForWrite(dir.W("job.qvp"));
  zip.AttachHelper(&helper);
  zip.AddDefinition(dir.W("def"));
  for (int i = 0; i < 3; ++i) zip.AddFile(dir.W("f" + std::to_string(i)));
  ASSERT_TRUE(zip.Execute());
  EXPECT_EQ(helper.progressCounter, 4);
  EXPECT_EQ(ProgressPosition.load(), 81);
  EXPECT_EQ(ProgressStatus.Get(), dir.W("f2"));
}

// An entry and an archive over 4 GiB (ZIP64): a 5 GiB sparse file stored, then a small file
// whose offset is past 4 GiB.
TEST_F(ZipWriteTest, Zip64EntryAndArchiveOverFourGiB) {
  const char* big = std::getenv("QUORVA_BIG_TESTS");
  if (!big || std::string(big) != "1")
    GTEST_SKIP() << "multi-gigabyte test: set QUORVA_BIG_TESTS=1";
  const std::uint64_t size = 5ull << 30;
  WriteFile(dir.P("src/small.txt"), "after the big one");
  WriteFile(dir.P("src/big.bin"), "");
  std::filesystem::resize_file(dir.P("src/big.bin"), size);
  TZip zip;
  zip.CreateForWrite(dir.W("job.qvp"));
  zip.AddFile(dir.W("src/big.bin"));
  zip.AddFile(dir.W("src/small.txt"));
  ASSERT_TRUE(zip.Execute());
  EXPECT_TRUE(zip.FailedItems().empty());
  EXPECT_GT(std::filesystem::file_size(dir.P("job.qvp")), size);

  std::string out;
  EXPECT_TRUE(UnzipTest(dir.P("job.qvp"), "", &out)) << out;
  EXPECT_TRUE(ZipinfoOk(dir.P("job.qvp"), &out)) << out;
  EXPECT_TRUE(SevenZipTest(dir.P("job.qvp"), "", &out)) << out;
  EXPECT_TRUE(PythonReadsBack(dir.P("job.qvp"), "",
                              {{Stored(dir.P("src/big.bin")), dir.P("src/big.bin")},
                               {Stored(dir.P("src/small.txt")), dir.P("src/small.txt")}},
                              dir.Posix(), &out))
      << out;

  TZip reader;
  THelper helper;
  reader.OpenForExtract(dir.W("job.qvp"));
  reader.AttachHelper(&helper);
  ASSERT_EQ(reader.Entries().size(), 2u);
  EXPECT_EQ(reader.Entries()[0].size, size);
  helper.restoreElsewhere = true;
  reader.SetBaseFolder(dir.W("restored"));
  ASSERT_TRUE(reader.Extract({Stored(dir.P("src/small.txt"))}));
  EXPECT_EQ(ReadFile(dir.P("restored/Z" + dir.P("src/small.txt"))), "after the big one");
}

}  // namespace
