#include "platform/sorvane/sorvane.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sorvane/helper/scrambling.h"
#include "tests/support/helper_library.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::sorvane::CallHelper;

std::string AllBytes() {
  std::string s;
  for (int c = 1; c < 256; ++c) s += static_cast<char>(c);
  return s;
}

const std::vector<std::string> kTexts = {
    "",
    "a",
    "Z:\\home\\ann\\QVP_JOBS\\daily.bpj",
    "Z:\\home\\zoë\\Sicherung fürs Büro ✓.bpj",
    "secret password",
    "ann@workstation",
    AllBytes(),
    std::string(10000, 'x'),
};

const std::vector<std::string> kKeys = {
    "MORL_VEQ",
    "{0F1E2D3C-4B5A-4978-8796-A5B4C3D2E1F0}",
    "Z:\\home\\ann\\QVP_JOBS\\daily.bpj",
    "",
};

bool Printable(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c > 0x7E) return false;
  return true;
}

class SorvaneTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("QUORVA_HOME", home_.Posix().c_str(), 1); }
  bool Install() { return InstallHelperLibrary(home_.Posix()); }

  TempDir home_;
};

TEST_F(SorvaneTest, ExportsReverseEachOtherWithPrintableOutput) {
  ASSERT_TRUE(Install());
  for (const auto& key : kKeys) {
    std::set<std::string> outputs;
    for (const auto& text : kTexts) {
      SCOPED_TRACE("key '" + key + "' text of " + std::to_string(text.size()) + " bytes");
      const auto scrambled = CallHelper("Fun1", key, text);
      ASSERT_TRUE(scrambled);
      EXPECT_TRUE(Printable(*scrambled));
      EXPECT_EQ(scrambled->empty(), text.empty());
      if (!text.empty()) {
        EXPECT_NE(*scrambled, text);
        EXPECT_TRUE(outputs.insert(*scrambled).second);
      }
      EXPECT_EQ(CallHelper("Fun2", key, *scrambled), text);
      // The library's code is the scrambling the tests and the fuzzer link.
      EXPECT_EQ(*scrambled, sorvane::Scramble(key, text));
    }
  }
}

TEST_F(SorvaneTest, TheKeyMatters) {
  ASSERT_TRUE(Install());
  const std::string text = "Z:\\home\\ann\\QVP_JOBS\\daily.bpj";
  std::set<std::string> outputs;
  for (const auto& key : kKeys) outputs.insert(CallHelper("Fun1", key, text).value());
  EXPECT_EQ(outputs.size(), kKeys.size());
  const std::string scrambled = CallHelper("Fun1", "MORL_VEQ", text).value();
  EXPECT_NE(CallHelper("Fun2", "MORL_VEQ_", scrambled), text);
}

TEST_F(SorvaneTest, TextTheScramblingCannotHaveMadeUnscramblesToNothing) {
  ASSERT_TRUE(Install());
  for (const std::string bad : {"ABC", "AZ", "ab", "A\x01", "QQ", "A B "})
    EXPECT_EQ(CallHelper("Fun2", "MORL_VEQ", bad), "") << bad;
}

TEST_F(SorvaneTest, MissingLibraryOrExportGivesNothing) {
  EXPECT_EQ(CallHelper("Fun1", "MORL_VEQ", "text"), std::nullopt);
  ASSERT_TRUE(Install());
  EXPECT_EQ(CallHelper("Fun3", "MORL_VEQ", "text"), std::nullopt);
  EXPECT_NE(platform::sorvane::HelperSearchPlaces().find(home_.Posix() + "/libsorvane.so"),
            std::string::npos);
  // A file that is not a library is no helper either.
  WriteFile(home_.P("libsorvane.so"), "not a library");
  EXPECT_EQ(CallHelper("Fun1", "MORL_VEQ", "text"), std::nullopt);
}

TEST_F(SorvaneTest, ThreadsGetTheirOwnResults) {
  ASSERT_TRUE(Install());
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 200; ++i) {
        const std::string text = "thread " + std::to_string(t) + " call " + std::to_string(i);
        const auto scrambled = CallHelper("Fun1", "MORL_VEQ", text);
        if (!scrambled || CallHelper("Fun2", "MORL_VEQ", *scrambled) != text)
          ++failures[static_cast<size_t>(t)];
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(SorvaneLibrary, ExportsOnlyItsTwoFunctions) {
  std::string out;
  ASSERT_EQ(RunCommand("nm -D --defined-only '" + BuiltHelperLibrary() + "'", &out), 0) << out;
  std::set<std::string> names;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line))
    if (!line.empty()) names.insert(line.substr(line.rfind(' ') + 1));
  EXPECT_EQ(names, (std::set<std::string>{"Fun1", "Fun2"})) << out;
}

}  // namespace
