#include <gtest/gtest.h>
#include <unistd.h>

#include "app/engine/progress.h"
#include "app/engine/project/runtime_project.h"
#include "platform/fs/fs.h"
#include "platform/shell/shell.h"
#include "tests/engine/project/project_fixture.h"

namespace {

std::int32_t Dos(int year, int month, int day, int hour, int minute, int second) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(year - 1980) << 25 | month << 21 |
                                   day << 16 | hour << 11 | minute << 5 | second / 2);
}

std::vector<TListedFile> Unseen(const std::vector<std::string>& paths) {
  std::vector<TListedFile> files;
  for (const std::string& p : paths) files.push_back({p, std::nullopt});
  return files;
}

TRunTimeProject Snapshot(std::initializer_list<TRuntimeFile> files) {
  TRunTimeProject s;
  for (const auto& f : files) s.Add(f.Clone());
  return s;
}

struct TEntry {
  std::string path;
  std::int32_t time;
  std::int32_t run;
  bool operator==(const TEntry&) const = default;
};

std::vector<TEntry> Entries(const TRunTimeProject& s) {
  std::vector<TEntry> out;
  for (const auto& f : s.Files()) out.push_back({f->Path, f->FileTime, f->Run});
  return out;
}

void PrintTo(const TEntry& e, std::ostream* os) {
  *os << e.path << " " << e.time << " " << e.run;
}

const std::int32_t T = Dos(2021, 6, 15, 10, 30, 20);
const std::int32_t kNewer = Dos(2021, 6, 15, 10, 30, 22);
const std::int32_t kOlder = Dos(2021, 6, 15, 10, 30, 18);

TEST(RuntimeFile, UpdateTimeStamp) {
  ProjectHome home;
  TempDir dir;
  WriteFile(dir.P("f.txt"), "x");
  const std::int64_t mtime = 1623753020;  // within 2021
  ASSERT_TRUE(platform::fs::SetModificationTime(dir.W("f.txt"), mtime, 0));
  ASSERT_EQ(symlink("f.txt", dir.P("link").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", dir.P("broken").c_str()), 0);
  const auto want = static_cast<std::int32_t>(platform::shell::DosTimeFromUnix(mtime));

  TRuntimeFile file(dir.W("f.txt"), 0, 0);
  EXPECT_TRUE(file.UpdateTimeStamp());
  EXPECT_EQ(file.FileTime, want);
  TRuntimeFile link(dir.W("link"), 0, 0);
  EXPECT_TRUE(link.UpdateTimeStamp());
  EXPECT_EQ(link.FileTime, want);

  for (const char* name : {"missing", "broken"}) {
    TRuntimeFile gone(dir.W(name), 123, 0);
    EXPECT_TRUE(gone.UpdateTimeStamp()) << name;
    EXPECT_EQ(gone.FileTime, 123) << name;
  }
  TRuntimeFile folder(dir.Win(), 123, 0);
  EXPECT_FALSE(folder.UpdateTimeStamp());
  EXPECT_EQ(folder.FileTime, 123);

  const auto copy = file.Clone();
  EXPECT_EQ(copy->Path, file.Path);
  EXPECT_EQ(copy->FileTime, file.FileTime);
}

TEST(RunTimeProject, AddFilesTakesTimesAndStopsWhenCancelled) {
  ProjectHome home;
  TempDir dir;
  WriteFile(dir.P("f.txt"), "x");
  ASSERT_TRUE(platform::fs::SetModificationTime(dir.W("f.txt"), 1623753020, 0));
  const std::vector<std::string> paths = {dir.W("f.txt"), dir.Win(), dir.W("missing")};

  ProgressCancelled = false;
  TRunTimeProject s;
  s.AddFiles(Unseen(paths), 5);
  const auto t = static_cast<std::int32_t>(platform::shell::DosTimeFromUnix(1623753020));
  EXPECT_EQ(Entries(s),
            (std::vector<TEntry>{{paths[0], t, 5}, {paths[1], 0, 5}, {paths[2], 0, 5}}));

  ProgressCancelled = true;
  TRunTimeProject stopped;
  stopped.AddFiles(Unseen(paths), 6);
  ProgressCancelled = false;
  EXPECT_EQ(stopped.Count(), 1);
}

// A file its listing saw takes the time seen, without a look at the disk (the path need not be
// there), and keeps what was seen through a copy.
TEST(RunTimeProject, AddFilesTakesTheTimeTheListingSaw) {
  ProjectHome home;
  TRunTimeProject s;
  s.AddFiles({{"Z:\\nowhere\\seen.txt", TSeenFile{12, 1623753020}}}, 3);
  ASSERT_EQ(s.Count(), 1);
  EXPECT_EQ(s.Get(0)->FileTime,
            static_cast<std::int32_t>(platform::shell::DosTimeFromUnix(1623753020)));
  const auto copy = s.Get(0)->Clone();
  ASSERT_TRUE(copy->Seen);
  EXPECT_EQ(copy->Seen->Size, 12u);
  EXPECT_EQ(copy->Seen->MtimeSec, 1623753020);
}

TEST(RunTimeProject, BuildChangedTakesNewAndEveryOtherTime) {
  const TRunTimeProject stored = Snapshot({{"Z:\\same", T, 1},
                                           {"Z:\\newer", T, 1},
                                           {"Z:\\older", T, 1},
                                           {"Z:\\nowfolder", T, 1},
                                           {"Z:\\Case.txt", T, 1}});
  TRunTimeProject run = Snapshot({{"Z:\\same", T, 2},
                                  {"Z:\\newer", kNewer, 2},
                                  {"Z:\\older", kOlder, 2},
                                  {"Z:\\nowfolder", 0, 2},
                                  {"Z:\\case.txt", T, 2},
                                  {"Z:\\new", T, 2}});
  run.Reserved = 9;
  EXPECT_EQ(run.BuildChanged(stored, 0), nullptr);
  const auto changed = run.BuildChanged(stored, 1);
  ASSERT_NE(changed, nullptr);
  EXPECT_EQ(changed->Reserved, 9);
  EXPECT_EQ(Entries(*changed), (std::vector<TEntry>{{"Z:\\newer", kNewer, 2},
                                                    {"Z:\\older", kOlder, 2},
                                                    {"Z:\\nowfolder", 0, 2},
                                                    {"Z:\\case.txt", T, 2},
                                                    {"Z:\\new", T, 2}}));
  // The result is a copy: changing it leaves the run's snapshot alone.
  changed->Get(0)->FileTime = 1;
  EXPECT_EQ(run.Get(1)->FileTime, kNewer);
}

TEST(RunTimeProject, ChangedFilesOnDisk) {
  ProjectHome home;
  TempDir dir;
  const std::int64_t t0 = 1623753020;
  for (const char* f : {"same", "newer", "older"}) {
    WriteFile(dir.P(f), f);
    ASSERT_TRUE(platform::fs::SetModificationTime(dir.W(f), t0, 0));
  }
  const std::vector<std::string> first = {dir.W("same"), dir.W("newer"), dir.W("older")};
  TRunTimeProject stored;
  stored.AddFiles(Unseen(first), 1);

  ASSERT_TRUE(platform::fs::SetModificationTime(dir.W("newer"), t0 + 60, 0));
  ASSERT_TRUE(platform::fs::SetModificationTime(dir.W("older"), t0 - 3600, 0));
  WriteFile(dir.P("added"), "new");
  std::vector<std::string> second = first;
  second.push_back(dir.W("added"));
  TRunTimeProject run;
  run.AddFiles(Unseen(second), 2);
  const auto changed = run.BuildChanged(stored, 1);
  ASSERT_NE(changed, nullptr);
  std::vector<std::string> paths;
  for (const auto& f : changed->Files()) paths.push_back(f->Path);
  EXPECT_EQ(paths, (std::vector<std::string>{dir.W("newer"), dir.W("older"), dir.W("added")}));

  // The same in one pass, from files listed with what a walk saw (one of them twice) and one
  // the run looks at itself.
  std::vector<TListedFile> listed;
  for (const std::string& p : second) {
    const auto info = platform::fs::Stat(p);
    ASSERT_TRUE(info);
    listed.push_back({p, TSeenFile{info->size, info->mtimeSec}});
  }
  listed.push_back(listed[1]);
  listed.back().Seen.reset();
  listed.push_back(listed[0]);
  TRunTimeProject direct;
  direct.AddChangedFiles(listed, stored, 2);
  EXPECT_EQ(Entries(direct), (std::vector<TEntry>{{dir.W("newer"), run.Get(1)->FileTime, 2},
                                                  {dir.W("older"), run.Get(2)->FileTime, 2},
                                                  {dir.W("added"), run.Get(3)->FileTime, 2},
                                                  {dir.W("newer"), run.Get(1)->FileTime, 2}}));

  stored.Merge(*changed);
  EXPECT_EQ(stored.Count(), 4);
  EXPECT_EQ(stored.FindByName(dir.W("older"))->FileTime, run.FindByName(dir.W("older"))->FileTime);
  EXPECT_EQ(stored.FindByName(dir.W("older"))->Run, 2);
  EXPECT_EQ(stored.FindByName(dir.W("same"))->Run, 1);
  EXPECT_EQ(run.BuildChanged(stored, 1)->Count(), 0);
}

TEST(RunTimeProject, MergeTakesTheRunsEntriesMergeNewestTheNewest) {
  auto stored = [] { return Snapshot({{"Z:\\a", T, 1}, {"Z:\\b", kNewer, 1}, {"Z:\\A", T, 1}}); };
  // "b" is an older copy put back; "c" is listed twice, the newer copy second.
  const TRunTimeProject run = Snapshot(
      {{"Z:\\a", kNewer, 2}, {"Z:\\b", kOlder, 2}, {"Z:\\c", kOlder, 2}, {"Z:\\c", kNewer, 2}});
  TRunTimeProject backup = stored();
  backup.Merge(run);
  EXPECT_EQ(
      Entries(backup),
      (std::vector<TEntry>{
          {"Z:\\a", kNewer, 2}, {"Z:\\b", kOlder, 2}, {"Z:\\A", T, 1}, {"Z:\\c", kNewer, 2}}));

  TRunTimeProject versions = stored();
  versions.MergeNewest(run);
  EXPECT_EQ(
      Entries(versions),
      (std::vector<TEntry>{
          {"Z:\\a", kNewer, 2}, {"Z:\\b", kNewer, 1}, {"Z:\\A", T, 1}, {"Z:\\c", kNewer, 2}}));
}

TEST(RunTimeProject, DuplicatesMergeIntoOneEntryWithTheNewestTime) {
  // The newer copy first this time.
  const TRunTimeProject twice = Snapshot({{"Z:\\d", kNewer, 3}, {"Z:\\d", kOlder, 4}});
  for (const bool newest : {false, true}) {
    SCOPED_TRACE(newest);
    TRunTimeProject s = Snapshot({{"Z:\\d", T, 1}});
    newest ? s.MergeNewest(twice) : s.Merge(twice);
    EXPECT_EQ(Entries(s), (std::vector<TEntry>{{"Z:\\d", kNewer, 3}}));
    TRunTimeProject empty;
    newest ? empty.MergeNewest(twice) : empty.Merge(twice);
    EXPECT_EQ(Entries(empty), (std::vector<TEntry>{{"Z:\\d", kNewer, 3}}));
  }
}

TEST(RunTimeProject, TimesFrom2044OnAreNewer) {
  // Year 2044 sets the top bit of the packed time.
  const std::int32_t late = Dos(2044, 1, 1, 0, 0, 0);
  ASSERT_LT(late, 0);
  TRunTimeProject s = Snapshot({{"Z:\\x", T, 1}});
  s.MergeNewest(Snapshot({{"Z:\\x", late, 2}}));
  EXPECT_EQ(s.Get(0)->FileTime, late);
  s.MergeNewest(Snapshot({{"Z:\\x", T, 3}}));
  EXPECT_EQ(s.Get(0)->Run, 2);
}

TEST(RunTimeProject, FindCopyClear) {
  TRunTimeProject s = Snapshot({{"Z:\\a.txt", 1, 1}, {"Z:\\A.txt", 2, 2}, {"Z:\\a.txt", 3, 3}});
  EXPECT_EQ(s.FindByName("Z:\\a.txt"), s.Get(0));
  EXPECT_EQ(s.FindByName("Z:\\A.txt"), s.Get(1));
  EXPECT_EQ(s.FindByName("Z:\\A.TXT"), nullptr);
  EXPECT_EQ(s.Get(3), nullptr);

  TRunTimeProject target = Snapshot({{"Z:\\t", 0, 0}});
  s.CopyTo(target);
  EXPECT_EQ(target.Count(), 4);
  EXPECT_EQ(target.FindByName("Z:\\A.txt")->FileTime, 2);
  s.Clear();
  EXPECT_EQ(s.Count(), 0);
  EXPECT_EQ(s.FindByName("Z:\\a.txt"), nullptr);
  EXPECT_EQ(target.FindByName("Z:\\a.txt")->FileTime, 1);  // the copies stay
}

TEST(RunTimeProject, StreamRoundTripAndDamage) {
  TRunTimeProject s = Snapshot({{"Z:\\ä.txt", T, 1}, {"", -1, 2147483647}});
  s.Reserved = -3;
  TMemoryStream out;
  s.SaveToStream(out);
  ASSERT_EQ(out.Bytes().size(), 8u + (4 + 9 + 8) + (4 + 8));  // "ä" is two bytes

  TMemoryStream in(out.Bytes());
  TRunTimeProject back = Snapshot({{"Z:\\before", 0, 0}});
  EXPECT_TRUE(back.LoadFromStream(in));
  EXPECT_EQ(back.Reserved, -3);
  auto want = Entries(s);
  want.insert(want.begin(), TEntry{"Z:\\before", 0, 0});
  EXPECT_EQ(Entries(back), want);

  // Cut inside the second entry: the first stays.
  std::vector<std::uint8_t> cut(out.Bytes().begin(), out.Bytes().end() - 3);
  TMemoryStream cutIn(cut);
  TRunTimeProject partial;
  EXPECT_FALSE(partial.LoadFromStream(cutIn));
  EXPECT_EQ(Entries(partial), (std::vector<TEntry>{{"Z:\\ä.txt", T, 1}}));

  for (const std::int32_t count : {0x7fffffff, -1}) {
    TMemoryStream hostile;
    WriteStreamInt(hostile, 4);
    WriteStreamInt(hostile, count);
    TMemoryStream hostileIn(hostile.Bytes());
    TRunTimeProject none;
    EXPECT_FALSE(none.LoadFromStream(hostileIn)) << count;
    EXPECT_EQ(none.Count(), 0);
    EXPECT_EQ(none.Reserved, 4);
  }
}

}  // namespace
