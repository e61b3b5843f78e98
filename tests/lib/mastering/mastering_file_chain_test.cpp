// File objects and chains: back-to-back reads, padding, short files, MPEG units, rewinds.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "halvorin.h"
#include "lib/mastering/tree/file_chain.h"
#include "lib/mastering/tree/file_objects.h"
#include "tests/lib/lib_test_support.h"
#include "tests/support/temp_dir.h"

namespace libtest {
namespace {

std::string Win(const std::string& posix) {
  std::string w = "Z:" + posix;
  for (char& c : w)
    if (c == '/') c = '\\';
  return w;
}

TEST(FileChainTest, ReadsFilesBackToBackAndFailsPastTheEnd) {
  const std::uint8_t a[] = {1, 2, 3, 4, 5}, c[] = {6, 7, 8, 9, 10, 11, 12};
  CHalvorin_MemoryFile f1(a, 5), f2(nullptr, 0), f3(c, 7);
  CHalvorin_FileChain chain;
  chain.AddChainTail(&f1);
  chain.AddChainTail(&f2);
  chain.AddChainTail(&f3);
  EXPECT_EQ(chain.GetSizeInUCHARs(), 12u);
  chain.SeekToBegin();
  std::vector<std::uint8_t> out(12);
  chain.Read(12, out.data());
  EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  auto t = Catch([&] { chain.Read(1, out.data()); });
  EXPECT_EQ(t.Status(), 3);
  EXPECT_NE(t.Text().find("m__PCHalvorin_File__Next is NULL"), std::string::npos);
}

TEST(FileChainTest, EmptyChainAndNullFilesAreRefused) {
  CHalvorin_FileChain chain;
  std::uint8_t b[1];
  EXPECT_EQ(Catch([&] { chain.Read(1, b); }).Status(), 3);
  EXPECT_EQ(Catch([&] { chain.SeekToBegin(); }).Status(), 3);
  EXPECT_EQ(Catch([&] { chain.AddChainTail(nullptr); }).Status(), 2);
  EXPECT_EQ(Catch([&] { chain.AddChainHead(nullptr); }).Status(), 2);
}

TEST(FileChainTest, TailAfterReadAndHeadLinkAtTheRealEnds) {
  const std::uint8_t a[] = {1, 2}, b[] = {3, 4}, h[] = {9}, c[] = {5};
  CHalvorin_MemoryFile fa(a, 2), fb(b, 2), fh(h, 1), fc(c, 1);
  CHalvorin_FileChain chain;
  chain.AddChainTail(&fa);
  chain.AddChainTail(&fb);
  chain.SeekToBegin();
  std::uint8_t out[6] = {};
  chain.Read(1, out);  // moves the current file; the tail must stay the tail
  chain.AddChainTail(&fc);
  chain.AddChainHead(&fh);
  chain.SeekToBegin();
  chain.Read(6, out);
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 6), (std::vector<std::uint8_t>{9, 1, 2, 3, 4, 5}));
}

TEST(FileChainTest, RewindOfFortyFilesRestartsAtTheHead) {
  std::vector<std::uint8_t> bytes(40);
  for (int i = 0; i < 40; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  std::vector<std::unique_ptr<CHalvorin_MemoryFile>> files;
  CHalvorin_FileChain chain;
  for (int i = 0; i < 40; ++i) {
    files.push_back(std::make_unique<CHalvorin_MemoryFile>(&bytes[i], 1));
    chain.AddChainTail(files.back().get());
  }
  std::vector<std::uint8_t> out(40);
  for (int pass = 0; pass < 2; ++pass) {
    chain.SeekToBegin();
    chain.Read(40, out.data());
    EXPECT_EQ(out, bytes);
  }
}

TEST(FileChainTest, MemoryFileDeliversItsBlockThenZerosNeverBeyond) {
  // The block sits in a larger buffer whose bytes past the block must never appear.
  std::vector<std::uint8_t> buffer(100, 0xEE);
  for (int i = 0; i < 10; ++i) buffer[i] = static_cast<std::uint8_t>(i + 1);
  CHalvorin_MemoryFile file(buffer.data(), 10, 2048);
  CHalvorin_FileChain chain;
  chain.AddChainTail(&file);
  chain.SeekToBegin();
  std::vector<std::uint8_t> out(2048, 0x55);
  chain.Read(2048, out.data());
  for (int i = 0; i < 10; ++i) EXPECT_EQ(out[i], i + 1);
  for (int i = 10; i < 2048; ++i) ASSERT_EQ(out[i], 0) << i;
}

TEST(FileChainTest, DiskFilesPadWithZerosButAShortFileFails) {
  TempDir dir;
  WriteFile(dir.P("f.bin"), "abc");
  {
    CHalvorin_UnLockedDiskFile padded(Win(dir.P("f.bin")).c_str(), 3, 2048);
    CHalvorin_FileChain chain;
    chain.AddChainTail(&padded);
    chain.SeekToBegin();
    std::vector<char> out(2048, 'z');
    chain.Read(2048, reinterpret_cast<std::uint8_t*>(out.data()));
    EXPECT_EQ(std::string(out.data(), 3), "abc");
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(out[2047], 0);
  }
  // A file that shrank below its recorded size is a failure, not zeros.
  CHalvorin_DiskFile shrunk(Win(dir.P("f.bin")).c_str(), 10, 2048);
  CHalvorin_FileChain chain;
  chain.AddChainTail(&shrunk);
  chain.SeekToBegin();
  std::vector<std::uint8_t> out(2048);
  const auto t = Catch([&] { chain.Read(2048, out.data()); });
  EXPECT_EQ(t.Status(), 10);
  EXPECT_NE(t.Text().find("shorter than its size"), std::string::npos) << t.Text();
}

// A file deleted after it was added fails with the Open text at the rewind before the pass,
// and at the first read when nothing rewound the chain.
TEST(FileChainTest, UnlockedDiskFileOfADeletedFileFailsWithTheOpenText) {
  TempDir dir;
  WriteFile(dir.P("gone.bin"), "data");
  CHalvorin_UnLockedDiskFile file(Win(dir.P("gone.bin")).c_str(), 4);
  CHalvorin_FileChain chain;
  chain.AddChainTail(&file);
  chain.SeekToBegin();  // still there: rewound, and no handle kept
  std::remove(dir.P("gone.bin").c_str());
  const auto rewind = Catch([&] { chain.SeekToBegin(); });
  EXPECT_EQ(rewind.Status(), 5);
  EXPECT_NE(rewind.Text().find("CHalvorin_UnLockedDiskFile::Open(): CreateFile("),
            std::string::npos)
      << rewind.Text();
  std::uint8_t out[4];
  const auto read = Catch([&] { chain.Read(4, out); });
  EXPECT_EQ(read.Status(), 5);
  EXPECT_NE(read.Text().find("CHalvorin_UnLockedDiskFile::Open(): CreateFile("), std::string::npos)
      << read.Text();
  EXPECT_EQ(Catch([&] { CHalvorin_DiskFile missing(Win(dir.P("none")).c_str()); }).Status(), 5);
}

// Through the exports: the build's rewind finds a file deleted since Add, so nothing is written.
TEST(FileChainTest, TreeFileDeletedAfterAddFailsTheBuild) {
  TempDir dir;
  WriteFile(dir.P("src/keep.txt"), "keep");
  WriteFile(dir.P("src/gone.txt"), "gone");
  Halvorin_UpStart();
  char text[512] = {};
  uint32_t error = 0;
  void* tree = nullptr;
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &error, nullptr,
                                                  nullptr, 0, 0, 0, 1),
            0u);
  void* parent = nullptr;
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &error,
                                               Win(dir.P("src")).c_str(), nullptr, 2, &parent),
            0u)
      << text;
  std::remove(dir.P("src/gone.txt").c_str());
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &error, 0, 0, 1,
                                                      "QUORVABACKUP", "QB.exe", "QB.exe"),
            5u);
  EXPECT_NE(std::string(text).find("CHalvorin_UnLockedDiskFile::Open(): CreateFile("),
            std::string::npos)
      << text;
  EXPECT_NE(std::string(text).find("gone.txt"), std::string::npos) << text;
  Halvorin_Destroy(&tree);
}

TEST(FileChainTest, MpegUnitsCarrySubheadersAndTheTailIsPadded) {
  TempDir dir;
  std::string payload(4650, '\0');
  const unsigned char pack[] = {0, 0, 1, 0xBA};
  for (int i = 0; i < 4; ++i) payload[i] = static_cast<char>(pack[i]);
  payload[12] = 0;
  payload[13] = 0;
  payload[14] = 1;
  payload[15] = static_cast<char>(0xC0);
  payload[4649] = 'T';  // in the partial third unit
  WriteFile(dir.P("v.mpg"), payload);
  CHalvorin_MPEG12DiskFile mpeg(Win(dir.P("v.mpg")).c_str());
  EXPECT_EQ(mpeg.GetSizeInUCHARs(), 3u * 2332u);
  EXPECT_TRUE(mpeg.IsUnits());
  CHalvorin_FileChain chain;
  chain.AddChainTail(&mpeg);
  chain.SeekToBegin();
  std::vector<std::uint8_t> out(3 * 2332);
  chain.Read(1000, out.data());  // a read that ends inside a unit
  chain.Read(out.size() - 1000, out.data() + 1000);
  EXPECT_EQ(Hex({out.begin(), out.begin() + 8}), "01 01 64 7F 01 01 64 7F ");
  EXPECT_EQ(Hex({out.begin() + 2332, out.begin() + 2340}), "01 00 60 00 01 00 60 00 ");
  EXPECT_EQ(out[2 * 2332 + 8 + (4649 - 2 * 2324)], 'T');
  EXPECT_EQ(out.back(), 0);

  CHalvorin_MPEG12ZeroFile zero(2 * 2332 + 5);
  EXPECT_EQ(zero.GetSizeInUCHARs(), 2u * 2332u);
  CHalvorin_FileChain zeros;
  zeros.AddChainTail(&zero);
  zeros.SeekToBegin();
  zeros.Read(2 * 2332, out.data());
  EXPECT_EQ(Hex({out.begin() + 2332, out.begin() + 2340}), "01 00 60 00 01 00 60 00 ");
  EXPECT_EQ(out[2332 + 100], 0);
}

TEST(FileChainTest, AudioFileOfNoSoundFailsWithTheReadersStatus) {
  TempDir dir;
  WriteFile(dir.P("a.wav"), "RIFF");
  const auto t = Catch([&] { CHalvorin_TidewellFile audio(Win(dir.P("a.wav")).c_str()); });
  EXPECT_EQ(t.Status(), 5);
  EXPECT_EQ(t.exception->GetDetail(), 0x8007000Bu);  // not a format the reader takes
  EXPECT_NE(t.Text().find("Tidewell_CompressedFileReaderObjectCreate("), std::string::npos);
}

}  // namespace
}  // namespace libtest
