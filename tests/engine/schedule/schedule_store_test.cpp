#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "app/engine/schedule/schedule.h"
#include "app/engine/schedule/schedule_record.h"
#include "app/engine/schedule/schedule_startup_entry.h"
#include "app/engine/schedule/schedules.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"
#include "tests/support/child_process.h"
#include "tests/support/helper_library.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::registry::Hive;
using platform::registry::Key;
using Bytes = std::vector<std::uint8_t>;

std::string Hex(const std::string& s) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string ToJson(const TSchedule& s) {
  std::ostringstream j;
  j.precision(17);
  j << "{\"ID\":\"" << Hex(s.ID) << "\",\"Project\":\"" << Hex(s.Project) << "\",\"Password\":\""
    << Hex(s.Password) << "\",\"RunAsAccount\":\"" << Hex(s.RunAsAccount)
    << "\",\"StopAfterTimes\":" << s.StopAfterTimes << ",\"Kind\":" << s.Kind
    << ",\"EveryDays\":" << s.EveryDays << ",\"EveryHours\":" << s.EveryHours
    << ",\"EveryMinutes\":" << s.EveryMinutes << ",\"AtHour\":" << s.AtHour
    << ",\"AtMinute\":" << s.AtMinute << ",\"AtSecond\":" << s.AtSecond
    << ",\"LastRun\":" << s.LastRun << ",\"Enabled\":" << s.Enabled << "}";
  return j.str();
}

void ExpectSameFields(const TSchedule& got, const TSchedule& want, const std::string& label) {
  EXPECT_EQ(got.ID, want.ID) << label;
  EXPECT_EQ(got.Project, want.Project) << label;
  EXPECT_EQ(got.RunAsAccount, want.RunAsAccount) << label;
  EXPECT_EQ(got.Password, want.Password) << label;
  EXPECT_EQ(got.StopAfterTimes, want.StopAfterTimes) << label;
  EXPECT_EQ(got.Kind, want.Kind) << label;
  EXPECT_EQ(got.EveryDays, want.EveryDays) << label;
  EXPECT_EQ(got.EveryHours, want.EveryHours) << label;
  EXPECT_EQ(got.EveryMinutes, want.EveryMinutes) << label;
  EXPECT_EQ(got.AtHour, want.AtHour) << label;
  EXPECT_EQ(got.AtMinute, want.AtMinute) << label;
  EXPECT_EQ(got.AtSecond, want.AtSecond) << label;
  EXPECT_EQ(got.LastRun, want.LastRun) << label;
  EXPECT_EQ(got.Enabled, want.Enabled) << label;
}

// Schedules that cover the record's cases: empty and non-empty secrets, non-ASCII paths, each
// kind, extreme numbers.
std::vector<TSchedule> SampleSchedules() {
  std::vector<TSchedule> all;
  TSchedule a("{0F1E2D3C-4B5A-4978-8796-A5B4C3D2E1F0}");
  a.Project = "Z:\\home\\ann\\QVP_JOBS\\daily.bpj";
  all.push_back(a);
  TSchedule b("{11111111-2222-4333-8444-555555555555}");
  b.Project = "Z:\\home\\zoë\\Sicherung fürs Büro ✓.bpj";
  b.RunAsAccount = "zoë@büro-pc";
  b.Password = "pässwörd ✓";
  b.Kind = kScheduleEvery;
  b.EveryDays = 2;
  b.EveryHours = 0;
  b.EveryMinutes = 30;
  b.StopAfterTimes = 5;
  b.LastRun = 45291.763888888889;
  all.push_back(b);
  TSchedule c("{AAAAAAAA-BBBB-4CCC-9DDD-EEEEEEEEEEEE}");
  c.Project = "Z:\\tmp\\x.bpj";
  c.Password = "only a password";
  c.Kind = kScheduleAt;
  c.AtHour = 23;
  c.AtMinute = 59;
  c.AtSecond = 1;
  c.Enabled = 0;
  all.push_back(c);
  TSchedule d("{00000000-0000-4000-8000-000000000000}");
  d.Project = "Z:\\p.bpj";
  d.RunAsAccount = "ann@host";
  d.Kind = 7;
  d.StopAfterTimes = std::numeric_limits<std::int32_t>::max();
  d.EveryDays = std::numeric_limits<std::int32_t>::min();
  d.AtSecond = -1;
  d.LastRun = -1.5;
  d.Enabled = 3;
  all.push_back(d);
  return all;
}

class ScheduleStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", home_.Posix().c_str(), 1);
    setenv("XDG_CONFIG_HOME", home_.P("config").c_str(), 1);
    ASSERT_TRUE(InstallHelperLibrary(home_.Posix()));
  }

  void RemoveHelper() { std::filesystem::remove(home_.P("libsorvane.so")); }

  std::optional<Bytes> StoredRecord(const std::string& id) {
    const auto key =
        Key::Open(Hive::CurrentUser, std::string(kScheduleStoreKeyPath) + "\\" + id, false);
    if (!key) return std::nullopt;
    return key->ReadBinary("userdata");
  }

  void StoreRecord(const std::string& id, const Bytes& record) {
    auto key = Key::Open(Hive::CurrentUser, std::string(kScheduleStoreKeyPath) + "\\" + id, true);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteBinary("userdata", record.data(), record.size()));
  }

  std::vector<std::string> SubKeys() {
    const auto store = Key::Open(Hive::CurrentUser, kScheduleStoreKeyPath, false);
    return store ? store->SubKeyNames() : std::vector<std::string>{};
  }

  // The record the independent encoder builds for these values.
  Bytes PythonRecord(const TSchedule& s) {
    WriteFile(home_.P("values.json"), ToJson(s));
    std::string out;
    const std::string cmd = PythonForBuiltLibraries() + " " + QUORVA_TEST_SOURCE_DIR +
                            "/engine/schedule_codec.py " + BuiltHelperLibrary() + " " +
                            home_.P("values.json") + " " + home_.P("record.bin");
    EXPECT_EQ(RunCommand(cmd, &out), 0) << out;
    const std::string record = ReadFile(home_.P("record.bin"));
    return Bytes(record.begin(), record.end());
  }

  TSchedule Loaded(const std::string& id) {
    TSchedules schedules;
    schedules.LoadAll();
    const TSchedule* s = schedules.FindByID(id);
    EXPECT_NE(s, nullptr) << id;
    return s ? *s : TSchedule("missing");
  }

  TempDir home_;
};

TEST(ScheduleTest, DefaultsAndDescriptions) {
  const TSchedule s;
  EXPECT_EQ(s.Project, "");
  EXPECT_EQ(s.RunAsAccount, "");
  EXPECT_EQ(s.Password, "");
  EXPECT_EQ(s.StopAfterTimes, -1);
  EXPECT_EQ(s.Kind, 0);
  EXPECT_EQ(s.EveryDays, 0);
  EXPECT_EQ(s.EveryHours, 24);
  EXPECT_EQ(s.EveryMinutes, 0);
  EXPECT_EQ(s.AtHour, 12);
  EXPECT_EQ(s.AtMinute, 0);
  EXPECT_EQ(s.AtSecond, 0);
  EXPECT_EQ(s.LastRun, 0);
  EXPECT_EQ(s.Enabled, 1);

  struct Case {
    std::int32_t kind, a, b, c;
    const char* text;
  };
  const Case cases[] = {
      {0, 0, 0, 0, "Run when starts up"},
      {1, 0, 24, 0, "Run every 0day 24hour 0minute"},
      {1, 3, 5, 7, "Run every 3day 5hour 7minute"},
      {1, 100, -2, 0, "Run every 100day -2hour 0minute"},
      {2, 12, 0, 0, "Run at 12::00::00"},
      {2, 7, 5, 9, "Run at 07::05::09"},
      {2, 123, 0, -1, "Run at 123::00::-01"},
      {2, -12, 0, std::numeric_limits<std::int32_t>::min(), "Run at -12::00::-2147483648"},
      {3, 1, 2, 3, ""},
      {-1, 1, 2, 3, ""},
  };
  for (const Case& c : cases) {
    TSchedule t;
    t.Kind = c.kind;
    if (c.kind == 1) t.EveryDays = c.a, t.EveryHours = c.b, t.EveryMinutes = c.c;
    if (c.kind == 2) t.AtHour = c.a, t.AtMinute = c.b, t.AtSecond = c.c;
    EXPECT_EQ(t.Description(), c.text);
  }
}

TEST(ScheduleTest, IDsAreUpperCaseGuidTextsAndFoundExactly) {
  const std::regex guid(
      R"(\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\})");
  TSchedules schedules;
  std::set<std::string> ids;
  for (int i = 0; i < 100; ++i) {
    const TSchedule& s = schedules.Add();
    EXPECT_TRUE(std::regex_match(s.ID, guid)) << s.ID;
    ids.insert(s.ID);
  }
  EXPECT_EQ(ids.size(), 100u);
  EXPECT_EQ(schedules.Count(), 100);
  EXPECT_EQ(TSchedule("{given}").ID, "{given}");

  const std::string id = schedules.Get(41)->ID;
  EXPECT_EQ(schedules.FindByID(id), schedules.Get(41));
  std::string lower = id;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_NE(lower, id);
  EXPECT_EQ(schedules.FindByID(lower), nullptr);
  EXPECT_EQ(schedules.FindByID(""), nullptr);
}

TEST_F(ScheduleStoreTest, RecordMatchesTheIndependentEncoderByteForByte) {
  for (const TSchedule& s : SampleSchedules()) {
    TSchedules store;
    ASSERT_EQ(store.Save(s), TScheduleSaveError::None) << s.ID;
    const auto stored = StoredRecord(s.ID);
    ASSERT_TRUE(stored) << s.ID;
    EXPECT_EQ(*stored, PythonRecord(s)) << s.ID;
    ExpectSameFields(Loaded(s.ID), s, s.ID);
  }
  // An empty password or account is a zero-length text: B and C of the first sample.
  const TSchedule bare = SampleSchedules()[0];
  const Bytes record = *StoredRecord(bare.ID);
  std::int32_t lengthA;
  std::memcpy(&lengthA, record.data(), 4);
  ASSERT_EQ(record.size(), 4 + static_cast<size_t>(lengthA) + 8 + 44);
  EXPECT_EQ(Bytes(record.begin() + 4 + lengthA, record.begin() + 4 + lengthA + 8), Bytes(8, 0));
}

TEST_F(ScheduleStoreTest, RecordsOfTheIndependentEncoderLoad) {
  for (TSchedule s : SampleSchedules()) {
    s.ID = "{9" + s.ID.substr(2);  // a record bound to another subkey than the saved ones
    StoreRecord(s.ID, PythonRecord(s));
    ExpectSameFields(Loaded(s.ID), s, s.ID);
  }
}

TEST_F(ScheduleStoreTest, RecordIsBoundToItsSubkey) {
  const TSchedule s = SampleSchedules()[1];
  StoreRecord("{other}", PythonRecord(s));
  const TSchedule moved = Loaded("{other}");
  EXPECT_EQ(moved.Project, s.Project);
  EXPECT_NE(moved.Password, s.Password);
  EXPECT_NE(moved.RunAsAccount, s.RunAsAccount);
}

TEST_F(ScheduleStoreTest, HostileRecordsLoadWithoutHarm) {
  const TSchedule sample = SampleSchedules()[1];
  const Bytes whole = PythonRecord(sample);
  auto withInt = [](Bytes b, size_t at, std::int32_t v) {
    std::memcpy(b.data() + at, &v, 4);
    return b;
  };
  std::int32_t lengthA;
  std::memcpy(&lengthA, whole.data(), 4);
  const size_t tail = whole.size() - 44;
  struct Case {
    const char* label;
    Bytes record;
    bool projectKept;
    std::int32_t stopAfterTimes;  // as loaded
  };
  const std::vector<Case> cases = {
      {"empty", {}, false, -1},
      {"three bytes", {1, 2, 3}, false, -1},
      {"count past the end", withInt(whole, 0, lengthA + 1000), false, -1},
      {"huge count", withInt(whole, 0, 0x7FFFFFFF), false, -1},
      {"negative count", withInt(whole, 0, -4), false, -1},
      {"cut in the numbers", Bytes(whole.begin(), whole.begin() + tail + 6), false, 5},
      {"cut before Enabled", Bytes(whole.begin(), whole.end() - 2), false, 5},
      {"trailing bytes",
       [&] {
         Bytes b = whole;
         b.insert(b.end(), 100, 0xEE);
         return b;
       }(),
       true, 5},
      {"text that is no scrambling",
       [&] {
         Bytes b = whole;
         b[4] = 'z';
         return b;
       }(),
       false, 5},
  };
  for (const Case& c : cases) {
    StoreRecord(sample.ID, c.record);
    const TSchedule got = Loaded(sample.ID);
    EXPECT_EQ(got.Project, c.projectKept ? sample.Project : "") << c.label;
    EXPECT_EQ(got.StopAfterTimes, c.stopAfterTimes) << c.label;
    EXPECT_FALSE(got.HelperMissingAtLoad) << c.label;  // the helper is there: still removable
  }
  // Every cut of the record: listed, the texts empty, nothing read past the end.
  for (size_t n = 0; n < whole.size(); ++n) {
    StoreRecord(sample.ID, Bytes(whole.begin(), whole.begin() + static_cast<long>(n)));
    const TSchedule got = Loaded(sample.ID);
    EXPECT_EQ(got.Project, "") << n;
    EXPECT_EQ(got.Password, "") << n;
    EXPECT_EQ(got.Enabled, 1) << n;
  }
  // A value of another type is no record.
  auto key =
      Key::Open(Hive::CurrentUser, std::string(kScheduleStoreKeyPath) + "\\" + sample.ID, true);
  ASSERT_TRUE(key->WriteString("userdata", "text"));
  EXPECT_EQ(Loaded(sample.ID).Project, "");
}

TEST_F(ScheduleStoreTest, WithoutTheHelperNothingIsWrittenOrLeftBehind) {
  TSchedule s = SampleSchedules()[1];
  TSchedules store;
  ASSERT_EQ(store.Save(s), TScheduleSaveError::None);
  const Bytes before = *StoredRecord(s.ID);

  RemoveHelper();
  s.Kind = kScheduleAt;
  s.Enabled = 0;
  EXPECT_EQ(store.Save(s), TScheduleSaveError::HelperMissing);
  EXPECT_EQ(StoredRecord(s.ID), before);
  EXPECT_NE(ScheduleSaveErrorText(TScheduleSaveError::HelperMissing)
                .find(home_.Posix() + "/libsorvane.so"),
            std::string::npos);

  // A first save leaves no subkey, even for a schedule without secrets.
  TSchedule fresh;
  fresh.Project = "Z:\\tmp\\fresh.bpj";
  EXPECT_EQ(store.Save(fresh), TScheduleSaveError::HelperMissing);
  EXPECT_EQ(SubKeys(), std::vector<std::string>{s.ID});

  // Loading without the helper lists the schedule, without its texts.
  const TSchedule blind = Loaded(s.ID);
  EXPECT_EQ(blind.Project, "");
  EXPECT_EQ(blind.Password, "");
  EXPECT_EQ(blind.RunAsAccount, "");
  EXPECT_EQ(blind.Kind, kScheduleEvery);
  EXPECT_EQ(blind.EveryMinutes, 30);
  EXPECT_TRUE(blind.HelperMissingAtLoad);
  // Saving it back would lose the texts: refused for the missing helper, the record stays,
  // also once the helper is back.
  EXPECT_EQ(store.Save(blind), TScheduleSaveError::HelperMissing);
  EXPECT_EQ(StoredRecord(s.ID), before);
  ASSERT_TRUE(InstallHelperLibrary(home_.Posix()));
  TSchedule edited = blind;
  edited.Project = "Z:\\tmp\\other.bpj";
  EXPECT_EQ(store.Save(edited), TScheduleSaveError::HelperMissing);
  EXPECT_EQ(StoredRecord(s.ID), before);
  EXPECT_NE(ScheduleRemoveRefusedText().find("libsorvane.so"), std::string::npos);

  // Loaded with the helper: the texts and a clear flag.
  const TSchedule seen = Loaded(s.ID);
  EXPECT_FALSE(seen.HelperMissingAtLoad);
  EXPECT_EQ(seen.Project, s.Project);
}

TEST_F(ScheduleStoreTest, ScheduleWithoutProjectLeavesNoSubkey) {
  TSchedules store;
  TSchedule& s = store.Add();
  EXPECT_EQ(store.Save(s), TScheduleSaveError::NoProject);
  EXPECT_TRUE(SubKeys().empty());
  TSchedules loaded;
  loaded.LoadAll();
  EXPECT_EQ(loaded.Count(), 0);
}

TEST_F(ScheduleStoreTest, LoadAllKeepsTheRegistryOrderAndDeleteRemovesTheSubkey) {
  TSchedules store;
  std::vector<std::string> ids;
  for (const char* name : {"c.bpj", "a.bpj", "b.bpj"}) {
    TSchedule& s = store.Add();
    s.Project = std::string("Z:\\tmp\\") + name;
    ASSERT_EQ(store.Save(s), TScheduleSaveError::None);
    ids.push_back(s.ID);
  }
  // A subkey without a record still gives a schedule, with the defaults.
  ASSERT_TRUE(Key::Open(Hive::CurrentUser, std::string(kScheduleStoreKeyPath) + "\\{bare}", true));
  ids.push_back("{bare}");
  TSchedules loaded;
  loaded.LoadAll();
  ASSERT_EQ(loaded.Count(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(loaded.Get(i)->ID, ids[static_cast<size_t>(i)]);
  EXPECT_EQ(loaded.Get(1)->Project, "Z:\\tmp\\a.bpj");
  ExpectSameFields(*loaded.Get(3), TSchedule("{bare}"), "bare");

  EXPECT_TRUE(loaded.Delete(*loaded.Get(1)));
  const std::unique_ptr<TSchedule> gone = loaded.Extract(*loaded.Get(1));
  ASSERT_TRUE(gone);
  EXPECT_EQ(gone->ID, ids[1]);
  EXPECT_EQ(loaded.Count(), 3);
  EXPECT_EQ(SubKeys(), (std::vector<std::string>{ids[0], ids[2], ids[3]}));
  EXPECT_TRUE(loaded.Delete(*gone));  // already gone
}

TEST_F(ScheduleStoreTest, NoStoreKeyLoadsNothing) {
  TSchedules schedules;
  schedules.LoadAll();
  EXPECT_EQ(schedules.Count(), 0);
}

class StartupEntryTest : public ScheduleStoreTest {
 protected:
  std::map<std::string, std::string> RunValues() {
    std::map<std::string, std::string> values;
    const auto run = Key::Open(Hive::CurrentUser, platform::registry::kRunKeyPath, false);
    if (!run) return values;
    for (const auto& name : run->ValueNames()) values[name] = run->ReadString(name).value_or("?");
    return values;
  }
  size_t AutostartEntries() {
    std::error_code ec;
    size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(home_.P("config/autostart"), ec);
         !ec && it != std::filesystem::directory_iterator(); ++it)
      ++n;
    return n;
  }
};

TEST_F(StartupEntryTest, RunValueExistsExactlyWhileAnEnabledStartupScheduleOfItIsListed) {
  TSchedules store;
  store.ProgramFile = "Z:\\opt\\Quorva Backup\\QuorvaBackup";
  const std::string project = "Z:\\home\\ann\\My Jobs\\daily.bpj";
  const std::string command = "\"Z:\\opt\\Quorva Backup\\QuorvaBackup\" \"" + project + "\"";
  EXPECT_EQ(RunValues().size(), 0u);
  EXPECT_FALSE(Key::Open(Hive::CurrentUser, platform::registry::kRunKeyPath, false));

  TSchedule& a = store.Add();
  a.Project = project;
  TSchedule& b = store.Add();
  b.Project = project;
  b.Kind = kScheduleEvery;
  struct Step {
    const char* label;
    std::function<void()> change;
    bool exists;
  };
  const Step steps[] = {
      {"a at start-up", [] {}, true},
      {"a disabled", [&] { a.Enabled = 0; }, false},
      {"b into start-up", [&] { b.Kind = kScheduleAtStartup; }, true},
      {"a enabled again", [&] { a.Enabled = 1; }, true},
      {"b every hour", [&] { b.Kind = kScheduleEvery; }, true},
      {"a at a time", [&] { a.Kind = kScheduleAt; }, false},
      {"b disabled, kind 1", [&] { b.Enabled = 0; }, false},
      // Another file: its schedule is not one of this project.
      {"a at start-up, of the path in other letter case",
       [&] {
         a.Kind = kScheduleAtStartup;
         a.Project = "z:\\HOME\\ann\\My Jobs\\daily.bpj";
       },
       false},
  };
  for (const Step& s : steps) {
    s.change();
    EXPECT_TRUE(store.UpdateStartupEntry(project)) << s.label;
    const auto values = RunValues();
    EXPECT_EQ(values.size(), s.exists ? 1u : 0u) << s.label;
    EXPECT_EQ(AutostartEntries(), s.exists ? 1u : 0u) << s.label;
    if (s.exists && !values.empty()) {
      EXPECT_NE(values.begin()->second.find("daily.bpj\""), std::string::npos) << s.label;
    }
  }
  // The command of the value as it is written anew.
  a.Project = project;
  ASSERT_TRUE(SetStartupValue(project, std::nullopt));
  EXPECT_TRUE(store.UpdateStartupEntry(project));
  EXPECT_EQ(RunValues(), (std::map<std::string, std::string>{{project, command}}));

  // Removed from the list: the value goes with the last start-up schedule.
  store.Extract(a);
  EXPECT_TRUE(store.UpdateStartupEntry(project));
  EXPECT_TRUE(RunValues().empty());
  EXPECT_EQ(AutostartEntries(), 0u);
}

// Two project files whose names differ only in letter case: each has an entry of its own, under
// names that stay as they are while it exists, and removing one leaves the other.
TEST_F(StartupEntryTest, ProjectsDifferingOnlyInCaseHaveEntriesOfTheirOwn) {
  TSchedules store;
  store.ProgramFile = "Z:\\opt\\QuorvaBackup";
  const std::string upper = "Z:\\home\\ann\\Jobs\\Case.bpj";
  const std::string lower = "Z:\\home\\ann\\Jobs\\caSe.bpj";
  const std::string marked = MarkedStartupValueName(lower);
  EXPECT_EQ(marked.substr(0, lower.size() + 2), lower + " [");
  EXPECT_NE(platform::text::FoldCase(marked),
            platform::text::FoldCase(MarkedStartupValueName(upper)));
  const auto command = [&](const std::string& project) {
    return "Z:\\opt\\QuorvaBackup " + project;
  };
  TSchedule& a = store.Add();
  a.Project = upper;
  TSchedule& b = store.Add();
  b.Project = lower;
  const std::map<std::string, std::string> both{{upper, command(upper)}, {marked, command(lower)}};

  struct Step {
    const char* label;
    std::function<void()> change;
    std::map<std::string, std::string> values;
  };
  const Step steps[] = {
      {"both at start-up", [] {}, both},
      {"again: the names stay", [] {}, both},
      {"Case.bpj disabled", [&] { a.Enabled = 0; }, {{marked, command(lower)}}},
      {"Case.bpj enabled: the free name", [&] { a.Enabled = 1; }, both},
      {"caSe.bpj every hour", [&] { b.Kind = kScheduleEvery; }, {{upper, command(upper)}}},
      {"caSe.bpj at start-up again", [&] { b.Kind = kScheduleAtStartup; }, both},
  };
  for (const Step& s : steps) {
    s.change();
    EXPECT_TRUE(store.UpdateStartupEntry(upper)) << s.label;
    EXPECT_TRUE(store.UpdateStartupEntry(lower)) << s.label;
    EXPECT_EQ(RunValues(), s.values) << s.label;
    EXPECT_EQ(AutostartEntries(), s.values.size()) << s.label;
  }

  // An older program gave both one value: named by the first, starting the last one written.
  // That project keeps its entry, the other one gets its own.
  ASSERT_TRUE(SetStartupValue(upper, std::nullopt));
  ASSERT_TRUE(SetStartupValue(lower, std::nullopt));
  ASSERT_TRUE(RunValues().empty());
  auto run = Key::Open(Hive::CurrentUser, platform::registry::kRunKeyPath, true);
  ASSERT_TRUE(run->WriteString(upper, command(upper)));
  ASSERT_TRUE(run->WriteString(lower, command(lower)));
  ASSERT_EQ(RunValues(), (std::map<std::string, std::string>{{upper, command(lower)}}));
  EXPECT_TRUE(store.UpdateStartupEntry(upper));
  EXPECT_TRUE(store.UpdateStartupEntry(lower));
  const std::string markedUpper = MarkedStartupValueName(upper);
  EXPECT_EQ(RunValues(), (std::map<std::string, std::string>{{upper, command(lower)},
                                                             {markedUpper, command(upper)}}));
  EXPECT_EQ(AutostartEntries(), 2u);
  // Removing one never removes the other's.
  store.Extract(b);
  EXPECT_TRUE(store.UpdateStartupEntry(lower));
  EXPECT_EQ(RunValues(), (std::map<std::string, std::string>{{markedUpper, command(upper)}}));
  EXPECT_EQ(AutostartEntries(), 1u);
}

TEST_F(StartupEntryTest, ScheduleWithoutProjectNeverTouchesTheRunKey) {
  auto run = Key::Open(Hive::CurrentUser, platform::registry::kRunKeyPath, true);
  ASSERT_TRUE(run->WriteString("", "default value"));
  TSchedules store;
  TSchedule& s = store.Add();
  EXPECT_FALSE(SetScheduleStartupEntry(store.ProgramFile, s, true));
  EXPECT_FALSE(SetScheduleStartupEntry(store.ProgramFile, s, false));
  EXPECT_TRUE(store.UpdateStartupEntry(""));
  EXPECT_EQ(RunValues(), (std::map<std::string, std::string>{{"", "default value"}}));
}

TEST_F(StartupEntryTest, CommandIsTheShortProgramAndProjectPaths) {
  TSchedule s;
  struct Case {
    const char* program;
    const char* project;
    const char* command;
  };
  const Case cases[] = {
      {"Z:\\usr\\bin\\QuorvaBackup", "Z:\\home\\ann\\daily.bpj",
       "Z:\\usr\\bin\\QuorvaBackup Z:\\home\\ann\\daily.bpj"},
      {"Z:\\opt\\Q B\\QuorvaBackup", "Z:\\home\\ann\\my daily.bpj",
       "\"Z:\\opt\\Q B\\QuorvaBackup\" \"Z:\\home\\ann\\my daily.bpj\""},
  };
  for (const Case& c : cases) {
    s.Project = c.project;
    EXPECT_EQ(ScheduleStartupCommand(c.program, s), c.command);
  }
  // By default the program is the one running.
  EXPECT_NE(TSchedules().ProgramFile.find("schedule_store_test"), std::string::npos);
}

}  // namespace
