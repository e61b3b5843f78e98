// Name collisions of both kinds with every answer, the walk's callbacks, cancel, and the
// refusals after a build, through the exports.
#include <thread>

#include "tests/lib/mastering/iso_test_support.h"

namespace isotest {
namespace {

std::string WinOf(const std::string& posix) {
  std::string w = "Z:" + posix;
  for (char& c : w)
    if (c == '/') c = '\\';
  return w;
}

std::vector<std::string> KidNames(void* tree, void* node) {
  std::vector<std::string> names;
  for (void* k = Halvorin_ISO9660JolietFileTree_GetFirstKid(tree, node); k;
       k = Halvorin_ISO9660JolietFileTree_GetNextKid(tree, node, k)) {
    char a[260], l[260], s[260];
    Halvorin_ISO9660JolietFileTree_GetNames(tree, k, a, l, s);
    names.push_back(l);
  }
  return names;
}

struct CollisionCase {
  const char* name;
  bool joliet;
  std::string first, second;  // colliding only as ISO9660 identifiers, or in both kinds
  uint32_t answer;
  uint8_t expectedKind;
  std::vector<std::string> expectedKids;
};

class CollisionTest : public IsoTest, public ::testing::WithParamInterface<CollisionCase> {};

TEST_P(CollisionTest, AnswersChangeTheTreeAsAsked) {
  const CollisionCase& c = GetParam();
  ASSERT_EQ(Create(c.joliet), 0u);
  const uint8_t one[] = "1", two[] = "2";
  events_.answer = [&](HALVORIN_NAME_COLLISION_RECORD* r) {
    if (r->m__UCHAR__NameKind != c.expectedKind) {
      r->m__ULONG__Answer = 3;  // other kinds: keep both
      return;
    }
    if (c.answer == HALVORIN_COLLISION_RENAME) {
      if (r->m__UCHAR__NameKind == 0) {
        std::strcpy(reinterpret_cast<char*>(r->m__UCHAR__Identifier), "b.txt;1");
      } else {
        std::memset(r->m__UCHAR__Identifier, 0, 520);
        const char* n = "renamed.txt;1";
        for (size_t i = 0; n[i]; ++i) r->m__UCHAR__Identifier[2 * i] = static_cast<uint8_t>(n[i]);
      }
    }
    r->m__ULONG__Answer = c.answer;
  };
  void* parent = nullptr;
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_AddMemory(tree_, text_, sizeof text_, &error_, one, 1, 0,
                                                     c.first.c_str(), 0, &parent),
            0u);
  parent = nullptr;
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_AddMemory(tree_, text_, sizeof text_, &error_, two, 1, 0,
                                                     c.second.c_str(), 0, &parent),
            0u);
  bool asked = false;
  for (const auto& r : events_.collisions) asked |= r.m__UCHAR__NameKind == c.expectedKind;
  EXPECT_TRUE(asked);
  EXPECT_EQ(KidNames(tree_, Halvorin_ISO9660JolietFileTree_GetRoot(tree_)), c.expectedKids);
  // The renamed or kept tree still builds and extracts to what the tree holds.
  ASSERT_EQ(Build(), 0u) << text_;
  ASSERT_EQ(WriteImage(dir_.P("i.iso")), 0u);
  std::string listing =
      Shell("isoinfo -f " + std::string(c.joliet ? "-J " : "") + "-i '" + dir_.P("i.iso") + "'");
  if (c.answer == HALVORIN_COLLISION_RENAME) {
    EXPECT_NE(listing.find(c.expectedKind == 0 ? "/B.TXT;1" : "/renamed.txt"), std::string::npos)
        << listing;
  }
}

const std::string kLongA = "SameFirst12_a.txt", kLongB = "SameFirst12_b.txt";
INSTANTIATE_TEST_SUITE_P(
    EveryKindAndAnswer, CollisionTest,
    ::testing::Values(
        CollisionCase{"IsoDropNew", false, kLongA, kLongB, 0, 0, {kLongA}},
        CollisionCase{"IsoDeleteOld", false, kLongA, kLongB, 1, 0, {kLongB}},
        CollisionCase{"IsoRename", false, kLongA, kLongB, 2, 0, {kLongA, kLongB}},
        CollisionCase{"IsoKeepBoth", false, kLongA, kLongB, 3, 0, {kLongA, kLongB}},
        CollisionCase{"JolietDropNew", true, "same.txt", "same.txt", 0, 1, {"same.txt"}},
        CollisionCase{"JolietDeleteOld", true, "same.txt", "same.txt", 1, 1, {"same.txt"}},
        CollisionCase{"JolietRename", true, "same.txt", "same.txt", 2, 1, {"same.txt", "same.txt"}},
        CollisionCase{
            "JolietKeepBoth", true, "same.txt", "same.txt", 3, 1, {"same.txt", "same.txt"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IsoTest, UnansweredCollisionDropsTheNewNodeAndKeepsTheOld) {
  ASSERT_EQ(Create(true), 0u);
  const uint8_t one[] = "1";
  void* parent = nullptr;
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_AddMemory(tree_, text_, sizeof text_, &error_, one, 1, 0,
                                                     "X.TXT", 0, &parent),
            0u);
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_AddMemory(tree_, text_, sizeof text_, &error_, one, 1, 0,
                                                     "X.TXT", 0, &parent),
            0u);
  ASSERT_EQ(events_.collisions.size(), 1u);
  EXPECT_EQ(events_.collisions[0].m__ULONG__Answer, HALVORIN_COLLISION_DROP_NEW);
  EXPECT_EQ(KidNames(tree_, Halvorin_ISO9660JolietFileTree_GetRoot(tree_)).size(), 1u);
}

TEST_F(IsoTest, RenameToTheSameNameDoesNotLoop) {
  ASSERT_EQ(Create(false), 0u);
  int asked = 0;
  events_.answer = [&](HALVORIN_NAME_COLLISION_RECORD* r) {
    ++asked;
    r->m__ULONG__Answer = HALVORIN_COLLISION_RENAME;  // the identifier is left as it is
  };
  const uint8_t one[] = "1";
  void* parent = nullptr;
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_AddMemory(tree_, text_, sizeof text_, &error_, one, 1, 0,
                                                     "X.TXT", 0, &parent),
            0u);
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_AddMemory(tree_, text_, sizeof text_, &error_, one, 1, 0,
                                                     "X.TXT", 0, &parent),
            0u);
  EXPECT_EQ(asked, 1);
}

TEST_F(IsoTest, WalkReportsFilesBeforeTheirFolderAndGivesLevelAndPowers) {
  WriteFile(dir_.P("t/a/one.bin"), std::string(3000, '1'));
  WriteFile(dir_.P("t/a/b/two.bin"), std::string(5, '2'));
  ASSERT_EQ(Create(true), 0u);
  ASSERT_EQ(Add(WinOf(dir_.P("t"))), 0u) << text_;
  std::vector<std::string> added;
  for (const auto& [reason, path] : events_.calls)
    if (reason == HALVORIN_CALLBACK_REASON_ADD_NAME) added.push_back(path);
  const auto pos = [&](const std::string& p) {
    return std::find(added.begin(), added.end(), WinOf(dir_.P(p))) - added.begin();
  };
  EXPECT_LT(pos("t/a/b/two.bin"), pos("t/a/b"));
  EXPECT_LT(pos("t/a/b"), pos("t/a"));
  EXPECT_LT(pos("t/a"), pos("t"));
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetLevel(tree_), 5u);  // root, t, a, b, two.bin
  void* root = Halvorin_ISO9660JolietFileTree_GetRoot(tree_);
  uint32_t high = 1;
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetNodePowerInUCHARs(tree_, root, &high), 3005u);
  EXPECT_EQ(high, 0u);
  void* t = Halvorin_ISO9660JolietFileTree_GetFirstKid(tree_, root);
  void* a = Halvorin_ISO9660JolietFileTree_GetFirstKid(tree_, t);
  char path[260];
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetFullPath(tree_, a, path), HALVORIN_NODE_TYPE_DISK);
  EXPECT_STREQ(path, "\\t\\a");
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetParent(tree_, a), t);
  uint64_t size = 7;
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetFileSizeInUCHARs(tree_, a, &size), 3u);
  EXPECT_EQ(size, 7u);
  // Removing a folder takes its power from every ancestor.
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_Remove(tree_, &a), 1);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetNodePowerInUCHARs(tree_, root, nullptr), 0u);
}

TEST_F(IsoTest, CancelledWalkReturns14WhateverTheIgnoreFlag) {
  for (bool ignore : {false, true}) {
    SCOPED_TRACE(ignore);
    WriteFile(dir_.P("c/x/a.txt"), "a");
    WriteFile(dir_.P("c/x/b.txt"), "b");
    // Cancel from inside the walk, at the first file reported.
    void* tree = nullptr;
    struct Ctx {
      void* tree;
    } ctx{tree_};
    Halvorin_Destroy(&tree_);
    ASSERT_EQ(Halvorin_ISO9660JolietFileTree_Create(
                  &tree, text_, sizeof text_, &error_,
                  [](uint32_t reason, void* context, void*, void*) {
                    if (reason == HALVORIN_CALLBACK_REASON_ADD_NAME)
                      Halvorin_ISO9660JolietFileTree_Cancel(static_cast<Ctx*>(context)->tree);
                  },
                  &ctx, ignore, 0, 0, 1),
              0u);
    ctx.tree = tree;
    tree_ = tree;
    EXPECT_EQ(Add(WinOf(dir_.P("c"))), HALVORIN_STATUS_CANCELLED);
    void* root = Halvorin_ISO9660JolietFileTree_GetRoot(tree_);
    EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetFirstKid(tree_, root), nullptr);
    Halvorin_Destroy(&tree_);
  }
}

TEST_F(IsoTest, BuiltTreeRefusesChangesAndASecondBuild) {
  ASSERT_EQ(Create(true), 0u);
  ASSERT_EQ(Add("", nullptr, "folder"), 0u);
  ASSERT_EQ(Build(), 0u);
  const uint64_t size = ImageSize();
  EXPECT_EQ(Build(), HALVORIN_STATUS_INTERNAL_STATE);
  EXPECT_EQ(Add("", nullptr, "later"), HALVORIN_STATUS_INTERNAL_STATE);
  void* root = Halvorin_ISO9660JolietFileTree_GetRoot(tree_);
  void* kid = Halvorin_ISO9660JolietFileTree_GetFirstKid(tree_, root);
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_Remove(tree_, &kid), 0);
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_SetNames(tree_, kid, nullptr, "x", "x"), 0);
  EXPECT_EQ(ImageSize(), size);
}

TEST_F(IsoTest, ExportsRejectBadHandlesCountsAndPaths) {
  ASSERT_EQ(Create(false), 0u);
  char buffer[16];
  int foreign = 0;
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_Read(nullptr, text_, sizeof text_, &error_, 1, buffer),
            2u);
  ASSERT_EQ(Add("", nullptr, "d"), 0u);
  ASSERT_EQ(Build(), 0u);
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_Read(tree_, text_, sizeof text_, &error_, -1, buffer),
            2u);
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_Read(tree_, text_, sizeof text_, &error_, 1, nullptr),
            2u);
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetFirstKid(tree_, &foreign), nullptr);
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetFullPath(tree_, &foreign, nullptr), 0u);
  uint64_t size;
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetFileSizeInUCHARs(tree_, &foreign, &size), 2u);
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_GetFileSizeInUCHARs(tree_, nullptr, nullptr), 2u);
  void* other = nullptr;
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_Create(&other, text_, sizeof text_, &error_, nullptr,
                                                  nullptr, 0, 0, 0, 0),
            0u);
  const std::string longPath = "Z:\\" + std::string(300, 'p');
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_Add(other, text_, sizeof text_, &error_,
                                               longPath.c_str(), nullptr, 0, nullptr),
            2u);
  void* rootOfFirst = Halvorin_ISO9660JolietFileTree_GetRoot(tree_);
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_Add(other, text_, sizeof text_, &error_, nullptr, "x", 0,
                                               &rootOfFirst),
            2u);
  Halvorin_Destroy(&other);
}

}  // namespace
}  // namespace isotest
