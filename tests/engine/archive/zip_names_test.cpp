// Stored names and restore targets.
#include "app/engine/archive/zip_names.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

TEST(ZipNames, StoredNameDropsTheDriveColon) {
  EXPECT_EQ(StoredNameForFile("Z:\\home\\ann\\a.txt"), "Z\\home\\ann\\a.txt");
  EXPECT_EQ(StoredNameForFile("C:\\a.txt"), "C\\a.txt");
  EXPECT_EQ(StoredNameForFile("Z:\\Data\\CASE.TXT"), "Z\\Data\\CASE.TXT");
  for (const char* notAbsolute :
       {"", "Z:", "Z:\\", "Z:a.txt", "a\\b.txt", "\\\\srv\\share\\x", ":\\x"})
    EXPECT_FALSE(StoredNameForFile(notAbsolute)) << notAbsolute;
  EXPECT_EQ(NormalizeStoredName("Z/tmp/a b/c.txt"), "Z\\tmp\\a b\\c.txt");
  EXPECT_TRUE(IsFolderEntryName("Z\\tmp\\"));
  EXPECT_FALSE(IsFolderEntryName("Z\\tmp"));
}

struct TTargetCase {
  const char* stored;
  const char* original;   // nullptr: refused
  const char* elsewhere;  // below Z:\restore; nullptr: refused
};

class ZipTargets : public ::testing::TestWithParam<TTargetCase> {};

TEST_P(ZipTargets, FollowTheRulesAndRefuseWhatWouldEscape) {
  const TTargetCase& c = GetParam();
  const TEntryTarget original = OriginalPlaceTarget(c.stored);
  const TEntryTarget elsewhere = ElsewhereTarget(c.stored, "Z:\\restore");
  if (c.original) {
    EXPECT_EQ(original.path, std::optional<std::string>(c.original));
  } else {
    EXPECT_FALSE(original.path);
    EXPECT_NE(original.refusal.find(c.stored), std::string::npos) << original.refusal;
  }
  if (c.elsewhere) {
    EXPECT_EQ(elsewhere.path, std::optional<std::string>(c.elsewhere));
  } else {
    EXPECT_FALSE(elsewhere.path);
    EXPECT_FALSE(elsewhere.refusal.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, ZipTargets,
    ::testing::Values(
        TTargetCase{"Z\\home\\ann\\a.txt", "Z:\\home\\ann\\a.txt",
                    "Z:\\restore\\Z\\home\\ann\\a.txt"},
        TTargetCase{"Z\\a", "Z:\\a", "Z:\\restore\\Z\\a"},
        TTargetCase{"C\\data\\a.txt", nullptr, "Z:\\restore\\C\\data\\a.txt"},
        TTargetCase{"ok.txt", nullptr, "Z:\\restore\\ok.txt"},
        TTargetCase{"Zhome\\a", nullptr, "Z:\\restore\\Zhome\\a"},
        TTargetCase{"Z\\..\\etc\\passwd", nullptr, nullptr}, TTargetCase{"..\\a", nullptr, nullptr},
        TTargetCase{"Z\\a\\..", nullptr, nullptr}, TTargetCase{"Z\\.\\a", nullptr, nullptr},
        TTargetCase{"\\etc\\passwd", nullptr, nullptr},
        TTargetCase{"\\\\server\\share\\a", nullptr, nullptr},
        TTargetCase{"C:\\x", nullptr, nullptr}, TTargetCase{"Z\\a\\D:b", nullptr, nullptr},
        TTargetCase{"Z\\\\a", nullptr, nullptr}, TTargetCase{"Z\\a\\", nullptr, nullptr},
        TTargetCase{"", nullptr, nullptr}));

TEST(ZipNames, ElsewhereNeedsABaseFolder) {
  EXPECT_FALSE(ElsewhereTarget("Z\\a", "").path);
  EXPECT_EQ(ElsewhereTarget("Z\\a", "Z:\\b\\").path, std::optional<std::string>("Z:\\b\\Z\\a"));
  EXPECT_FALSE(ElsewhereTarget("Z\\a", "D:\\b").path);
}

}  // namespace
