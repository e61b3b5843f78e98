// Images built from real folders, read through the export in odd chunks and extracted by
// outside tools, each of which must give back the source.
#include <sys/stat.h>

#include <filesystem>

#include "tests/lib/mastering/iso_test_support.h"

namespace isotest {
namespace {

std::string WinOf(const std::string& posix) {
  std::string w = "Z:" + posix;
  for (char& c : w)
    if (c == '/') c = '\\';
  return w;
}

// The source tree of the round trips.
void MakeSource(const std::string& root) {
  WriteFile(root + "/a.txt", "alpha\n");
  WriteFile(root + "/empty.bin", "");
  WriteFile(root + "/.hidden", "hidden file\n");
  WriteFile(root + "/nested/deeper/deepest/leaf.dat", std::string(5000, 'x'));
  WriteFile(root + "/nested/sector.bin", std::string(2048, 's'));
  std::filesystem::create_directories(root + "/empty_folder");
  std::filesystem::create_directories(root + "/nested/empty_inner");
  WriteFile(root + "/Grüße – ünïcødé.txt", "non-ascii\n");
  WriteFile(root + "/" + std::string(96, 'n') + ".txt", "hundred\n");
  // Names equal in their first 12 characters collide as ISO9660 identifiers.
  WriteFile(root + "/collidingname_one.txt", "one\n");
  WriteFile(root + "/collidingname_two.txt", "two\n");
  std::string random;
  for (unsigned i = 0; i < 300000; ++i) random.push_back(static_cast<char>((i * 7919u) >> 3));
  WriteFile(root + "/nested/random.bin", random);
}

class IsoRoundTripTest : public IsoTest {
 protected:
  std::string BuildFrom(const std::string& source, int32_t start = 0) {
    EXPECT_EQ(Create(true), 0u) << text_;
    events_.answer = &IsoTest::RenameUniquely;
    EXPECT_EQ(Add(WinOf(source) + "\\"), 0u) << text_;
    EXPECT_EQ(Build(start), 0u) << text_;
    const std::string image = dir_.P("image.iso");
    EXPECT_EQ(WriteImage(image), 0u) << text_;
    return image;
  }
};

TEST_F(IsoRoundTripTest, OutsideToolsExtractTheSourceWithJolietNames) {
  const std::string source = dir_.P("src");
  MakeSource(source);
  const std::string longName = std::string(150, 'L') + ".txt";
  WriteFile(source + "/" + longName, "long\n");
  const std::string image = BuildFrom(source);
  // The 150-character name comes back cut to 103 with its extension.
  const std::string cut = std::string(99, 'L') + ".txt";
  // Expected: the source with the long name cut, and the source folder itself as top entry.
  const std::string expected = dir_.P("expected");
  ASSERT_EQ(RunCommand("mkdir -p '" + expected + "' && cp -a '" + source + "' '" + expected +
                       "/src' && mv '" + expected + "/src/" + longName + "' '" + expected +
                       "/src/" + cut + "'"),
            0);

  struct Tool {
    const char* name;
    std::string command;
  };
  const std::string out = dir_.P("out");
  const Tool tools[] = {
      {"xorriso", "xorriso -osirrox on -indev '" + image + "' -extract / '" + out + "/xorriso'"},
      {"bsdtar",
       "mkdir -p '" + out + "/bsdtar' && bsdtar -xf '" + image + "' -C '" + out + "/bsdtar'"},
      {"7z", "7z x -y -o'" + out + "/7z' '" + image + "'"},
  };
  for (const Tool& tool : tools) {
    int status = 0;
    const std::string output = Shell(tool.command, &status);
    EXPECT_EQ(status, 0) << tool.name << ": " << output;
    if (std::string(tool.name) != "xorriso") {
      EXPECT_EQ(output.find("arning"), std::string::npos) << tool.name << ": " << output;
      EXPECT_EQ(output.find("rror"), std::string::npos) << tool.name << ": " << output;
    }
    const std::string diff =
        Shell("diff -r '" + expected + "' '" + out + "/" + tool.name + "'", &status);
    EXPECT_EQ(status, 0) << tool.name << ": " << diff;
  }

  const std::string pvd = Shell("isoinfo -d -i '" + image + "'");
  EXPECT_NE(pvd.find("Volume id: QUORVABACKUP"), std::string::npos) << pvd;
  EXPECT_NE(pvd.find("Publisher id: QB.exe"), std::string::npos) << pvd;
  EXPECT_NE(pvd.find("Application id: QB.exe"), std::string::npos) << pvd;
  EXPECT_NE(pvd.find("Joliet"), std::string::npos) << pvd;
  const std::string svd = Shell("isoinfo -d -J -i '" + image + "'");
  EXPECT_NE(svd.find("Volume id: QUORVABACKUP"), std::string::npos) << svd;
  EXPECT_NE(svd.find("Publisher id: QB.exe"), std::string::npos) << svd;
  // Every 8.3 collision was asked about and renamed.
  EXPECT_FALSE(events_.collisions.empty());
}

TEST_F(IsoRoundTripTest, ImageAtAStartAddressReadsWithDisplacement) {
  const std::string source = dir_.P("src");
  MakeSource(source);
  const int32_t start = 11400;
  const std::string image = BuildFrom(source, start);
  const std::string out = dir_.P("out");
  int status = 0;
  const std::string output2 = Shell("xorriso -osirrox on -displacement -" + std::to_string(start) +
                                        " -indev '" + image + "' -extract / '" + out + "2'",
                                    &status);
  EXPECT_EQ(status, 0) << output2;
  EXPECT_EQ(RunCommand("diff -r '" + source + "' '" + out + "2/src'"), 0) << output2;
  const std::string listing =
      Shell("isoinfo -N " + std::to_string(start) + " -J -f -i '" + image + "'");
  EXPECT_NE(listing.find("/src/nested/deeper/deepest/leaf.dat"), std::string::npos) << listing;
}

TEST_F(IsoRoundTripTest, FilesOfFiveGibibytesUseMultipleExtents) {
  if (!std::getenv("QUORVA_BIG_TESTS")) GTEST_SKIP() << "set QUORVA_BIG_TESTS=1";
  const std::string source = dir_.P("src");
  WriteFile(source + "/small.txt", "small\n");
  {
    std::ofstream big(source + "/big.bin", std::ios::binary);
    big.seekp((5ll << 30) - 6);
    big.write("TAIL!\n", 6);
  }
  const std::string image = BuildFrom(source);
  const std::string out = dir_.P("out");
  int status = 0;
  const std::string output =
      Shell("xorriso -osirrox on -indev '" + image + "' -extract / '" + out + "'", &status);
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(RunCommand("cmp '" + source + "/big.bin' '" + out + "/src/big.bin'"), 0);
  const std::string bsd =
      Shell("mkdir -p '" + out + "b' && bsdtar -xf '" + image + "' -C '" + out + "b'", &status);
  EXPECT_EQ(status, 0) << bsd;
  EXPECT_EQ(RunCommand("cmp '" + source + "/big.bin' '" + out + "b/src/big.bin'"), 0);
}

}  // namespace
}  // namespace isotest
