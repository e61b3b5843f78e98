// The list of schedules, in the order loaded or added; it owns them. Each lives in the registry
// under the store key, one subkey named by its ID; a start-up schedule (kind 0) also has a
// value under the user's Run key that starts the program with the project file.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/schedule/schedule.h"

inline constexpr std::string_view kScheduleStoreKeyPath =
    "\\Software\\Classes\\CLSID\\{E0BE056B-9308-4f1a-B7AD-3FF20C595DFE}";

class TSchedules {
 public:
  TSchedules();

  // A new schedule with a new ID, appended and not yet saved.
  TSchedule& Add();
  // The first schedule whose ID equals `id` exactly (letter case counts), or null.
  TSchedule* FindByID(std::string_view id) const;
  // Takes the schedule out of the list and hands it to the caller; null when not listed.
  std::unique_ptr<TSchedule> Extract(const TSchedule& schedule);
  TSchedule* Get(int index) const;
  int Count() const { return static_cast<int>(schedules_.size()); }

  // Appends one schedule per subkey of the store key, in the registry's order; a subkey
  // without a record gives a schedule with the defaults.
  void LoadAll();
  // Stores one schedule, creating its subkey when needed. A failed first save leaves no
  // subkey; a failed save of a stored schedule leaves its record as it was.
  TScheduleSaveError Save(const TSchedule& schedule);
  // Deletes the schedule's subkey with its record; true when it is gone.
  bool Delete(const TSchedule& schedule);

  // After any change of a project's schedules: its Run value exists exactly when an enabled
  // start-up schedule of it (of that path, letter case included) is listed. A schedule without
  // a project has no value. False when the Run key or the autostart entry could not be changed.
  bool UpdateStartupEntry(std::string_view project) const;

  // The program the start-up entries start (Windows form): the running executable.
  std::string ProgramFile;

 private:
  std::vector<std::unique_ptr<TSchedule>> schedules_;
};

// A text for the user of why a schedule was not saved.
std::string ScheduleSaveErrorText(TScheduleSaveError error);
// A text for the user of why a schedule loaded without the helper library is not removed.
std::string ScheduleRemoveRefusedText();
