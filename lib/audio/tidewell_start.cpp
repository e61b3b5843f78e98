// Start-up and shut-down of the audio reader and its trace settings.
#include <cstdio>
#include <mutex>
#include <string>

#include "lib/audio/tidewell.h"
#include "lib/audio/tidewell_trace.h"
#include "platform/com/com.h"
#include "platform/debug/debug.h"
#include "platform/registry/registry.h"

namespace {

constexpr const char* kSettingsKey = "SOFTWARE\\Veltrane\\Tidewell";
constexpr std::uint32_t kVersion = 0x20041017;

// The settings read at start-up (process-wide); an empty file name leaves the log writer's
// own, Tidewell.log in the program folder.
struct DebugSettings {
  std::uint32_t level = 0;
  std::int32_t facility = 2;
  std::string fileName;
};

std::mutex gSettingsMutex;
DebugSettings gSettings;  // under gSettingsMutex

}  // namespace

void TidewellI_ResetDebugSettings() {
  std::lock_guard lock(gSettingsMutex);
  gSettings = DebugSettings{};
}

std::uint32_t Tidewell_InitDebugSettings() {
  constexpr const char* kName = "Tidewell_InitDebugSettings";
  return TidewellI_Run(kName, [&]() -> std::uint32_t {
    const auto key =
        platform::registry::Key::Open(platform::registry::Hive::LocalMachine, kSettingsKey, false);
    if (!key) return kTidewellStatusSuccess;  // every default stays
    std::lock_guard lock(gSettingsMutex);
    if (const auto level = key->ReadDWord("DebugLevel")) gSettings.level = *level;
    if (const auto facility = key->ReadDWord("DebugFacility"))
      gSettings.facility = static_cast<std::int32_t>(*facility);
    gSettings.fileName = key->ReadString("DebugFileName").value_or("");
    return kTidewellStatusSuccess;
  });
}

std::uint32_t Tidewell_UpStart() {
  constexpr const char* kName = "Tidewell_UpStart";
  return TidewellI_Run(kName, [&]() -> std::uint32_t {
    char banner[256];
    std::snprintf(banner, sizeof banner,
                  "\nTidewell  Media Streaming Toolkit for Windows 95/98/Me/NT/2000/XP/2003  "
                  "Version 4.2.1 ( 0x%08X )\n",
                  kVersion);
    platform::debug::OutputDebugString(banner);
    Tidewell_InitDebugSettings();
    DebugSettings settings;
    {
      std::lock_guard lock(gSettingsMutex);
      settings = gSettings;
    }
    Tidewell_LogLevelSet(settings.level);
    Tidewell_LogFacilitySet(settings.facility);
    Tidewell_LogFileNameSet(settings.fileName.c_str());
    const platform::com::HRESULT hr =
        platform::com::CoInitializeEx(nullptr, platform::com::COINIT_MULTITHREADED);
    if (platform::com::FAILED(hr)) {
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): CoInitializeEx( NULL, COINIT_MULTITHREADED ) failed, status %d ( "
                          "0x%x )\n",
                          static_cast<int>(hr), static_cast<unsigned>(hr));
      return static_cast<std::uint32_t>(hr);
    }
    return kTidewellStatusSuccess;
  });
}

std::uint32_t Tidewell_DownShut() {
  return TidewellI_Run("Tidewell_DownShut", [] {
    platform::com::CoUninitialize();
    return kTidewellStatusSuccess;
  });
}
