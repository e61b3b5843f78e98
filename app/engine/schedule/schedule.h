// One scheduled project: which project file runs, when, how many more times, under which
// account, whether it is enabled and when it last ran. Stored as the binary value "userdata"
// of its own registry subkey.
#pragma once

#include <cstdint>
#include <string>

namespace platform::registry {
class Key;
}

// Kinds of schedule.
inline constexpr std::int32_t kScheduleAtStartup = 0;
inline constexpr std::int32_t kScheduleEvery = 1;
inline constexpr std::int32_t kScheduleAt = 2;

// Why a schedule was not saved.
enum class TScheduleSaveError {
  None,
  NoProject,      // a schedule without a project file writes no record
  HelperMissing,  // the helper library could not scramble a text that is not empty
  Registry,       // the key could not be opened or written
};

class TSchedule {
 public:
  // Takes `id`, or a new GUID text when it is empty; every other field is its default.
  explicit TSchedule(std::string id = {});

  // Writes "userdata" into the open key of the schedule's subkey. Writes nothing when it
  // fails: without a project, when the helper library would turn a text that is not empty
  // into an empty one or was missing when the schedule was loaded, or when the registry
  // refuses.
  TScheduleSaveError SaveToRegistry(platform::registry::Key& key) const;
  // Reads "userdata" of the open subkey; a missing value leaves the schedule as it is. A
  // record shorter than its counts say keeps the numbers read before the end and the texts.
  // Without the helper library the texts come back empty and `HelperMissingAtLoad` is set.
  void LoadFromRegistry(const platform::registry::Key& key);

  // The one-line text of the timing shown in the schedule list.
  std::string Description() const;
  // The row's state: enabled exactly when `Enabled` is 1.
  bool IsEnabled() const { return Enabled == 1; }

  std::string ID;
  std::string Project;  // full path of the project file, also the name of its Run value
  std::string RunAsAccount;
  std::string Password;
  std::int32_t StopAfterTimes = -1;  // -1: no limit
  std::int32_t Kind = kScheduleAtStartup;
  std::int32_t EveryDays = 0;
  std::int32_t EveryHours = 24;
  std::int32_t EveryMinutes = 0;
  std::int32_t AtHour = 12;
  std::int32_t AtMinute = 0;
  std::int32_t AtSecond = 0;
  double LastRun = 0;  // the platform's date-time; 0: never run
  std::int32_t Enabled = 1;

  // Loaded while the helper library was missing: its project, account and password are
  // unknown. It is neither saved (the record would lose them) nor removed (its Run value is
  // named by the project).
  bool HelperMissingAtLoad = false;
};
