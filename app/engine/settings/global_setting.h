// The program-wide settings: start-up, job priority, temporary folder, network retries,
// console behaviour, log font and the notification mail accounts. Kept in the current user's
// registry as one binary record and saved when the object is destroyed.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/settings/email_account.h"

inline constexpr std::string_view kGlobalSettingKeyPath =
    "\\Software\\Classes\\CLSID\\{C68D230C-F8EE-46fb-AB63-097552A0C46B}";
inline constexpr std::string_view kGlobalSettingValueName = "userdata";

class TGlobalSetting {
 public:
  // Applies the defaults, then loads the stored record when there is one.
  TGlobalSetting();
  // Saves unless SaveOnDestroy is cleared or the stored settings could not be read; a failed
  // save is logged as an error.
  ~TGlobalSetting();
  TGlobalSetting(const TGlobalSetting&) = delete;
  TGlobalSetting& operator=(const TGlobalSetting&) = delete;

  // Every field back to its default; the accounts stay.
  void SetDefaults();
  // False when the key or the value is missing (nothing changes) or the record is short or
  // corrupt (the fields read before the fault keep their new values; an account is appended
  // only when it was read whole). False too when the registry could not be read (held locked
  // by another process, say): nothing changes, ReadFailure says why and it is logged.
  bool LoadFromRegistry();
  // The same from the record's bytes.
  bool LoadFromRecord(std::vector<std::uint8_t> record);
  // False when the key cannot be opened or created or the value cannot be written. A save that
  // succeeds replaces settings that could not be read: they are the user's from then on.
  bool SaveToRegistry();
  // The record SaveToRegistry writes.
  std::vector<std::uint8_t> Record() const;
  // Brings every number into the range the settings dialog allows (start delay 0..6000
  // minutes, priority 0..4, time-out 1..86400 s, reconnect delay 0..86400 s, retries
  // 0..1000000, font size 1..1638, ports 0..65535), logging each value it changes; a damaged
  // record must not make the program wait for years or run at no priority the dialog offers.
  void KeepInRange();

  bool AutoStart = false;
  bool ShowSplash = true;
  bool ShowWizardAtStart = true;
  std::int32_t StartDelayMinutes = 0;
  std::int32_t PriorityIndex = 2;  // 0..4: lowest .. highest
  std::string TempFolder;          // Windows form, trailing backslash
  std::int32_t NetworkTimeoutSec = 300;
  bool AutoRetry = true;
  bool UnlimitedRetries = false;
  std::int32_t RetryCount = 30;
  std::int32_t ReconnectDelaySec = 30;
  bool AutoShowConsole = false;
  bool ConsoleOnTop = false;
  std::uint8_t LogFontCharset = 1;
  std::int32_t LogFontColor = 0;
  std::int32_t LogFontHeight = -11;
  std::string LogFontName = "MS Sans Serif";
  std::uint8_t LogFontPitch = 0;
  std::int32_t LogFontSize = 8;
  std::uint8_t LogFontStyle = 0;  // bits 0..3: bold, italic, underline, strike-out
  std::array<std::int32_t, 8> Reserved{};

  std::vector<std::unique_ptr<TEmailAccount>> Accounts;

  // The command-line run reads the settings but does not write them back.
  bool SaveOnDestroy = true;
  // Why the stored settings could not be read at the last load; empty when they were read or
  // none are stored. While it is set the object holds defaults, which never replace them when
  // it is destroyed.
  std::string ReadFailure;
};
