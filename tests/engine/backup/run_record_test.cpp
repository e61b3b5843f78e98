// The list of a run's temporary files beside its project: the next run removes what a stopped
// run of the project made, and only that; the list of a run that is going on is left alone.
#include "app/engine/backup/run_record.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/engine/log.h"
#include "app/engine/record_lines.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fsys = std::filesystem;

class RunRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = std::make_shared<TMemoryLogSink>();
    SetLogSink(log_);
  }
  void TearDown() override { SetLogSink(nullptr); }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const TLogEntry& e : log_->Entries()) lines.push_back(e.levelText + e.message);
    return lines;
  }

  TempDir dir_;
  std::shared_ptr<TMemoryLogSink> log_;
  const std::string project_ = dir_.W("job.bpj");
};

TEST_F(RunRecordTest, TheNextRunRemovesOnlyWhatTheStoppedRunMade) {
  WriteFile(dir_.P("tmp/QVD0001.tmp"), "definition");
  WriteFile(dir_.P("out/QVZ0002.tmp"), "part of an archive");
  WriteFile(dir_.P("out/QVZ0003.tmp"), "replaced");
  WriteFile(dir_.P("out/QVZ0009.tmp"), "another project's run");
  {
    TRunRecord stopped(project_);
    stopped.Add(dir_.W("tmp\\QVD0001.tmp"), false);
    stopped.Add(dir_.W("out\\QVZ0002.tmp"), false);
    stopped.Add(dir_.W("out\\QVZ0003.tmp"), false);
    stopped.Add(dir_.W("out\\job.qvp.commit"), true);  // never written
    // The name now holds another file.
    fsys::remove(dir_.P("out/QVZ0003.tmp"));
    WriteFile(dir_.P("out/QVZ0003.tmp"), "someone else's");
    // Killed here: the list stays as it was written, with a line cut short after it.
    fsys::copy_file(dir_.P("job.bpj.run"), dir_.P("kept.run"));
  }
  std::string list = ReadFile(dir_.P("kept.run"));
  list += "file\t" + dir_.W("out\\QVZ0009.tmp");  // no newline: cut short
  WriteFile(dir_.P("job.bpj.run"), list);

  log_->Clear();
  {
    TRunRecord next(project_);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "STATUS  Removed " + dir_.W("tmp\\QVD0001.tmp") +
                               ", left by an earlier run of this project.",
                           "STATUS  Removed " + dir_.W("out\\QVZ0002.tmp") +
                               ", left by an earlier run of this project.",
                       }));
    EXPECT_FALSE(fsys::exists(dir_.P("tmp/QVD0001.tmp")));
    EXPECT_FALSE(fsys::exists(dir_.P("out/QVZ0002.tmp")));
    EXPECT_EQ(ReadFile(dir_.P("out/QVZ0003.tmp")), "someone else's");
    EXPECT_EQ(ReadFile(dir_.P("out/QVZ0009.tmp")), "another project's run");
    EXPECT_EQ(ReadFile(dir_.P("job.bpj.run")), "");  // this run's own list, empty so far
  }
  EXPECT_FALSE(fsys::exists(dir_.P("job.bpj.run")));
}

// While a run holds its list, a second run of the project takes nothing of it over.
TEST_F(RunRecordTest, TheListOfARunGoingOnIsLeftAlone) {
  WriteFile(dir_.P("out/QVZ0002.tmp"), "being written");
  TRunRecord running(project_);
  running.Add(dir_.W("out\\QVZ0002.tmp"), false);
  {
    TRunRecord second(project_);
    second.Add(dir_.W("out\\QVZ0002.tmp"), false);
  }
  EXPECT_EQ(ReadFile(dir_.P("out/QVZ0002.tmp")), "being written");
  ASSERT_EQ(Lines().size(), 1u);
  EXPECT_NE(Lines()[0].find("held by another run"), std::string::npos) << Lines()[0];
  EXPECT_EQ(ReadRunRecord(ReadFile(dir_.P("job.bpj.run"))).size(), 1u);
}

// A file the run could not remove itself stays listed when the run ends; the next run removes
// it. A project without a file keeps no list.
TEST_F(RunRecordTest, WhatARunLeavesStaysListed) {
  WriteFile(dir_.P("tmp/QVD0001.tmp"), "definition");
  WriteFile(dir_.P("tmp/QVD0002.tmp"), "removed by its run");
  {
    TRunRecord run(project_);
    run.Add(dir_.W("tmp\\QVD0001.tmp"), false);
    run.Add(dir_.W("tmp\\QVD0002.tmp"), false);
    fsys::remove(dir_.P("tmp/QVD0002.tmp"));
  }
  const auto listed = ReadRunRecord(ReadFile(dir_.P("job.bpj.run")));
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].path, dir_.W("tmp\\QVD0001.tmp"));
  { TRunRecord next(project_); }
  EXPECT_FALSE(fsys::exists(dir_.P("tmp/QVD0001.tmp")));
  EXPECT_FALSE(fsys::exists(dir_.P("job.bpj.run")));

  { TRunRecord none(""); }
  EXPECT_EQ(fsys::directory_iterator(dir_.P("tmp")), fsys::directory_iterator());
}

// The lines of the list: any path fits; lines of another form and a line cut short are not
// read.
TEST(RunRecordLines, PathsOfAnyCharactersAndDamagedLines) {
  const std::string odd = "Z:\\a\tb\nc%41\\QVZ0001.tmp";
  std::string text =
      RecordLine({"file", odd, "12", "34", "56"}) + RecordLine({"commit", "Z:\\j.commit"}) +
      RecordLine({"file", "Z:\\b", "1", "2", ""}) + RecordLine({"file", "Z:\\x", "-1", "2", ""}) +
      RecordLine({"other", "Z:\\y"}) + RecordLine({"file", "Z:\\z", "1", "2"}) + "commit\tZ:\\cut";
  const auto items = ReadRunRecord(text);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_FALSE(items[0].commitRecord);
  EXPECT_EQ(items[0].path, odd);
  EXPECT_EQ(items[0].identity->device, 12u);
  EXPECT_EQ(items[0].identity->inode, 34u);
  EXPECT_EQ(items[0].identity->birthNsec, 56);
  EXPECT_TRUE(items[1].commitRecord);
  EXPECT_EQ(items[1].path, "Z:\\j.commit");
  EXPECT_EQ(items[2].identity->birthNsec, std::nullopt);  // a file system that keeps none
}

}  // namespace
