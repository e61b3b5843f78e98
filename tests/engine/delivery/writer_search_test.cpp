// The writer search against virtual recorders, and the table's 25 entries.
#include "app/engine/delivery/writer_search.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/registry/registry.h"
#include "tests/support/temp_dir.h"

namespace reg = platform::registry;

namespace {

TEST(WriterSearchTest, RecordersAreListedWithTheirAddresses) {
  TempDir dir;
  setenv("QUORVA_HOME", dir.P("home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", dir.P("config").c_str(), 1);
  const char* kKey = "\\Software\\Quorva\\halvorin\\VirtualRecorders";
  auto root = reg::Key::Open(reg::Hive::CurrentUser, kKey, true);
  ASSERT_TRUE(root && root->WriteDWord("Count", 2));
  const char* media[] = {"DVD-R", "CD-ROM"};
  for (int i = 0; i < 2; ++i) {
    auto key = reg::Key::Open(reg::Hive::CurrentUser,
                              std::string(kKey) + "\\Recorder" + std::to_string(i), true);
    ASSERT_TRUE(key && key->WriteString("Media", media[i]));
  }
  StartWriterSearch(2);
  JoinWriterSearch();
  const auto names = WriterNames();
  const auto addresses = WriterAddresses();
  ASSERT_GE(names.size(), 1u);
  // The library gives the vendor as the drive pads it to 8 characters.
  EXPECT_EQ(names[0], " QUORVA   Virtual Recorder 1.00");
  EXPECT_EQ(addresses.size(), names.size());
  EXPECT_EQ(addresses[0].TargetID, 0);
}

TEST(WriterSearchTest, TheTableHoldsTwentyFiveWriters) {
  // The table lives as long as the program: writers a search of this run found stay in it.
  const auto before = static_cast<int>(WriterNames().size());
  ASSERT_LT(before, static_cast<int>(kMaxWriters));
  for (int i = 0; i < 30; ++i)
    EXPECT_EQ(AddWriter("w" + std::to_string(i), {0, 0, i, 0}),
              before + i < static_cast<int>(kMaxWriters));
  EXPECT_EQ(WriterNames().size(), kMaxWriters);
  EXPECT_EQ(WriterAddresses().back().TargetID, static_cast<int>(kMaxWriters) - 1 - before);
}

}  // namespace
