#include <gtest/gtest.h>

#include "app/engine/restore/compare_obj.h"
#include "app/engine/restore/path_dir_pair.h"
#include "app/engine/selection/tripper_list.h"

namespace {

TEST(TripperList, States) {
  TTripperList sets;
  EXPECT_EQ(sets.GetState("Z:\\never\\"), -1);

  sets.SetState("Z:\\a\\", 2);
  EXPECT_EQ(sets.GetState("Z:\\a\\"), 2);
  sets.SetState("Z:\\a\\", 1);
  EXPECT_EQ(sets.GetState("Z:\\a\\"), 1);
  EXPECT_TRUE(sets.PartlyChecked().empty());
  EXPECT_TRUE(sets.Unchecked().empty());
  sets.SetState("Z:\\a\\", 0);
  EXPECT_EQ(sets.GetState("Z:\\a\\"), 0);
  EXPECT_TRUE(sets.Checked().empty());
  sets.SetState("Z:\\a\\", 3);  // any other state is partly checked
  EXPECT_EQ(sets.GetState("Z:\\a\\"), 2);
  EXPECT_TRUE(sets.Unchecked().empty());

  // Paths compare exactly: these are two files.
  sets.SetState("Z:\\d\\A.txt", 1);
  sets.SetState("Z:\\d\\a.txt", 0);
  EXPECT_EQ(sets.GetState("Z:\\d\\A.txt"), 1);
  EXPECT_EQ(sets.GetState("Z:\\d\\a.txt"), 0);
  EXPECT_EQ(sets.GetState("Z:\\D\\A.TXT"), -1);

  // Count is the checked set alone.
  sets.SetState("Z:\\e", 1);
  sets.SetState("Z:\\f", 2);
  EXPECT_EQ(sets.Count(), 2);

  sets.SetState("", 1);
  sets.SetState("\\", 1);
  EXPECT_EQ(sets.Count(), 2);
  EXPECT_EQ(sets.GetState("\\"), -1);

  sets.Clear();
  EXPECT_EQ(sets.Count(), 0);
  EXPECT_EQ(sets.GetState("Z:\\d\\a.txt"), -1);
  EXPECT_EQ(sets.GetState("Z:\\f"), -1);
}

TEST(PathDirPair, FilesStateAndFind) {
  TPathDirPair pair("Z:\\d\\");
  pair.Files.Add(std::make_unique<TRuntimeFile>("Z:\\d\\a.txt", 5, 1));
  pair.Files.Add(std::make_unique<TRuntimeFile>("Z:\\d\\A.txt", 6, 1));
  TTripperList sets;
  sets.SetState("Z:\\d\\a.txt", 2);
  pair.SetFilesState(1, sets);
  EXPECT_EQ(sets.GetState("Z:\\d\\a.txt"), 1);
  EXPECT_EQ(sets.GetState("Z:\\d\\A.txt"), 1);
  EXPECT_EQ(sets.Count(), 2);
  pair.SetFilesState(0, sets);
  EXPECT_EQ(sets.Count(), 0);

  EXPECT_EQ(pair.FindFile("Z:\\d\\A.txt")->FileTime, 6);
  EXPECT_EQ(pair.FindFile("Z:\\d\\a.TXT"), nullptr);
}

TEST(CompareObj, VersionsAndNewestMerge) {
  TCompareObj versions;
  versions.AddVersion(nullptr, "ignored");
  EXPECT_EQ(versions.VersionCount(), 0);
  EXPECT_TRUE(versions.Names.empty());

  TRunTimeProject first;
  first.Add(std::make_unique<TRuntimeFile>("Z:\\a", 20, 1));
  first.Add(std::make_unique<TRuntimeFile>("Z:\\b", 10, 1));
  TRunTimeProject second;
  second.Add(std::make_unique<TRuntimeFile>("Z:\\a", 10, 2));  // older copy
  second.Add(std::make_unique<TRuntimeFile>("Z:\\b", 30, 2));
  second.Add(std::make_unique<TRuntimeFile>("Z:\\B", 5, 2));
  versions.AddVersion(&first, "Z:\\bak\\job.qvp");
  versions.AddVersion(&second, "Z:\\bak\\job-v002.qvp");
  first.Clear();  // the versions are copies

  EXPECT_EQ(versions.Names,
            (std::vector<std::string>{"Z:\\bak\\job.qvp", "Z:\\bak\\job-v002.qvp"}));
  ASSERT_EQ(versions.Merged.Count(), 3);
  EXPECT_EQ(versions.Merged.FindByName("Z:\\a")->FileTime, 20);
  EXPECT_EQ(versions.Merged.FindByName("Z:\\a")->Run, 1);
  EXPECT_EQ(versions.Merged.FindByName("Z:\\b")->Run, 2);
  EXPECT_EQ(versions.Merged.FindByName("Z:\\B")->FileTime, 5);

  ASSERT_NE(versions.FindInVersion("Z:\\a", 1), nullptr);
  EXPECT_EQ(versions.FindInVersion("Z:\\a", 1)->FileTime, 20);
  EXPECT_EQ(versions.FindInVersion("Z:\\B", 1), nullptr);
  EXPECT_EQ(versions.FindInVersion("Z:\\B", 2)->FileTime, 5);
  EXPECT_EQ(versions.FindInVersion("Z:\\a", 0), nullptr);
  EXPECT_EQ(versions.FindInVersion("Z:\\a", 3), nullptr);

  versions.AddFileToVersion(1, "Z:\\c");
  versions.AddFileToVersion(0, "Z:\\never");
  versions.AddFileToVersion(9, "Z:\\never");
  const TRuntimeFile* c = versions.FindInVersion("Z:\\c", 1);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->FileTime, 0);
  EXPECT_EQ(c->Run, 0);
  EXPECT_EQ(versions.Merged.FindByName("Z:\\c"), nullptr);
  EXPECT_EQ(versions.FindInVersion("Z:\\never", 2), nullptr);

  versions.Clear();
  EXPECT_EQ(versions.VersionCount(), 0);
  EXPECT_TRUE(versions.Names.empty());
  EXPECT_EQ(versions.Merged.Count(), 0);
  EXPECT_EQ(versions.FindInVersion("Z:\\a", 1), nullptr);
}

}  // namespace
