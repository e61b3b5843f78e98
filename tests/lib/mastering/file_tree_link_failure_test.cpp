// A kid whose linking fails (its parent's name index out of memory) is not lost: at every point
// of a walk, for a kid inside the walk and for the walk's top folder alike, the addition fails,
// the tree's node count is what it was before, and every name reported added is reported
// removed again.
#include <gtest/gtest.h>

#include <map>
#include <new>
#include <string>

#include "lib/core/halvorin_exception.h"
#include "lib/mastering/iso9660/iso9660_file_tree.h"
#include "tests/lib/mastering/iso_test_support.h"

namespace isotest {
namespace {

// An ISO9660 tree whose n-th kid index runs out of memory.
class IndexFailingTree : public CHalvorin_ISO9660FileTree {
 public:
  IndexFailingTree(HALVORIN_CALLBACK callback, void* context)
      : CHalvorin_ISO9660FileTree(callback, context, true, false, false) {}
  int failAt = 0, calls = 0;

 protected:
  void KidIndexed(CHalvorin_FileTreeNode* parent, CHalvorin_FileTreeNode* kid) override {
    if (++calls == failAt) throw std::bad_alloc();
    CHalvorin_ISO9660FileTree::KidIndexed(parent, kid);
  }
};

// Names added less names removed.
void CountNames(uint32_t reason, void* context, void* p1, void*) {
  auto& names = *static_cast<std::map<std::string, int>*>(context);
  if (reason == HALVORIN_CALLBACK_REASON_ADD_NAME) ++names[static_cast<const char*>(p1)];
  if (reason == HALVORIN_CALLBACK_REASON_REMOVE_NAME) --names[static_cast<const char*>(p1)];
}

TEST_F(IsoTest, AKidThatCannotBeLinkedIsDeletedWithItsSubtree) {
  WriteFile(dir_.P("t/a/one.bin"), "1");
  WriteFile(dir_.P("t/a/two.bin"), "22");
  WriteFile(dir_.P("t/three.bin"), "333");
  // Root, t, a, one.bin, two.bin, three.bin: the root is never indexed, so 5 links.
  constexpr int kLinks = 5;
  for (int failAt = 1; failAt <= kLinks + 1; ++failAt) {
    SCOPED_TRACE(failAt);
    std::map<std::string, int> names;
    IndexFailingTree tree(&CountNames, &names);
    tree.CreateFromRoot(nullptr, "empty", 2, nullptr);  // the root and a folder of its own
    const std::uint32_t before = tree.GetNodeCount();
    tree.failAt = tree.calls + failAt;
    bool failed = false;
    try {
      tree.CreateFromRoot(dir_.W("t").c_str(), nullptr, 2, nullptr);
    } catch (CHalvorin_Exception* e) {
      failed = true;
      delete e;
    } catch (const std::bad_alloc&) {
      failed = true;
    }
    EXPECT_EQ(failed, failAt <= kLinks);
    if (!failed) {
      EXPECT_EQ(tree.GetNodeCount(), before + kLinks);
      continue;
    }
    EXPECT_EQ(tree.GetNodeCount(), before);
    // A folder is reported added once its walk is done; one whose walk failed is only reported
    // removed.
    for (const auto& [name, count] : names) {
      if (name.rfind(dir_.W("t"), 0) == 0) {
        EXPECT_LE(count, 0) << name;
      }
    }
  }
}

}  // namespace
}  // namespace isotest
