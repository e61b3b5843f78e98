// The audio reader's log writer: levels, facilities, the trace settings in the registry and
// start-up handing them over.
#include <cstdio>
#include <filesystem>
#include <optional>

#include "platform/debug/debug.h"
#include "platform/registry/registry.h"
#include "tests/lib/audio/audio_test_support.h"

namespace audiotest {
namespace {

namespace reg = platform::registry;

class TidewellLog : public AudioTest {
 protected:
  // Writes one line at each level 0..3 and returns what reached the three places.
  struct Outputs {
    std::string debugger, file, standard;
  };
  Outputs WriteLevels(const std::string& logFile) {
    platform::debug::Capture capture;
    ::testing::internal::CaptureStdout();
    for (std::uint32_t level = 0; level <= 3; ++level)
      Tidewell_LogMessage(level, "Probe", "(): level %u\n", level);
    Outputs o;
    o.standard = ::testing::internal::GetCapturedStdout();
    o.debugger = capture.Text();
    o.file = ReadFile(logFile);
    return o;
  }
  void Settings(std::optional<std::uint32_t> level, std::optional<std::uint32_t> facility,
                std::optional<std::string> fileName) {
    auto key = reg::Key::Open(reg::Hive::LocalMachine, "SOFTWARE\\Veltrane\\Tidewell", true);
    ASSERT_TRUE(key);
    if (level) key->WriteDWord("DebugLevel", *level);
    if (facility) key->WriteDWord("DebugFacility", *facility);
    if (fileName) key->WriteString("DebugFileName", *fileName);
  }
  std::string DefaultLog() { return dir.P("home/Tidewell.log"); }
};

TEST_F(TidewellLog, BeforeStartUpLevelZeroLinesGoToTheDebuggerOnly) {
  const Outputs o = WriteLevels(DefaultLog());
  EXPECT_EQ(o.debugger, "Probe(): level 0\n");
  EXPECT_EQ(o.standard, "");
  EXPECT_FALSE(std::filesystem::exists(DefaultLog()));
}

TEST_F(TidewellLog, WithoutTheKeyStartUpSendsLevelZeroEverywhere) {
  platform::debug::Capture capture;
  ASSERT_EQ(Tidewell_UpStart(), 0u);
  EXPECT_EQ(capture.Text(),
            "\nTidewell  Media Streaming Toolkit for Windows 95/98/Me/NT/2000/XP/2003  Version "
            "4.2.1 ( 0x20041017 )\n");
  const Outputs o = WriteLevels(DefaultLog());
  EXPECT_EQ(o.debugger, "Probe(): level 0\n");
  EXPECT_EQ(o.file, "Probe(): level 0\n");
  EXPECT_EQ(o.standard, "Probe(): level 0\n");
  EXPECT_EQ(Tidewell_DownShut(), 0u);
}

struct SettingsCase {
  const char* name;
  std::optional<std::uint32_t> level, facility;
  bool ownFile;  // "DebugFileName" names custom.log
  const char* debugger;
  const char* file;  // in the file the settings lead to
  const char* standard;
};

const SettingsCase kSettingsCases[] = {
    {"Level2Facility1", 2, 1, true, "Probe(): level 0\nProbe(): level 1\nProbe(): level 2\n",
     "Probe(): level 0\nProbe(): level 1\nProbe(): level 2\n", ""},
    {"Level3Facility0", 3, 0, true,
     "Probe(): level 0\nProbe(): level 1\nProbe(): level 2\nProbe(): level 3\n", "", ""},
    {"Level1DefaultFacility", 1, std::nullopt, true, "Probe(): level 0\nProbe(): level 1\n",
     "Probe(): level 0\nProbe(): level 1\n", "Probe(): level 0\nProbe(): level 1\n"},
    // A key without a file name: the default file.
    {"NoFileName", 0, 1, false, "Probe(): level 0\n", "Probe(): level 0\n", ""},
    {"EmptyKey", std::nullopt, std::nullopt, false, "Probe(): level 0\n", "Probe(): level 0\n",
     "Probe(): level 0\n"},
};

class TidewellLogSettings : public TidewellLog,
                            public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(TidewellLogSettings, StartUpTakesThemFromTheRegistry) {
  const SettingsCase& c = GetParam();
  Settings(c.level, c.facility,
           c.ownFile ? std::optional<std::string>(dir.W("logs/custom.log")) : std::nullopt);
  std::filesystem::create_directories(dir.P("logs"));
  ASSERT_EQ(Tidewell_UpStart(), 0u);
  const std::string file = c.ownFile ? dir.P("logs/custom.log") : DefaultLog();
  const std::string other = c.ownFile ? DefaultLog() : dir.P("logs/custom.log");
  const Outputs o = WriteLevels(file);
  // Start-up's own lines come first at levels 1 and above; only the probe lines are compared.
  auto probes = [](const std::string& s) {
    std::string out;
    for (size_t at = s.find("Probe("); at != std::string::npos; at = s.find("Probe(", at + 1))
      out += s.substr(at, s.find('\n', at) + 1 - at);
    return out;
  };
  EXPECT_EQ(probes(o.debugger), c.debugger);
  EXPECT_EQ(probes(o.file), c.file);
  EXPECT_EQ(o.standard, c.standard);
  EXPECT_EQ(probes(ReadFile(other)), "");
}

INSTANTIATE_TEST_SUITE_P(Keys, TidewellLogSettings, ::testing::ValuesIn(kSettingsCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TidewellLog, EntryAndExitLinesFrameEveryFunction) {
  Tidewell_LogLevelSet(2);
  const std::string missing = dir.W("nothing.wav");
  platform::debug::Capture capture;
  Tidewell_UncompressedFileSupportedIs(missing.c_str());
  EXPECT_EQ(
      capture.Text(),
      "Tidewell_UncompressedFileSupportedIs(): >>> ENTERed\n"
      "Tidewell_UncompressedFileSupportedIs(): p__PCHAR__UncompressedFileName == '" +
          missing + "' ( 0x" +
          [&] {
            char b[32];
            std::snprintf(b, sizeof b, "%p", static_cast<const void*>(missing.c_str()));
            return std::string(b);
          }() +
          " )\n"
          "Tidewell_UncompressedFileSupportedIs(): CreateFileA( '" +
          missing +
          "', GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, "
          "NULL ) failed, status 2 ( 0x2 )\n"
          "Tidewell_UncompressedFileSupportedIs(): <<< *** EXITing with failure, status 2 "
          "( 0x2 )\n");
}

TEST_F(TidewellLog, LongLinesAreCutToTheBufferAndStillEndTheLine) {
  Tidewell_LogFacilitySet(1);
  Tidewell_LogFileNameSet(dir.W("cut.log").c_str());
  Tidewell_LogFileNameSet("");  // an empty name is not taken
  const std::string text(3000, 'x');
  Tidewell_LogMessage(0, "Long", "(): %s\n", text.c_str());
  Tidewell_LogMessage(0, std::string(1100, 'F').c_str(), "(): short\n");
  const std::string log = ReadFile(dir.P("cut.log"));
  const size_t first = log.find('\n');
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(first, 1022u);
  EXPECT_EQ(log.substr(0, 7), "Long():");
  EXPECT_EQ(log.size(), 2046u);
  EXPECT_EQ(log.back(), '\n');
}

// Names are UTF-8: a line cut in the middle of a character ends before it.
TEST_F(TidewellLog, ACutLineKeepsWholeCharacters) {
  Tidewell_LogFacilitySet(1);
  Tidewell_LogFileNameSet(dir.W("utf8.log").c_str());
  std::string text;
  while (text.size() < 3000) text += "\xC3\xA4\xE2\x82\xAC";  // ä €
  for (const char* prefix : {"A", "AB", "ABC", "ABCD", "ABCDE"})
    Tidewell_LogMessage(0, prefix, "(): %s\n", text.c_str());
  const std::string log = ReadFile(dir.P("utf8.log"));
  std::size_t from = 0;
  for (int line = 0; line < 5; ++line) {
    const std::size_t end = log.find('\n', from);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LE(end - from, 1022u);
    EXPECT_GE(end - from, 1019u);
    // Each line ends after a whole character: its last byte ends "ä" or "€".
    const std::string body = log.substr(from, end - from);
    EXPECT_TRUE(body.ends_with("\xC3\xA4") || body.ends_with("\xE2\x82\xAC")) << line;
    from = end + 1;
  }
}

TEST_F(TidewellLog, AnUnopenableLogFileIsSkipped) {
  Tidewell_LogFacilitySet(1);
  Tidewell_LogFileNameSet("C:\\Tidewell.log");  // no place in this file system
  platform::debug::Capture capture;
  Tidewell_LogMessage(0, "Probe", "(): still traced\n");
  EXPECT_EQ(capture.Text(), "Probe(): still traced\n");
}

}  // namespace
}  // namespace audiotest
