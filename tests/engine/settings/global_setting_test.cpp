#include "app/engine/settings/global_setting.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "app/engine/log.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"
#include "tests/support/allocation_tracker.h"
#include "tests/support/registry_lock.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::registry::Hive;
using platform::registry::Key;
using Bytes = std::vector<std::uint8_t>;

using Member = std::variant<bool TGlobalSetting::*, std::int32_t TGlobalSetting::*,
                            std::uint8_t TGlobalSetting::*, std::string TGlobalSetting::*>;
using AccountMember = std::variant<bool TEmailAccount::*, std::int32_t TEmailAccount::*,
                                   std::string TEmailAccount::*>;

// Names as the encoder knows them; the record order is the encoder's business.
const std::vector<std::pair<std::string, Member>> kFields = {
    {"AutoStart", &TGlobalSetting::AutoStart},
    {"ShowSplash", &TGlobalSetting::ShowSplash},
    {"ShowWizardAtStart", &TGlobalSetting::ShowWizardAtStart},
    {"StartDelayMinutes", &TGlobalSetting::StartDelayMinutes},
    {"PriorityIndex", &TGlobalSetting::PriorityIndex},
    {"TempFolder", &TGlobalSetting::TempFolder},
    {"NetworkTimeoutSec", &TGlobalSetting::NetworkTimeoutSec},
    {"AutoRetry", &TGlobalSetting::AutoRetry},
    {"UnlimitedRetries", &TGlobalSetting::UnlimitedRetries},
    {"RetryCount", &TGlobalSetting::RetryCount},
    {"ReconnectDelaySec", &TGlobalSetting::ReconnectDelaySec},
    {"AutoShowConsole", &TGlobalSetting::AutoShowConsole},
    {"ConsoleOnTop", &TGlobalSetting::ConsoleOnTop},
    {"LogFontCharset", &TGlobalSetting::LogFontCharset},
    {"LogFontColor", &TGlobalSetting::LogFontColor},
    {"LogFontHeight", &TGlobalSetting::LogFontHeight},
    {"LogFontName", &TGlobalSetting::LogFontName},
    {"LogFontPitch", &TGlobalSetting::LogFontPitch},
    {"LogFontSize", &TGlobalSetting::LogFontSize},
    {"LogFontStyle", &TGlobalSetting::LogFontStyle},
};

const std::vector<std::pair<std::string, AccountMember>> kAccountFields = {
    {"Caption", &TEmailAccount::Caption},   {"SMTPServer", &TEmailAccount::SMTPServer},
    {"Port", &TEmailAccount::Port},         {"Authenticate", &TEmailAccount::Authenticate},
    {"UserName", &TEmailAccount::UserName}, {"Password", &TEmailAccount::Password},
    {"From", &TEmailAccount::From},         {"To", &TEmailAccount::To},
    {"Subject", &TEmailAccount::Subject},   {"Body", &TEmailAccount::Body},
};

std::string Hex(const std::string& s) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// A field as JSON for the encoder, or as text for comparing.
template <class Object, class Ptr>
std::string Value(const Object& o, const Ptr& ptr, bool json) {
  return std::visit(
      [&](auto m) -> std::string {
        const auto& v = o.*m;
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>)
          return json ? "\"" + Hex(v) + "\"" : v;
        else if constexpr (std::is_same_v<T, bool>)
          return json ? (v ? "true" : "false") : (v ? "1" : "0");
        else
          return std::to_string(static_cast<long long>(v));
      },
      ptr);
}

std::string ToJson(const TGlobalSetting& g) {
  std::ostringstream j;
  j << "{";
  for (const auto& [name, m] : kFields) j << "\"" << name << "\": " << Value(g, m, true) << ", ";
  j << "\"Reserved\": [";
  for (size_t i = 0; i < g.Reserved.size(); ++i) j << (i ? ", " : "") << g.Reserved[i];
  j << "], \"Accounts\": [";
  for (size_t i = 0; i < g.Accounts.size(); ++i) {
    j << (i ? ", " : "") << "{";
    for (size_t k = 0; k < kAccountFields.size(); ++k)
      j << (k ? ", " : "") << "\"" << kAccountFields[k].first
        << "\": " << Value(*g.Accounts[i], kAccountFields[k].second, true);
    j << "}";
  }
  j << "]}";
  return j.str();
}

// Every field but the accounts, by the encoder's names (reserved words as Reserved0..7).
std::map<std::string, std::string> Render(const TGlobalSetting& g) {
  std::map<std::string, std::string> r;
  for (const auto& [name, m] : kFields) r[name] = Value(g, m, false);
  for (size_t i = 0; i < g.Reserved.size(); ++i)
    r["Reserved" + std::to_string(i)] = std::to_string(g.Reserved[i]);
  return r;
}

std::vector<TEmailAccount> AccountsOf(const TGlobalSetting& g) {
  std::vector<TEmailAccount> v;
  for (const auto& a : g.Accounts) v.push_back(*a);
  return v;
}

// Values that differ from every default; `on` sets every Boolean.
void Fill(TGlobalSetting& g, bool on, const std::string& tempFolder) {
  g.AutoStart = on;
  g.ShowSplash = on;
  g.ShowWizardAtStart = on;
  g.StartDelayMinutes = on ? 6000 : 17;
  g.PriorityIndex = on ? 4 : 0;
  g.TempFolder = tempFolder;
  g.NetworkTimeoutSec = 0x00010203;  // every byte distinct, within the dialog's range
  g.AutoRetry = on;
  g.UnlimitedRetries = on;
  g.RetryCount = 0x000F0E0D;
  g.ReconnectDelaySec = 7;
  g.AutoShowConsole = on;
  g.ConsoleOnTop = on;
  g.LogFontCharset = on ? 0xFF : 0xCC;
  g.LogFontColor = on ? 0x0080FF20 : -1;
  g.LogFontHeight = -13;
  g.LogFontName = "Überschrift – 明朝";
  g.LogFontPitch = 2;
  g.LogFontSize = 11;
  g.LogFontStyle = on ? 0x0F : 0x05;
  g.Reserved = {1,
                -1,
                std::numeric_limits<std::int32_t>::max(),
                std::numeric_limits<std::int32_t>::min(),
                42,
                0,
                7,
                0x7F80FF01};

  auto a = std::make_unique<TEmailAccount>();
  a->Caption = "Büro";
  a->SMTPServer = "smtp.example.org";
  a->Port = 587;
  a->Authenticate = on;
  a->UserName = "zoë";
  a->Password = std::string("p\0w\xff", 4);  // stored as raw bytes
  a->From = "backup@example.org";
  a->To = "ann@example.org; bob@example.org";
  a->Subject = "Sicherung fertig ✓";
  g.Accounts.push_back(std::move(a));
  auto b = std::make_unique<TEmailAccount>();  // defaults, but for the flag and the caption
  b->Caption = "second";
  b->Authenticate = !on;
  g.Accounts.push_back(std::move(b));
}

std::optional<Bytes> StoredRecord() {
  const auto key = Key::Open(Hive::CurrentUser, kGlobalSettingKeyPath, false);
  if (!key) return std::nullopt;
  return key->ReadBinary(kGlobalSettingValueName);
}

void StoreRecord(const Bytes& record) {
  auto key = Key::Open(Hive::CurrentUser, kGlobalSettingKeyPath, true);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteBinary(kGlobalSettingValueName, record.data(), record.size()));
}

class GlobalSettingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", home_.Posix().c_str(), 1);
    setenv("XDG_CONFIG_HOME", home_.Posix().c_str(), 1);
  }

  struct Encoded {
    Bytes record;
    std::map<std::string, size_t> ends;  // field name -> offset just past it
  };

  // The record as the independent encoder writes it for these values.
  Encoded Encode(const TGlobalSetting& g) {
    WriteFile(home_.P("values.json"), ToJson(g));
    std::string output;
    const std::string cmd = std::string(QUORVA_PYTHON) + " " + QUORVA_TEST_SOURCE_DIR +
                            "/engine/settings_codec.py " + home_.P("values.json") + " " +
                            home_.P("record.bin") + " " + home_.P("ends.txt");
    EXPECT_EQ(RunCommand(cmd, &output), 0) << output;
    Encoded e;
    const std::string record = ReadFile(home_.P("record.bin"));
    e.record.assign(record.begin(), record.end());
    std::istringstream ends(ReadFile(home_.P("ends.txt")));
    std::string name;
    size_t end;
    while (ends >> name >> end) e.ends[name] = end;
    return e;
  }

  TempDir home_;
};

TEST_F(GlobalSettingTest, FirstStartKeepsDefaultsAndExitCreatesTheValue) {
  std::string json;
  {
    TGlobalSetting g;
    const std::map<std::string, std::string> defaults = {
        {"AutoStart", "0"},
        {"ShowSplash", "1"},
        {"ShowWizardAtStart", "1"},
        {"StartDelayMinutes", "0"},
        {"PriorityIndex", "2"},
        {"TempFolder", platform::shell::TempFolder()},
        {"NetworkTimeoutSec", "300"},
        {"AutoRetry", "1"},
        {"UnlimitedRetries", "0"},
        {"RetryCount", "30"},
        {"ReconnectDelaySec", "30"},
        {"AutoShowConsole", "0"},
        {"ConsoleOnTop", "0"},
        {"LogFontCharset", "1"},
        {"LogFontColor", "0"},
        {"LogFontHeight", "-11"},
        {"LogFontName", "MS Sans Serif"},
        {"LogFontPitch", "0"},
        {"LogFontSize", "8"},
        {"LogFontStyle", "0"},
        {"Reserved0", "0"},
        {"Reserved1", "0"},
        {"Reserved2", "0"},
        {"Reserved3", "0"},
        {"Reserved4", "0"},
        {"Reserved5", "0"},
        {"Reserved6", "0"},
        {"Reserved7", "0"},
    };
    EXPECT_EQ(Render(g), defaults);
    EXPECT_TRUE(g.Accounts.empty());
    EXPECT_FALSE(g.LoadFromRegistry());
    EXPECT_FALSE(Key::Open(Hive::CurrentUser, kGlobalSettingKeyPath, false));
    json = ToJson(g);
  }
  const auto stored = StoredRecord();
  ASSERT_TRUE(stored);
  TGlobalSetting reference;  // loads what the exit saved; the encoder checks it byte for byte
  reference.SaveOnDestroy = false;
  EXPECT_EQ(ToJson(reference), json);
  EXPECT_EQ(*stored, Encode(reference).record);
}

class GlobalSettingRecordTest : public GlobalSettingTest,
                                public ::testing::WithParamInterface<bool> {};

TEST_P(GlobalSettingRecordTest, SaveWritesWhatTheIndependentEncoderWrites) {
  TGlobalSetting g;
  g.SaveOnDestroy = false;
  Fill(g, GetParam(), home_.Win());
  ASSERT_TRUE(g.SaveToRegistry());
  const auto stored = StoredRecord();
  ASSERT_TRUE(stored);
  EXPECT_EQ(*stored, Encode(g).record);
}

TEST_P(GlobalSettingRecordTest, IndependentRecordLoadsIntoEqualFields) {
  TGlobalSetting expected;
  expected.SaveOnDestroy = false;
  Fill(expected, GetParam(), home_.Win());
  TGlobalSetting g;
  g.SaveOnDestroy = false;
  StoreRecord(Encode(expected).record);
  EXPECT_TRUE(g.LoadFromRegistry());
  EXPECT_EQ(Render(g), Render(expected));
  EXPECT_EQ(AccountsOf(g), AccountsOf(expected));  // order and every field
}

INSTANTIATE_TEST_SUITE_P(Booleans, GlobalSettingRecordTest, ::testing::Bool());

struct TempFolderCase {
  const char* label;
  std::string (*stored)(const TempDir& dir);
};
void PrintTo(const TempFolderCase& c, std::ostream* os) {
  *os << c.label;
}

class GlobalSettingTempFolderTest : public GlobalSettingTest,
                                    public ::testing::WithParamInterface<TempFolderCase> {};

TEST_P(GlobalSettingTempFolderTest, BecomesTheSystemTemporaryFolder) {
  {
    TGlobalSetting g;
    Fill(g, true, GetParam().stored(home_));
  }  // saved on destruction
  TGlobalSetting g;
  g.SaveOnDestroy = false;
  EXPECT_EQ(g.TempFolder, platform::shell::TempFolder());
  EXPECT_EQ(g.LogFontName, "Überschrift – 明朝");  // the load went on past it
  EXPECT_EQ(g.Accounts.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Stored, GlobalSettingTempFolderTest,
    ::testing::Values(TempFolderCase{"Empty", [](const TempDir&) { return std::string(); }},
                      TempFolderCase{"Removed", [](const TempDir& d) { return d.W("gone\\"); }},
                      TempFolderCase{"OtherDrive",
                                     [](const TempDir&) { return std::string("C:\\Temp\\"); }},
                      TempFolderCase{"RegularFile",
                                     [](const TempDir& d) {
                                       WriteFile(d.P("file"), "x");
                                       return d.W("file");
                                     }}),
    [](const auto& info) { return std::string(info.param.label); });

// A cut just past `field` plus `delta` bytes; an empty field counts from the start.
struct CutCase {
  const char* field;
  int delta;
};

std::string CutName(const CutCase& c) {
  return std::string(*c.field ? c.field : "Start") + (c.delta < 0 ? "_minus" : "_plus") +
         std::to_string(std::abs(c.delta));
}
void PrintTo(const CutCase& c, std::ostream* os) {
  *os << CutName(c);
}

class GlobalSettingTruncatedTest : public GlobalSettingTest,
                                   public ::testing::WithParamInterface<CutCase> {};

TEST_P(GlobalSettingTruncatedTest, KeepsTheFieldsReadSoFar) {
  TGlobalSetting g;
  g.SaveOnDestroy = false;
  const auto defaults = Render(g);
  TGlobalSetting full;
  full.SaveOnDestroy = false;
  Fill(full, true, home_.Win());
  const Encoded e = Encode(full);
  const std::string field = GetParam().field;
  const size_t cut = (field.empty() ? 0 : e.ends.at(field)) + GetParam().delta;
  ASSERT_LT(cut, e.record.size());
  StoreRecord(Bytes(e.record.begin(), e.record.begin() + cut));

  EXPECT_FALSE(g.LoadFromRegistry());
  auto expected = defaults;
  for (const auto& [name, value] : Render(full))
    if (e.ends.at(name) <= cut) expected[name] = value;
  EXPECT_EQ(Render(g), expected);
  std::vector<TEmailAccount> accounts;
  for (size_t i = 0; i < full.Accounts.size(); ++i)
    if (e.ends.at("Account" + std::to_string(i)) <= cut) accounts.push_back(*full.Accounts[i]);
  EXPECT_EQ(AccountsOf(g), accounts);
}

INSTANTIATE_TEST_SUITE_P(Cuts, GlobalSettingTruncatedTest,
                         ::testing::Values(CutCase{"", 0}, CutCase{"AutoStart", 0},
                                           CutCase{"ShowWizardAtStart", 2},
                                           CutCase{"PriorityIndex", 2},  // inside the count
                                           CutCase{"PriorityIndex", 6},  // inside the text
                                           CutCase{"TempFolder", 0}, CutCase{"LogFontName", -1},
                                           CutCase{"LogFontSize", 0}, CutCase{"LogFontPitch", 0},
                                           CutCase{"Reserved3", 2}, CutCase{"Reserved7", 0},
                                           CutCase{"Reserved7", 3}, CutCase{"AccountCount", 0},
                                           CutCase{"AccountCount", 45},   // fails the count check
                                           CutCase{"AccountCount", 200},  // inside account 0
                                           CutCase{"Account0", 0}, CutCase{"Account1", -1}),
                         [](const auto& info) { return CutName(info.param); });

struct CountCase {
  const char* label;
  std::int32_t count;
  size_t accountsKept;
};
void PrintTo(const CountCase& c, std::ostream* os) {
  *os << c.label;
}

class GlobalSettingAccountCountTest : public GlobalSettingTest,
                                      public ::testing::WithParamInterface<CountCase> {};

TEST_P(GlobalSettingAccountCountTest, IsCheckedAgainstTheBytesThatRemain) {
  TGlobalSetting full;
  full.SaveOnDestroy = false;
  Fill(full, false, home_.Win());
  Encoded e = Encode(full);
  const std::int32_t count = GetParam().count;
  std::memcpy(e.record.data() + e.ends.at("Reserved7"), &count, sizeof count);
  TGlobalSetting g;
  g.SaveOnDestroy = false;
  StoreRecord(e.record);

  ResetLargestAllocation();
  EXPECT_FALSE(g.LoadFromRegistry());
  EXPECT_LT(LargestAllocation(), 64u * 1024);
  EXPECT_EQ(Render(g), Render(full));
  ASSERT_EQ(g.Accounts.size(), GetParam().accountsKept);
  for (size_t i = 0; i < g.Accounts.size(); ++i) EXPECT_EQ(*g.Accounts[i], *full.Accounts[i]);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, GlobalSettingAccountCountTest,
    ::testing::Values(CountCase{"Hostile", std::numeric_limits<std::int32_t>::max(), 0},
                      CountCase{"Negative", -1, 0}, CountCase{"OneTooMany", 3, 2}),
    [](const auto& info) { return std::string(info.param.label); });

// Accounts of the smallest size fill the record exactly: the count check lets them through.
TEST_F(GlobalSettingTest, SmallestAccountsLoad) {
  TGlobalSetting full;
  full.SaveOnDestroy = false;
  Fill(full, true, home_.Win());
  for (auto& a : full.Accounts)
    for (const auto& [name, m] : kAccountFields) std::visit([&](auto p) { (*a).*p = {}; }, m);
  TGlobalSetting g;
  g.SaveOnDestroy = false;
  const Encoded e = Encode(full);
  ASSERT_EQ(e.record.size() - e.ends.at("AccountCount"), 2u * 37);
  StoreRecord(e.record);
  EXPECT_TRUE(g.LoadFromRegistry());
  EXPECT_EQ(AccountsOf(g), AccountsOf(full));
}

// A damaged record must not make the program sleep for years before its first window: each
// number is brought into the range the dialog allows, and the change is logged.
TEST_F(GlobalSettingTest, NumbersOutOfRangeAreBroughtInAndLogged) {
  struct Row {
    std::int32_t TGlobalSetting::*field;
    std::int32_t stored, loaded;
    const char* logged;
  };
  const Row rows[] = {
      {&TGlobalSetting::StartDelayMinutes, std::numeric_limits<std::int32_t>::max(), 6000,
       "start delay (minutes) 2147483647 is out of range 0..6000, 6000 is used."},
      {&TGlobalSetting::PriorityIndex, -3, 0, "thread priority -3"},
      {&TGlobalSetting::NetworkTimeoutSec, 0, 1, "network time-out (seconds) 0"},
      {&TGlobalSetting::ReconnectDelaySec, std::numeric_limits<std::int32_t>::min(), 0,
       "reconnect delay (seconds) -2147483648"},
      {&TGlobalSetting::RetryCount, -1, 0, "retries -1"},
      {&TGlobalSetting::LogFontSize, 100000, 1638, "log font size 100000"},
  };
  TGlobalSetting stored;
  stored.SaveOnDestroy = false;
  Fill(stored, true, home_.Win());
  for (const auto& r : rows) stored.*r.field = r.stored;
  stored.Accounts[0]->Port = 70000;
  StoreRecord(Encode(stored).record);

  auto log = std::make_shared<TMemoryLogSink>();
  auto previous = SetLogSink(log);
  TGlobalSetting g;
  g.SaveOnDestroy = false;
  SetLogSink(previous);
  std::string lines;
  for (const auto& e : log->Entries()) lines += e.message + "\n";
  for (const auto& r : rows) {
    EXPECT_EQ(g.*r.field, r.loaded) << r.logged;
    EXPECT_NE(lines.find(r.logged), std::string::npos) << r.logged << "\n" << lines;
  }
  EXPECT_EQ(g.Accounts.at(0)->Port, 65535);
  EXPECT_NE(lines.find("port of 'Büro' 70000"), std::string::npos) << lines;
  // Values in range load as they were stored, without a word.
  EXPECT_EQ(g.Accounts.at(1)->Port, 25);
  EXPECT_EQ(g.LogFontHeight, stored.LogFontHeight);
  EXPECT_EQ(log->Entries().size(), std::size(rows) + 1) << lines;
}

TEST_F(GlobalSettingTest, SaveFailureIsReported) {
  auto sink = std::make_shared<TMemoryLogSink>();
  auto previous = SetLogSink(sink);
  {
    TGlobalSetting g;
    ASSERT_EQ(g.ReadFailure, "");
    // The database would have to live below a regular file.
    WriteFile(home_.P("file"), "x");
    setenv("QUORVA_HOME", home_.P("file/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", home_.P("file/config").c_str(), 1);
    EXPECT_FALSE(g.SaveToRegistry());
    EXPECT_TRUE(sink->Entries().empty());
  }
  SetLogSink(previous);
  const auto entries = sink->Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].level, 1);
  EXPECT_EQ(entries[0].levelText, "ERROR   ");
}

TEST_F(GlobalSettingTest, UnreadableRegistryIsReportedAndNeverSavedOver) {
  WriteFile(home_.P("file"), "x");
  setenv("QUORVA_HOME", home_.P("file/home").c_str(), 1);
  auto sink = std::make_shared<TMemoryLogSink>();
  auto previous = SetLogSink(sink);
  {
    TGlobalSetting g;
    EXPECT_NE(g.ReadFailure.find(home_.P("file/home/registry.sqlite")), std::string::npos)
        << g.ReadFailure;
    g.RetryCount = 5;
    // Readable again by the time the window closes: the defaults must not replace what may
    // be stored there.
    setenv("QUORVA_HOME", home_.P("home").c_str(), 1);
  }
  SetLogSink(previous);
  const auto entries = sink->Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].levelText, "ERROR   ");
  EXPECT_NE(entries[0].message.find("The global settings could not be read: the registry "),
            std::string::npos)
      << entries[0].message;
  EXPECT_FALSE(StoredRecord());

  // A save the user asks for is theirs: from then on the object saves itself again.
  setenv("QUORVA_HOME", home_.P("file/home").c_str(), 1);
  {
    TGlobalSetting g;
    g.SaveOnDestroy = true;
    setenv("QUORVA_HOME", home_.P("home").c_str(), 1);
    ASSERT_TRUE(g.SaveToRegistry());
    EXPECT_EQ(g.ReadFailure, "");
    g.RetryCount = 6;
  }
  ASSERT_TRUE(StoredRecord());
  TGlobalSetting stored;
  stored.SaveOnDestroy = false;
  EXPECT_EQ(stored.RetryCount, 6);
}

TEST_F(GlobalSettingTest, SettingsHeldLockedByAnotherProcessAreNotSavedOver) {
  {
    TGlobalSetting g;
    g.SaveOnDestroy = false;
    Fill(g, true, home_.Win());
    ASSERT_TRUE(g.SaveToRegistry());
  }
  const Bytes record = *StoredRecord();
  const std::string database = platform::registry::DatabasePath();
  // This process lets go of the database: a connection to another one replaces it.
  setenv("QUORVA_HOME", home_.P("elsewhere").c_str(), 1);
  ASSERT_TRUE(Key::Open(Hive::CurrentUser, "\\Software", true));

  auto sink = std::make_shared<TMemoryLogSink>();
  auto previous = SetLogSink(sink);
  {
    TRegistryHeldLocked lock(database, home_.Posix());
    ASSERT_TRUE(lock.Locked());
    setenv("QUORVA_HOME", home_.Posix().c_str(), 1);
    TGlobalSetting g;
    EXPECT_NE(g.ReadFailure.find(database + " is locked by another process"), std::string::npos)
        << g.ReadFailure;
    EXPECT_EQ(g.RetryCount, 30);  // the default
    ASSERT_TRUE(lock.Release());
    // Destroyed once the database is free again: what it never read stays stored.
  }
  SetLogSink(previous);
  ASSERT_EQ(sink->Entries().size(), 1u);
  EXPECT_NE(sink->Entries()[0].message.find("is locked by another process"), std::string::npos);
  EXPECT_EQ(StoredRecord(), record);
}

TEST_F(GlobalSettingTest, NoSaveOnDestroyLeavesTheRegistryAlone) {
  {
    TGlobalSetting g;
    g.SaveOnDestroy = false;
    g.RetryCount = 5;
  }
  EXPECT_FALSE(StoredRecord());
}

TEST_F(GlobalSettingTest, SetDefaultsLeavesTheAccounts) {
  TGlobalSetting g;
  g.SaveOnDestroy = false;
  const auto defaults = Render(g);
  Fill(g, true, home_.Win());
  g.SetDefaults();
  EXPECT_EQ(Render(g), defaults);
  EXPECT_EQ(g.Accounts.size(), 2u);
}

TEST(EmailAccountTest, DefaultsAndClone) {
  TEmailAccount a;
  EXPECT_EQ(a.Caption, "");
  EXPECT_EQ(a.SMTPServer, "");
  EXPECT_EQ(a.Port, 25);
  EXPECT_FALSE(a.Authenticate);
  EXPECT_EQ(a.UserName, "");
  EXPECT_EQ(a.Password, "");
  EXPECT_EQ(a.From, "backup@localhost");
  EXPECT_EQ(a.To, "");
  EXPECT_EQ(a.Subject, "Quorva Backup Notification");
  EXPECT_EQ(a.Body,
            "====== Quorva Backup Notification ======\rThis message has been sent to you "
            "automatically by Quorva Backup because an operation on the item \"[ItemName]\" has "
            "started at [RunTime] and finished with status \"[ErrorString]\".");

  a.Caption = "c";
  a.Port = 2525;
  a.Authenticate = true;
  a.Password = "secret";
  const auto copy = a.Clone();
  ASSERT_TRUE(copy);
  EXPECT_NE(copy.get(), &a);
  EXPECT_EQ(*copy, a);
}

}  // namespace
