#include "app/engine/settings/global_setting.h"

#include <exception>
#include <optional>

#include "app/engine/log.h"
#include "app/engine/project/stream.h"
#include "platform/fs/fs.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"

namespace {

using platform::registry::Hive;
using platform::registry::Key;

// The smallest stored account: eight empty strings (their counts alone), the port and the
// authentication byte.
constexpr std::uint64_t kMinAccountBytes = 8 * 4 + 4 + 1;

void WriteAccount(TStream& s, const TEmailAccount& a) {
  WriteStreamString(s, a.Caption);
  WriteStreamString(s, a.SMTPServer);
  WriteStreamInt(s, a.Port);
  WriteStreamByte(s, a.Authenticate);
  WriteStreamString(s, a.UserName);
  WriteStreamString(s, a.Password);
  WriteStreamString(s, a.From);
  WriteStreamString(s, a.To);
  WriteStreamString(s, a.Subject);
  WriteStreamString(s, a.Body);
}

void ReadAccount(TStream& s, TEmailAccount& a) {
  a.Caption = ReadStreamString(s);
  a.SMTPServer = ReadStreamString(s);
  a.Port = ReadStreamInt(s);
  a.Authenticate = ReadStreamByte(s);
  a.UserName = ReadStreamString(s);
  a.Password = ReadStreamString(s);
  a.From = ReadStreamString(s);
  a.To = ReadStreamString(s);
  a.Subject = ReadStreamString(s);
  a.Body = ReadStreamString(s);
}

}  // namespace

TGlobalSetting::TGlobalSetting() {
  SetDefaults();
  LoadFromRegistry();
}

TGlobalSetting::~TGlobalSetting() {
  if (!SaveOnDestroy || !ReadFailure.empty()) return;
  try {
    if (!SaveToRegistry()) LogError("Cannot save the global settings to the registry.");
  } catch (const std::exception& e) {
    // A destructor must not throw; the log call itself may fail only for lack of memory.
    try {
      LogError(std::string("Cannot save the global settings: ") + e.what());
    } catch (...) {
    }
  }
}

void TGlobalSetting::SetDefaults() {
  AutoStart = false;
  ShowSplash = true;
  ShowWizardAtStart = true;
  StartDelayMinutes = 0;
  PriorityIndex = 2;
  TempFolder = platform::shell::TempFolder();
  NetworkTimeoutSec = 300;
  AutoRetry = true;
  UnlimitedRetries = false;
  RetryCount = 30;
  ReconnectDelaySec = 30;
  AutoShowConsole = false;
  ConsoleOnTop = false;
  LogFontCharset = 1;
  LogFontColor = 0;
  LogFontHeight = -11;
  LogFontName = "MS Sans Serif";
  LogFontPitch = 0;
  LogFontSize = 8;
  LogFontStyle = 0;
  Reserved.fill(0);
}

bool TGlobalSetting::LoadFromRegistry() {
  ReadFailure.clear();
  std::optional<std::vector<std::uint8_t>> bytes;
  if (const auto key = Key::Open(Hive::CurrentUser, kGlobalSettingKeyPath, false, &ReadFailure))
    bytes = key->ReadBinary(kGlobalSettingValueName, &ReadFailure);
  if (!ReadFailure.empty())
    LogError("The global settings could not be read: " + ReadFailure +
             "; the stored settings are left as they are.");
  if (!bytes) return false;
  return LoadFromRecord(std::move(*bytes));
}

bool TGlobalSetting::LoadFromRecord(std::vector<std::uint8_t> record) {
  TMemoryStream s(std::move(record));
  try {
    AutoStart = ReadStreamByte(s);
    ShowSplash = ReadStreamByte(s);
    ShowWizardAtStart = ReadStreamByte(s);
    StartDelayMinutes = ReadStreamInt(s);
    PriorityIndex = ReadStreamInt(s);
    TempFolder = ReadStreamString(s);
    if (TempFolder.empty() || !platform::fs::IsDirectory(TempFolder))
      TempFolder = platform::shell::TempFolder();
    NetworkTimeoutSec = ReadStreamInt(s);
    AutoRetry = ReadStreamByte(s);
    UnlimitedRetries = ReadStreamByte(s);
    RetryCount = ReadStreamInt(s);
    ReconnectDelaySec = ReadStreamInt(s);
    AutoShowConsole = ReadStreamByte(s);
    ConsoleOnTop = ReadStreamByte(s);
    LogFontHeight = ReadStreamInt(s);
    LogFontName = ReadStreamString(s);
    LogFontSize = ReadStreamInt(s);
    LogFontStyle = ReadStreamRawByte(s);
    LogFontCharset = ReadStreamRawByte(s);
    LogFontColor = ReadStreamInt(s);
    LogFontPitch = ReadStreamRawByte(s);
    for (auto& r : Reserved) r = ReadStreamInt(s);
    const std::int32_t count = ReadStreamInt(s);
    if (count < 0 || static_cast<std::uint64_t>(count) * kMinAccountBytes > s.Remaining())
      throw EStreamReadError("Stream read error");
    for (std::int32_t i = 0; i < count; ++i) {
      // Appended only when whole: a half-read account would mix stored and default values.
      auto account = std::make_unique<TEmailAccount>();
      ReadAccount(s, *account);
      Accounts.push_back(std::move(account));
    }
  } catch (const EStreamReadError&) {
    KeepInRange();
    return false;
  }
  KeepInRange();
  return true;
}

void TGlobalSetting::KeepInRange() {
  auto keep = [](std::string_view what, std::int32_t& value, std::int32_t lo, std::int32_t hi) {
    if (value >= lo && value <= hi) return;
    const std::int32_t kept = value < lo ? lo : hi;
    LogError("Global settings: " + std::string(what) + " " + std::to_string(value) +
             " is out of range " + std::to_string(lo) + ".." + std::to_string(hi) + ", " +
             std::to_string(kept) + " is used.");
    value = kept;
  };
  keep("start delay (minutes)", StartDelayMinutes, 0, 6000);
  keep("thread priority", PriorityIndex, 0, 4);
  keep("network time-out (seconds)", NetworkTimeoutSec, 1, 86400);
  keep("reconnect delay (seconds)", ReconnectDelaySec, 0, 86400);
  keep("retries", RetryCount, 0, 1000000);
  keep("log font size", LogFontSize, 1, 1638);
  keep("log font height", LogFontHeight, -1638, 1638);
  for (auto& account : Accounts)
    keep("port of '" + account->Caption + "'", account->Port, 0, 65535);
}

bool TGlobalSetting::SaveToRegistry() {
  const std::vector<std::uint8_t> record = Record();
  auto key = Key::Open(Hive::CurrentUser, kGlobalSettingKeyPath, true);
  if (!key || !key->WriteBinary(kGlobalSettingValueName, record.data(), record.size()))
    return false;
  ReadFailure.clear();
  return true;
}

std::vector<std::uint8_t> TGlobalSetting::Record() const {
  TMemoryStream s;
  WriteStreamByte(s, AutoStart);
  WriteStreamByte(s, ShowSplash);
  WriteStreamByte(s, ShowWizardAtStart);
  WriteStreamInt(s, StartDelayMinutes);
  WriteStreamInt(s, PriorityIndex);
  WriteStreamString(s, TempFolder);
  WriteStreamInt(s, NetworkTimeoutSec);
  WriteStreamByte(s, AutoRetry);
  WriteStreamByte(s, UnlimitedRetries);
  WriteStreamInt(s, RetryCount);
  WriteStreamInt(s, ReconnectDelaySec);
  WriteStreamByte(s, AutoShowConsole);
  WriteStreamByte(s, ConsoleOnTop);
  WriteStreamInt(s, LogFontHeight);
  WriteStreamString(s, LogFontName);
  WriteStreamInt(s, LogFontSize);
  WriteStreamRawByte(s, LogFontStyle);
  WriteStreamRawByte(s, LogFontCharset);
  WriteStreamInt(s, LogFontColor);
  WriteStreamRawByte(s, LogFontPitch);
  for (const auto r : Reserved) WriteStreamInt(s, r);
  WriteStreamInt(s, static_cast<std::int32_t>(Accounts.size()));
  for (const auto& a : Accounts) WriteAccount(s, *a);
  return s.Bytes();
}
