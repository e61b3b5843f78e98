// A run that is cancelled or fails leaves the previous archive as it was and no temporary file.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/engine/archive/zip.h"
#include "tests/engine/archive/zip_test_support.h"

using namespace zip_test;

namespace {

class ZipCancelTest : public ZipTest {
 protected:
  void SetUp() override {
    ZipTest::SetUp();
    std::filesystem::create_directories(dir.P("out"));
  }

  // The bytes of every file in out/.
  std::map<std::string, std::string> OutFiles() const {
    std::map<std::string, std::string> files;
    for (const std::string& name : FolderNames(dir.P("out")))
      files[name] = ReadFile(dir.P("out/" + name));
    return files;
  }

  void WritePrevious(std::uint64_t volumeSize) {
    WriteFile(dir.P("old/previous.txt"), NoiseBytes(20000, 40));
    TZip zip;
    zip.CreateForWrite(dir.W("out/job.qvp"));
    zip.SetVolumeSize(volumeSize);
    zip.AddFile(dir.W("old/previous.txt"));
    ASSERT_TRUE(zip.Execute());
  }
};

struct TCancelCase {
  const char* name;
  std::vector<std::pair<std::string, size_t>> files;  // name, size
  std::uint64_t volumeSize;
  std::uint64_t previousVolumeSize;
};

class ZipCancelPointTest : public ZipCancelTest,
                           public ::testing::WithParamInterface<TCancelCase> {};

// The cancel flag is raised at the first status-bar update, which comes after the first chunk
// of the first entry; the next cancel point stops the run: the next chunk of the same entry,
// the next entry, the close before the archive is put in place, or the next volume.
TEST_P(ZipCancelPointTest, LeavesThePreviousArchive) {
  const TCancelCase& c = GetParam();
  WritePrevious(c.previousVolumeSize);
  const auto previous = OutFiles();
  ASSERT_EQ(previous.size(), c.previousVolumeSize ? 5u : 1u);

  THelper helper;
  TZip zip;
  zip.CreateForWrite(dir.W("out/job.qvp"));
  zip.AttachHelper(&helper);
  zip.SetVolumeSize(c.volumeSize);
  for (const auto& [name, size] : c.files) {
    WriteFile(dir.P("src/" + name), NoiseBytes(size, 41));
    zip.AddFile(dir.W("src/" + name));
  }
  int updates = 0;
  ui->onBarPosition = [&](int) {
    ++updates;
    ProgressCancelled = true;
  };
  EXPECT_FALSE(zip.Execute());
  EXPECT_EQ(updates, 1);
  EXPECT_EQ(helper.progressCounter, 1) << "stopped in or right after the first entry";
  EXPECT_TRUE(helper.volumeNames.empty());
  EXPECT_EQ(OutFiles(), previous);
}

INSTANTIATE_TEST_SUITE_P(
    Points, ZipCancelPointTest,
    ::testing::Values(TCancelCase{"DuringAnEntry", {{"big.bin", 3 << 20}}, 0, 0},
                      TCancelCase{"BetweenEntries", {{"a.bin", 1000}, {"b.bin", 1000}}, 0, 0},
                      TCancelCase{"BeforeSaving", {{"a.bin", 1000}}, 0, 0},
                      TCancelCase{"AtAVolumeRequest", {{"big.bin", 3 << 20}}, (3 << 20) / 2, 4096}),
    [](const auto& info) { return std::string(info.param.name); });

// Cancelled before the last volume is asked for: the opening stops. Cancelled while the volumes
// are being read: the extraction stops and the file it would replace stays.
TEST_F(ZipCancelTest, CancelWhileReadingASplitArchive) {
  WriteFile(dir.P("src/a.bin"), NoiseBytes(60000, 42));
  {
    TZip zip;
    zip.CreateForWrite(dir.W("out/job.qvp"));
    zip.SetVolumeSize(8192);
    zip.AddFile(dir.W("src/a.bin"));
    ASSERT_TRUE(zip.Execute());
  }
  WriteFile(dir.P("src/a.bin"), "old");

  ProgressCancelled = true;
  {
    TZip zip;
    EXPECT_THROW(zip.OpenForExtract(dir.W("out/job.qvp")), EZipCancelled);
  }
  ProgressCancelled = false;

  TZip zip;
  THelper helper;
  zip.OpenForExtract(dir.W("out/job.qvp"));
  zip.AttachHelper(&helper);
  zip.SetOverwriteMode(2);
  ui->choose = [&](const std::string& title, const std::string&) -> std::optional<std::string> {
    if (title == "Choose file for volume 3") ProgressCancelled = true;
    return std::nullopt;
  };
  EXPECT_FALSE(zip.Execute());
  EXPECT_EQ(ReadFile(dir.P("src/a.bin")), "old");
  EXPECT_EQ(FolderNames(dir.P("src")), std::vector<std::string>{"a.bin"});
}

// A full disk (RLIMIT_FSIZE in a child process) fails the run with an error naming the archive;
// the previous archive stays, the temporary file goes.
TEST_F(ZipCancelTest, DiskFullFailsAndKeepsThePreviousArchive) {
  WritePrevious(0);
  const auto previous = OutFiles();
  WriteFile(dir.P("src/big.bin"), NoiseBytes(2 << 20, 43));
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{512 * 1024, 512 * 1024};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(4);
    try {
      TZip zip;
      zip.CreateForWrite(dir.W("out/job.qvp"));
      zip.AddFile(dir.W("src/big.bin"));
      zip.Execute();
      _exit(1);
    } catch (const EZipCancelled&) {
      _exit(2);
    } catch (const EZipError& e) {
      std::fprintf(stderr, "%s\n", e.what());
      _exit(std::strstr(e.what(), "job.qvp") ? 0 : 3);
    } catch (...) {
      _exit(5);
    }
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(OutFiles(), previous);
}

}  // namespace
