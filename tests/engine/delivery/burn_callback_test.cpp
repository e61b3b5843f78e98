// The general event callback's renames of colliding names and its tolerance of missing values.
#include "app/engine/delivery/burn_callback.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "app/engine/delivery/program_modules.h"
#include "platform/debug/debug.h"

namespace {

std::string Iso(const std::string& name) {
  char buffer[520] = {};
  std::strcpy(buffer, name.c_str());
  EXPECT_TRUE(MakeUniqueIsoName(buffer, sizeof buffer));
  return buffer;
}

TEST(BurnCallbackTest, IsoNamesTakeTheCounterBeforeTheirTail) {
  InitializeSamplesTools("/opt/qb/QB.exe");
  EXPECT_EQ(TraceModuleName(), "QB");
  const std::pair<const char*, const char*> cases[] = {{"FILE.TXT;1", "FILE1.TXT;1"},
                                                       {"README;1", "README2;1"},
                                                       {"A", "A03"},
                                                       {"LONGNAME.TXT;1", "LONGNAME4.TXT;1"},
                                                       {"LONGERNAME.TXT;1", "LONGERN5.TXT;1"},
                                                       {"LONGERNAME.TXT;1", "LONGERN6.TXT;1"}};
  for (const auto& [before, after] : cases) EXPECT_EQ(Iso(before), after) << before;
}

TEST(BurnCallbackTest, ModulesEndWithTheCallbackCountersThenTheLibrary) {
  platform::debug::Capture capture;
  {
    const TProgramModules modules("C:\\Program Files\\QB\\QB.exe");
    EXPECT_EQ(TraceModuleName(), "QB");
    // One call in and out, as the library makes them.
    SamplesCallback(HALVORIN_CALLBACK_REASON_WRITE_PROGRESS, nullptr, nullptr, nullptr);
  }
  const std::string text = capture.Text();
  const std::string callback = "QB:SampelsTools.Finalization: SamplesCallBack In=1 Out=1";
  const std::string library = "Halvorin.Finalization:********************** ";
  ASSERT_NE(text.find(callback), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - library.size()), library) << text;
  EXPECT_LT(text.find(callback), text.find(library));
}

TEST(BurnCallbackTest, ModuleNameKeepsANameWithoutExtension) {
  InitializeSamplesTools("/usr/bin/quorvabackup");
  EXPECT_EQ(TraceModuleName(), "quorvabackup");
}

TEST(BurnCallbackTest, JolietRenameKeepsTheExtensionAndLeavesNoForbiddenCharacter) {
  HALVORIN_NAME_COLLISION_RECORD record{};
  record.m__UCHAR__NameKind = HALVORIN_COLLISION_KIND_JOLIET;
  const std::u16string name = u"My file.doc;1";
  for (size_t i = 0; i < name.size(); ++i) {
    record.m__UCHAR__Identifier[2 * i] = static_cast<unsigned char>(name[i]);
    record.m__UCHAR__Identifier[2 * i + 1] = static_cast<unsigned char>(name[i] >> 8);
  }
  std::string before, after;
  AnswerNameCollision(&record, &before, &after);
  EXPECT_EQ(before, "My file.doc;1");
  EXPECT_TRUE(
      std::regex_match(after, std::regex(R"(My_file_\d{4}-\d\d-\d\d_\d\d_\d\d_\d\d\.doc;1)")))
      << after;
  uint32_t answer = 0;
  std::memcpy(&answer, reinterpret_cast<const char*>(&record) + 545, 4);
  EXPECT_EQ(answer, HALVORIN_COLLISION_RENAME);
}

TEST(BurnCallbackTest, NullContextAndValuesAreTolerated) {
  for (uint32_t reason = 0; reason < 30; ++reason)
    SamplesCallback(reason, nullptr, nullptr, nullptr);
  std::int32_t nodes = 0;
  SamplesCallback(0, &nodes, const_cast<char*>("a"), nullptr);
  EXPECT_EQ(nodes, 1);
  int64_t size = 0x100000000LL, written = 0x80000000LL;
  testing::internal::CaptureStdout();
  SamplesCallback(5, nullptr, &size, &written);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("in UCHARs 4294967296, LBs 2147483648"),
            std::string::npos);
}

}  // namespace
