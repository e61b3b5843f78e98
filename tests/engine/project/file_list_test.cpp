#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "platform/fs/fs.h"
#include "tests/engine/project/project_fixture.h"

namespace {

// The tree every test walks: hidden entries, case twins, nesting, links of every kind, a FIFO
// and a socket.
class FileListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProgressCancelled = false;
    root_ = dir_.P("root");
    for (const char* f :
         {"a.txt", ".hidden", "B.TXT", "b.txt", "Ärger ü.txt", "sub1/c.txt", "sub1/.hid/d.txt",
          "sub1/sub2/e.dat", "sub1/sub2/deep/f", "sub1/x.DAT", "zz/g.txt"})
      WriteFile(root_ + "/" + f, f);
    ASSERT_EQ(mkdir((root_ + "/empty").c_str(), 0700), 0);
    ASSERT_EQ(symlink("..", (root_ + "/sub1/loop").c_str()), 0);
    ASSERT_EQ(symlink(root_.c_str(), (root_ + "/zz/toroot").c_str()), 0);
    ASSERT_EQ(symlink("sub1/c.txt", (root_ + "/link.txt").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (root_ + "/broken").c_str()), 0);
    ASSERT_EQ(mkfifo((root_ + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(
        RunCommand(std::string(QUORVA_PYTHON) +
                   " -c 'import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' '" +
                   root_ + "/sock'"),
        0);
    sink_ = std::make_shared<TMemoryLogSink>();
    SetLogSink(sink_);
  }
  void TearDown() override {
    SetLogSink(nullptr);
    ProgressCancelled = false;
  }

  // What GNU find lists: regular files and links to regular files, linked folders not entered.
  std::vector<std::string> Find(const std::string& extra = "") const {
    std::string out;
    EXPECT_EQ(RunCommand("find '" + root_ + "' -xtype f " + extra + " -print", &out), 0) << out;
    std::vector<std::string> paths;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      std::string win = "Z:" + line;
      std::replace(win.begin(), win.end(), '/', '\\');
      paths.push_back(win);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  static std::vector<std::string> Paths(const TProject& p, bool applyExclusions) {
    std::vector<std::string> paths;
    for (const TListedFile& f : p.BuildFileList(applyExclusions)) paths.push_back(f.Path);
    return paths;
  }

  static std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  }

  std::string Root() const { return dir_.W("root"); }

  ProjectHome home_;
  TempDir dir_;
  std::string root_;
  std::shared_ptr<TMemoryLogSink> sink_;
};

// A folder's own files come before any file of its subfolders.
void ExpectOwnFilesFirst(const std::vector<std::string>& list) {
  std::map<std::string, size_t> lastOwn, firstDeep;
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string& p = list[i];
    const size_t own = p.rfind('\\');
    lastOwn[p.substr(0, own + 1)] = i;
    for (size_t sep = p.find('\\'); sep < own; sep = p.find('\\', sep + 1))
      firstDeep.try_emplace(p.substr(0, sep + 1), i);
  }
  for (const auto& [folder, last] : lastOwn) {
    if (firstDeep.count(folder)) {
      EXPECT_LT(last, firstDeep[folder]) << folder;
    }
  }
}

TEST_F(FileListTest, EqualsWhatFindLists) {
  TProject p;
  p.Folders.Add(Root(), 0);  // without its trailing backslash
  const auto list = Paths(p, true);
  EXPECT_EQ(Sorted(list), Find());
  EXPECT_EQ(std::count(list.begin(), list.end(), Root() + "\\link.txt"), 1);
  EXPECT_EQ(std::count(list.begin(), list.end(), Root() + "\\Ärger ü.txt"), 1);
  ExpectOwnFilesFirst(list);

  // Each taken file is logged under eight blanks; the broken link, the FIFO and the socket,
  // passed over, are errors.
  size_t taken = 0;
  std::vector<std::string> errors;
  for (const auto& e : sink_->Entries()) {
    if (e.levelText == "        ") ++taken;
    if (e.levelText == "ERROR   ") errors.push_back(e.message);
  }
  EXPECT_EQ(taken, list.size());
  EXPECT_EQ(Sorted(errors), (std::vector<std::string>{
                                "Broken link skipped: " + Root() + "\\broken",
                                "Neither a file nor a folder, skipped: " + Root() + "\\fifo",
                                "Neither a file nor a folder, skipped: " + Root() + "\\sock"}));
  EXPECT_EQ(sink_->Entries().front().message, "Searching files...");
  EXPECT_EQ(ProgressStatus.Get(), list.back());
}

// A walked file comes with the size and last write its listing saw (a link's those of its
// target); a file item is looked at later.
TEST_F(FileListTest, WalkedFilesCarryWhatTheListingSaw) {
  ASSERT_TRUE(platform::fs::SetModificationTime(Root() + "\\sub1\\c.txt", 1623753020, 0));
  TProject p;
  p.Folders.Add(Root(), 0);
  p.Files.Add(Root() + "\\a.txt", 0);
  const auto list = p.BuildFileList(true);
  ASSERT_FALSE(list.empty());
  for (size_t i = 0; i + 1 < list.size(); ++i) {
    const auto info = platform::fs::Stat(list[i].Path);
    ASSERT_TRUE(info) << list[i].Path;
    ASSERT_TRUE(list[i].Seen) << list[i].Path;
    EXPECT_EQ(list[i].Seen->Size, info->size) << list[i].Path;
    EXPECT_EQ(list[i].Seen->MtimeSec, info->mtimeSec) << list[i].Path;
  }
  EXPECT_EQ(list.back().Path, Root() + "\\a.txt");
  EXPECT_FALSE(list.back().Seen);
  const auto link = std::find_if(list.begin(), list.end(), [&](const TListedFile& f) {
    return f.Path == Root() + "\\link.txt";
  });
  ASSERT_NE(link, list.end());
  EXPECT_EQ(link->Seen->MtimeSec, 1623753020);
  EXPECT_EQ(link->Seen->Size, std::string("sub1/c.txt").size());
}

TEST_F(FileListTest, ExclusionsLeaveFilesOutButWalkTheFolders) {
  TProject p;
  p.Folders.Add(Root() + "\\", 0);
  p.ExcludedPatterns.Add("*.dat", 0);
  p.ExcludedFolders.Add(Root() + "\\SUB1\\Sub2\\", 0);
  EXPECT_EQ(Sorted(Paths(p, true)), Find("! -iname '*.dat' ! -ipath '" + root_ + "/sub1/sub2/*'"));
  EXPECT_EQ(Sorted(Paths(p, false)), Find());
}

TEST_F(FileListTest, FileItemsFollowUncheckedAndDuplicatesStay) {
  TProject p;
  p.Folders.Add(Root() + "\\sub1\\sub2\\", 0);
  p.Folders.Add(Root() + "\\sub1\\", 0);
  p.Files.Add(Root() + "\\a.txt", 0);
  p.Files.Add(Root() + "\\no such file.dat", 0);
  p.ExcludedPatterns.Add("*.dat", 0);
  const auto list = Paths(p, true);
  const std::string deep = Root() + "\\sub1\\sub2\\deep\\f";
  EXPECT_EQ(std::count(list.begin(), list.end(), deep), 2);
  ASSERT_GE(list.size(), 2u);
  EXPECT_EQ(list[list.size() - 2], Root() + "\\a.txt");
  EXPECT_EQ(list.back(), Root() + "\\no such file.dat");
  EXPECT_EQ(list.front(), deep);
}

// Sets the stop flag once the given number of files has been taken.
class StopAfterSink : public ILogSink {
 public:
  explicit StopAfterSink(int n) : left_(n) {}
  void AddEntry(const TLogEntry& e) override {
    if (e.levelText == "        " && --left_ == 0) ProgressCancelled = true;
  }

 private:
  int left_;
};

TEST_F(FileListTest, StopsWhenCancelled) {
  TProject p;
  p.Folders.Add(Root(), 0);
  p.Folders.Add(Root() + "\\sub1", 0);
  p.Files.Add("Z:\\never", 0);
  SetLogSink(std::make_shared<StopAfterSink>(3));
  EXPECT_EQ(Paths(p, false).size(), 3u);

  ProgressCancelled = true;
  EXPECT_TRUE(Paths(p, false).empty());
}

TEST_F(FileListTest, UnreadableFolderIsLoggedAndPassedOver) {
  TProject p;
  p.Folders.Add(dir_.W("missing"), 0);
  p.Folders.Add(Root() + "\\zz", 0);
  EXPECT_EQ(Paths(p, true), (std::vector<std::string>{Root() + "\\zz\\g.txt"}));
  size_t errors = 0;
  for (const auto& e : sink_->Entries()) errors += e.levelText == "ERROR   ";
  EXPECT_EQ(errors, 1u);
}

}  // namespace
