// Runs the C program of tests/lib/c/halvorin_file_tree_c.c, which knows the file-tree exports
// only through halvorin.h and libhalvorin.so, then checks its image with outside tools.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

std::string BuildDir() {
  const char* dir = std::getenv("QUORVA_BUILD_DIR");
  return dir ? dir : ".";
}

std::string Shell(const std::string& command, int* status) {
  std::string output;
  *status = RunCommand(command + " 2>&1", &output);
  return output;
}

// The block the program adds as mem/block.bin.
std::string Block() {
  std::string block(100003, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  return block;
}

class FileTreeCApi : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", home_.Posix().c_str(), 1);
    setenv("XDG_CONFIG_HOME", home_.Posix().c_str(), 1);
    WriteFile(dir_.P("src/a/b/c/leaf.txt"), "leaf\n");
    WriteFile(dir_.P("src/top.txt"), std::string(4097, 't'));
    WriteFile(dir_.P("src/a/odd name.dat"), std::string(2048 * 3 + 1, 'o'));
    WriteFile(dir_.P("src/a/b/empty"), "");
    WriteFile(dir_.P("expected/mem/block.bin"), Block());
    ASSERT_EQ(RunCommand("cp -a '" + dir_.P("src") + "' '" + dir_.P("expected/src") + "'"), 0);
  }
  // Runs the program; its exit status is its number of failures.
  int Run(int32_t start, std::string* output) {
    const std::string command = BuildDir() + "/lib/halvorin_file_tree_c '" + dir_.W("src") + "' '" +
                                dir_.P("image.iso") + "' " + std::to_string(start);
    return RunCommand(command + " 2>&1", output);
  }

  TempDir home_;
  TempDir dir_;
};

TEST_F(FileTreeCApi, BuildsAnImageAtAStartAddressThatOutsideToolsRead) {
  struct Case {
    int32_t start;
  };
  for (const Case c : {Case{0}, Case{11400}}) {
    SCOPED_TRACE(c.start);
    std::string output;
    ASSERT_EQ(Run(c.start, &output), 0) << output;
    EXPECT_EQ(output, "");
    const std::string image = dir_.P("image.iso");
    const std::string out = dir_.P("out" + std::to_string(c.start));
    int status = 0;
    const std::string extract =
        Shell("xorriso -osirrox on -displacement -" + std::to_string(c.start) + " -indev '" +
                  image + "' -extract / '" + out + "'",
              &status);
    EXPECT_EQ(status, 0) << extract;
    const std::string diff = Shell("diff -r '" + dir_.P("expected") + "' '" + out + "'", &status);
    EXPECT_EQ(status, 0) << diff << extract;

    const std::string pvd = Shell("isoinfo -d -i '" + image + "'", &status);
    EXPECT_NE(pvd.find("Volume id: HALVORINC"), std::string::npos) << pvd;
    EXPECT_NE(pvd.find("Publisher id: Publisher C"), std::string::npos) << pvd;
    EXPECT_NE(pvd.find("Joliet"), std::string::npos) << pvd;
    const std::string listing =
        Shell("isoinfo -N " + std::to_string(c.start) + " -J -f -i '" + image + "'", &status);
    EXPECT_EQ(status, 0) << listing;
    for (const char* path : {"/src/a/b/c/leaf.txt", "/src/a/odd name.dat", "/mem/block.bin"})
      EXPECT_NE(listing.find(path), std::string::npos) << path << "\n" << listing;
    for (const char* gone : {"drop.bin", "nnnnnnnn", "late"})
      EXPECT_EQ(listing.find(gone), std::string::npos) << gone << "\n" << listing;
  }
}

}  // namespace
