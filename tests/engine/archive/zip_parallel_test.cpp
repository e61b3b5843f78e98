// The archive written and restored on every core: a large file in chunks next to many small
// files, with a password and floppy-sized volumes; cancel while the workers compress; a file
// that cannot be read among others; the same tree restored through the workers and through
// the split archive's own reader.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/engine/archive/zip.h"
#include "tests/engine/archive/zip_test_support.h"

using namespace zip_test;

namespace {

bool BigTests() {
  const char* big = std::getenv("QUORVA_BIG_TESTS");
  return big && std::string(big) == "1";
}

class ZipParallelTest : public ZipTest {
 protected:
  // A file of `size` bytes: runs of text and of noise, so that the chunks deflate unevenly.
  void WriteMixedFile(const std::string& posix, std::uint64_t size) {
    std::filesystem::create_directories(std::filesystem::path(posix).parent_path());
    FILE* f = std::fopen(posix.c_str(), "wb");
    ASSERT_TRUE(f);
    const std::string text = TextBytes(3000, 5);
    std::uint64_t done = 0;
    for (std::uint32_t block = 0; done < size; ++block) {
      const std::string piece = block % 3 == 2 ? NoiseBytes(300000, block) : text;
      const size_t n = static_cast<size_t>(std::min<std::uint64_t>(piece.size(), size - done));
      ASSERT_EQ(std::fwrite(piece.data(), 1, n, f), n);
      done += n;
    }
    std::fclose(f);
  }

  // The big file and the small ones below src/; returns every source's POSIX path.
  std::vector<std::string> WriteTree(std::uint64_t bigSize, int smallFiles) {
    std::vector<std::string> sources;
    for (int i = 0; i < smallFiles; ++i) {
      if (i == smallFiles / 2) {
        sources.push_back(dir.P("src/big.bin"));
        WriteMixedFile(sources.back(), bigSize);
      }
      const std::string p = dir.P("src/d" + std::to_string(i % 17) + "/f" + std::to_string(i));
      std::filesystem::create_directories(std::filesystem::path(p).parent_path());
      WriteFile(p, i % 4 == 0 ? NoiseBytes(static_cast<size_t>(i % 3000), i)
                              : TextBytes(static_cast<size_t>(i % 40), i));
      sources.push_back(p);
    }
    return sources;
  }

  bool WriteArchive(const std::string& archive, const std::vector<std::string>& sources,
                    const std::string& password, std::uint64_t volumeSize, THelper& helper,
                    bool compress = true) {
    TZip zip;
    zip.CreateForWrite(Win(archive));
    zip.AttachHelper(&helper);
    zip.SetCompression(compress, 0);
    zip.SetPassword(!password.empty(), password);
    zip.SetVolumeSize(volumeSize);
    for (const std::string& s : sources) zip.AddFile(Win(s));
    return zip.Execute();
  }

  // Restores the whole archive below restored/<name>/ and compares every source.
  void RestoreAndCompare(const std::string& archive, const std::vector<std::string>& sources,
                         const std::string& name, const std::string& password) {
    TZip reader;
    THelper helper;
    if (!password.empty()) reader.SetPassword(true, password);
    reader.OpenForExtract(Win(archive));
    reader.AttachHelper(&helper);
    helper.restoreElsewhere = true;
    reader.SetBaseFolder(dir.W("restored/" + name));
    ASSERT_TRUE(reader.Execute());
    EXPECT_TRUE(reader.FailedItems().empty());
    EXPECT_EQ(ui->passwordPrompts, 0);
    ASSERT_EQ(reader.Entries().size(), sources.size());
    for (size_t i = 0; i < sources.size(); ++i) {
      EXPECT_EQ(reader.Entries()[i].storedName, Stored(sources[i])) << "entries in run order";
      const std::string restored = dir.P("restored/" + name + "/Z" + sources[i]);
      ASSERT_EQ(RunCommand("cmp -s " + Quote(sources[i]) + " " + Quote(restored)), 0) << sources[i];
    }
  }

  void RoundTrip(std::uint64_t bigSize, int smallFiles) {
    const std::vector<std::string> sources = WriteTree(bigSize, smallFiles);
    const std::string password = "p\xC3\xA4ss";
    std::filesystem::create_directories(dir.P("one"));
    std::filesystem::create_directories(dir.P("split"));
    THelper one, split;
    ASSERT_TRUE(WriteArchive(dir.P("one/job.qvp"), sources, password, 0, one));
    ASSERT_TRUE(WriteArchive(dir.P("split/job.qvp"), sources, password, VolumeSizeFor(0), split));
    EXPECT_TRUE(Errors().empty());
    EXPECT_GT(split.volumeNames.size(), 2u);

    std::string out;
    EXPECT_TRUE(UnzipTest(dir.P("one/job.qvp"), password, &out)) << out;
    EXPECT_TRUE(SevenZipTest(dir.P("one/job.qvp"), password, &out)) << out;
    EXPECT_TRUE(ZipinfoOk(dir.P("one/job.qvp"), &out)) << out;
    // The slices put together are the same kind of archive.
    std::string cat = "cat " + Quote(dir.P("split/job.qvp"));
    for (const std::string& v : split.volumeNames)
      cat += " " + Quote(std::string(v).replace(0, 2, ""));
    for (char& c : cat)
      if (c == '\\') c = '/';
    ASSERT_EQ(RunCommand(cat + " > " + Quote(dir.P("joined.zip"))), 0);
    EXPECT_TRUE(UnzipTest(dir.P("joined.zip"), password, &out)) << out;

    RestoreAndCompare(dir.P("one/job.qvp"), sources, "one", password);
    RestoreAndCompare(dir.P("split/job.qvp"), sources, "split", password);
  }
};

TEST_F(ZipParallelTest, LargeFileAndSmallFilesWithPasswordAndVolumes) {
  RoundTrip(9u << 20, 600);
}

TEST_F(ZipParallelTest, GigabyteFileAndFiveThousandFilesWithPasswordAndVolumes) {
  if (!BigTests()) GTEST_SKIP() << "set QUORVA_BIG_TESTS=1";
  RoundTrip(1ull << 30, 5000);
}

// A large file stored in chunks (the sizes follow its data) with a password: the tools accept
// it and it restores.
TEST_F(ZipParallelTest, LargeFileStoredInChunks) {
  const std::vector<std::string> sources = {dir.P("src/big.bin"), dir.P("src/small.txt")};
  WriteMixedFile(sources[0], 7u << 20);
  WriteFile(sources[1], "after the big one");
  std::filesystem::create_directories(dir.P("out"));
  THelper helper;
  ASSERT_TRUE(WriteArchive(dir.P("out/job.qvp"), sources, "pw", 0, helper, false));
  std::string out;
  EXPECT_TRUE(UnzipTest(dir.P("out/job.qvp"), "pw", &out)) << out;
  EXPECT_TRUE(SevenZipTest(dir.P("out/job.qvp"), "pw", &out)) << out;
  RestoreAndCompare(dir.P("out/job.qvp"), sources, "stored", "pw");
}

// Cancelled in the first entry while the workers are busy with the next ones: the previous
// archive stays as it was and no temporary file is left.
TEST_F(ZipParallelTest, CancelDuringCompressionLeavesThePreviousArchive) {
  std::filesystem::create_directories(dir.P("out"));
  WriteFile(dir.P("old/previous.txt"), TextBytes(100, 1));
  {
    THelper helper;
    ASSERT_TRUE(WriteArchive(dir.P("out/job.qvp"), {dir.P("old/previous.txt")}, "", 0, helper));
  }
  const std::string previous = ReadFile(dir.P("out/job.qvp"));
  // The big file first: its first chunk is placed while the workers compress the others.
  std::vector<std::string> sources = {dir.P("src/big.bin")};
  WriteMixedFile(sources.back(), 12u << 20);
  for (int i = 0; i < 64; ++i) {
    sources.push_back(dir.P("src/f" + std::to_string(i)));
    WriteFile(sources.back(), TextBytes(2000, i));
  }
  ui->onBarPosition = [&](int) { ProgressCancelled = true; };
  THelper helper;
  EXPECT_FALSE(WriteArchive(dir.P("out/job.qvp"), sources, "pw", 0, helper));
  EXPECT_EQ(helper.progressCounter, 1);
  EXPECT_EQ(FolderNames(dir.P("out")), std::vector<std::string>{"job.qvp"});
  EXPECT_EQ(ReadFile(dir.P("out/job.qvp")), previous);
}

// A file whose bytes cannot be read, amid others handled by the same workers: only its entry
// fails; every other entry holds its file.
TEST_F(ZipParallelTest, UnreadableFileFailsOnlyItsEntry) {
  std::vector<std::string> sources;
  for (int i = 0; i < 40; ++i) {
    if (i == 20) sources.push_back("/proc/self/mem");  // open succeeds, every read fails
    sources.push_back(dir.P("src/f" + std::to_string(i)));
    WriteFile(sources.back(), TextBytes(static_cast<size_t>(50 + i), i));
  }
  sources.push_back(dir.P("src/big.bin"));
  WriteMixedFile(sources.back(), 6u << 20);
  std::filesystem::create_directories(dir.P("out"));
  TZip zip;
  THelper helper;
  zip.CreateForWrite(dir.W("out/job.qvp"));
  zip.AttachHelper(&helper);
  zip.SetCompression(true, 0);
  for (const std::string& s : sources) zip.AddFile(Win(s));
  ASSERT_TRUE(zip.Execute());
  EXPECT_EQ(zip.FailedItems(), std::vector<std::string>{"Z:\\proc\\self\\mem"});
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_NE(Errors()[0].find("Z:\\proc\\self\\mem"), std::string::npos) << Errors()[0];

  std::string out;
  EXPECT_TRUE(UnzipTest(dir.P("out/job.qvp"), "", &out)) << out;
  std::vector<std::pair<std::string, std::string>> expected;
  for (const std::string& s : sources)
    if (s.rfind("/proc/", 0) != 0) expected.emplace_back(Stored(s), s);
  TZip reader;
  THelper readHelper;
  reader.OpenForExtract(dir.W("out/job.qvp"));
  reader.AttachHelper(&readHelper);
  readHelper.restoreElsewhere = true;
  reader.SetBaseFolder(dir.W("restored"));
  std::vector<std::string> names;
  for (const auto& e : expected) names.push_back(e.first);
  ASSERT_TRUE(reader.Extract(names));
  EXPECT_TRUE(reader.FailedItems().empty());
  for (const auto& [stored, source] : expected)
    EXPECT_EQ(ReadFile(dir.P("restored/Z" + source)), ReadFile(source)) << source;
}

}  // namespace
