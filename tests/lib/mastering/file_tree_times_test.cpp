// The time kind of a tree addition picks the time its disk entries record: creation, last
// access or last write, for the entry added and for everything under it.
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include "tests/lib/mastering/iso_test_support.h"

namespace isotest {
namespace {

int LocalYear(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return local.tm_year + 1900;
}

// Access in 2001, write in 2011 (mid-year, away from any time zone's new year).
void SetTimes(const std::string& posix) {
  timespec times[2] = {{978307200 + 180 * 86400, 0}, {1293840000 + 180 * 86400, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, posix.c_str(), times, 0), 0);
}

// The creation time the file system reports (birth time), else the last change time.
int CreationYear(const std::string& posix) {
  struct statx sx {};
  if (statx(AT_FDCWD, posix.c_str(), 0, STATX_BTIME | STATX_CTIME, &sx) == 0 &&
      (sx.stx_mask & STATX_BTIME))
    return LocalYear(static_cast<std::time_t>(sx.stx_btime.tv_sec));
  return LocalYear(static_cast<std::time_t>(sx.stx_ctime.tv_sec));
}

TEST_F(IsoTest, TimeKindPicksCreationAccessOrWriteTime) {
  WriteFile(dir_.P("src/a.txt"), "alpha");
  WriteFile(dir_.P("src/sub/b.txt"), "beta");
  for (const char* f : {"src/a.txt", "src/sub/b.txt"}) SetTimes(dir_.P(f));
  const int created = CreationYear(dir_.P("src/a.txt"));
  ASSERT_GT(created, 2011);  // made just now, whatever the file system reports
  const struct {
    int32_t kind;
    int year;
  } cases[] = {{0, created}, {1, 2001}, {2, 2011}, {7, 2011}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    if (tree_) Halvorin_Destroy(&tree_);
    ASSERT_EQ(Create(false), 0u);
    void* parent = nullptr;
    ASSERT_EQ(
        Halvorin_ISO9660JolietFileTree_Add(tree_, text_, sizeof text_, &error_,
                                           dir_.W("src\\a.txt").c_str(), nullptr, c.kind, &parent),
        0u)
        << text_;
    parent = nullptr;
    ASSERT_EQ(
        Halvorin_ISO9660JolietFileTree_Add(tree_, text_, sizeof text_, &error_,
                                           dir_.W("src\\sub").c_str(), nullptr, c.kind, &parent),
        0u)
        << text_;
    void* root = Halvorin_ISO9660JolietFileTree_GetRoot(tree_);
    void* a = Halvorin_ISO9660JolietFileTree_GetFirstKid(tree_, root);
    void* sub = Halvorin_ISO9660JolietFileTree_GetNextKid(tree_, root, a);
    ASSERT_NE(sub, nullptr);
    void* b = Halvorin_ISO9660JolietFileTree_GetFirstKid(tree_, sub);  // below the folder added
    ASSERT_NE(b, nullptr);
    for (void* node : {a, b}) {
      SYSTEMTIME t{};
      ASSERT_EQ(Halvorin_ISO9660JolietFileTree_GetNodeSystemTime(tree_, node, &t), 0u);
      EXPECT_EQ(t.wYear, c.year);
    }
  }
}

}  // namespace
}  // namespace isotest
