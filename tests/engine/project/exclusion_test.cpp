#include <gtest/gtest.h>

#include "app/engine/path_routines.h"
#include "app/engine/project/project.h"
#include "tests/engine/project/project_fixture.h"

namespace {

TEST(Exclusion, Table) {
  ProjectHome home;
  TProject p;
  p.ExcludedPatterns.Add("*.tmp", 0);
  p.ExcludedPatterns.Add("*.übung", 0);
  p.ExcludedPatterns.Add("Z:\\home\\ann\\secret.DOC", 0);
  p.ExcludedFolders.Add("Z:\\home\\ann\\Cache\\", 0);
  p.ExcludedFolders.Add("Z:\\Daten\\Ärger\\", 0);
  const struct {
    const char* path;
    bool excluded;
  } cases[] = {
      {"Z:\\home\\ann\\x.TMP", true},        {"Z:\\home\\ann\\x.tmp", true},
      {"Z:\\home\\ann\\x.tmp.bak", false},   {"Z:\\home\\ann\\X.ÜBUNG", true},
      {"Z:\\home\\ann\\SECRET.doc", true},   {"Z:\\home\\ann\\secret.docx", false},
      {"Z:\\home\\ann\\Cache\\a.txt", true}, {"Z:\\HOME\\ANN\\CACHE\\sub\\deep\\f.txt", true},
      {"Z:\\home\\ann\\cache", false},       {"Z:\\home\\ann\\Cachefile\\x", false},
      {"z:\\daten\\ÄRGER\\x.txt", true},     {"z:\\daten\\ärger2\\x.txt", false},
      {"Z:\\home\\ann\\what?.tmp", false},   {"Z:\\home\\ann\\Cache\\*.txt", false},
      {"Z:\\home\\ann\\noext", false},
  };
  for (const auto& c : cases) EXPECT_EQ(p.IsExcluded(c.path), c.excluded) << c.path;

  // A lone "*" stands for the files without an extension; the extension is the file name's.
  TProject q;
  q.ExcludedPatterns.Add("*", 0);
  EXPECT_TRUE(q.IsExcluded("Z:\\a.b\\noext"));
  EXPECT_TRUE(q.IsExcluded("C:noext"));
  EXPECT_FALSE(q.IsExcluded("Z:\\a\\x.txt"));
}

TEST(PathRoutines, Table) {
  EXPECT_EQ(AddTrailingBackslash(""), "\\");
  EXPECT_EQ(AddTrailingBackslash("Z:\\a"), "Z:\\a\\");
  EXPECT_EQ(AddTrailingBackslash("Z:\\a\\"), "Z:\\a\\");

  const struct {
    const char* path;
    const char* name;
  } names[] = {{"Z:\\a.b\\file.tar.gz", "file.tar"},
               {"Z:\\a.b\\noext", "noext"},
               {"C:name.txt", "name"},
               {"Z:\\a\\.bashrc", ""},
               {"job.bpj", "job"},
               {"Z:\\a\\", ""}};
  for (const auto& c : names) EXPECT_EQ(PathWithoutExtension(c.path), c.name) << c.path;

  EXPECT_TRUE(IsPathPrefix("Z:\\ÄRGER\\", "z:\\ärger\\x"));
  EXPECT_TRUE(IsPathPrefix("Z:\\a\\", "Z:\\a\\"));
  EXPECT_TRUE(IsPathPrefix("", "Z:\\a"));
  EXPECT_FALSE(IsPathPrefix("Z:\\a\\b", "Z:\\a\\"));
  EXPECT_FALSE(IsPathPrefix("Z:\\b", "Z:\\a\\b"));
  EXPECT_FALSE(IsPathPrefixExact("Z:\\A\\", "Z:\\a\\x"));
  EXPECT_TRUE(IsWindowsNT());
}

TEST(Items, PathListsCompareExactlyPatternListsIgnoreCase) {
  TItems files;  // a path list
  TItem* lower = files.Add("Z:\\d\\a.txt", 0);
  TItem* upper = files.Add("Z:\\d\\A.txt", 4);
  EXPECT_NE(lower, upper);
  EXPECT_EQ(files.Add("Z:\\d\\A.txt", 9), upper);
  EXPECT_EQ(upper->Kind, 4);  // an existing item keeps its kind
  EXPECT_EQ(files.Find("Z:\\D\\A.TXT"), nullptr);
  EXPECT_EQ(files.Count(), 2);
  EXPECT_EQ(files.FindPrefixOf("Z:\\D\\a.txt"), nullptr);

  TItems patterns(TItemCompare::IgnoreCase);
  TItem* tmp = patterns.Add("*.tmp", 1);
  EXPECT_EQ(patterns.Add("*.TMP", 2), tmp);
  EXPECT_EQ(tmp->Kind, 1);
  EXPECT_EQ(patterns.Find("*.Tmp"), tmp);
  TItem* folder = patterns.Add("Z:\\Ärger\\", 0);
  EXPECT_EQ(patterns.FindPrefixOf("z:\\ärger\\sub\\"), folder);
  EXPECT_EQ(patterns.Find("Z:\\other"), nullptr);
}

TEST(Items, GetClearAssignTo) {
  TItems source;
  source.Add("Z:\\one", 0);
  source.Add("Z:\\two", 7)->Included = false;
  EXPECT_EQ(source.Get(1)->Name, "Z:\\two");
  EXPECT_EQ(source.Get(2), nullptr);
  EXPECT_EQ(source.Get(-1), nullptr);

  TItems target;
  target.Add("Z:\\old", 0);
  source.AssignTo(target);
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(target.Find("Z:\\old"), nullptr);
  EXPECT_EQ(target.Get(1)->Kind, 7);
  EXPECT_FALSE(target.Get(1)->Included);
  EXPECT_EQ(target.Find("Z:\\two"), target.Get(1));

  // Only included items are counted and written; loading appends without a duplicate check.
  TMemoryStream out;
  source.SaveToStream(out);
  EXPECT_EQ(out.Bytes().size(), 4u + 4 + 6 + 4);
  TMemoryStream in(out.Bytes());
  EXPECT_TRUE(target.LoadFromStream(in));
  EXPECT_EQ(target.Count(), 3);
  EXPECT_EQ(target.Get(2)->Name, "Z:\\one");
  EXPECT_EQ(target.Find("Z:\\one"), target.Get(0));

  target.Clear();
  EXPECT_EQ(target.Count(), 0);
  EXPECT_EQ(target.Find("Z:\\one"), nullptr);
}

}  // namespace
