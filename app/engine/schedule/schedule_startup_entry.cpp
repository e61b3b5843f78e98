#include "app/engine/schedule/schedule_startup_entry.h"

#include "app/engine/schedule/schedule.h"
#include "platform/registry/registry.h"

using platform::registry::Hive;
using platform::registry::Key;
using platform::registry::ShortPath;

std::string ScheduleStartupCommand(const std::string& programFile, const TSchedule& schedule) {
  return ShortPath(programFile) + " " + ShortPath(schedule.Project);
}

bool SetStartupValue(std::string_view project, const std::optional<std::string>& command) {
  if (project.empty()) return false;
  // The Run key is missing until the first value goes in.
  auto run = Key::Open(Hive::CurrentUser, platform::registry::kRunKeyPath, command.has_value());
  if (!run) return !command;
  if (command) return run->WriteString(project, *command);
  return !run->TypeOf(project) || run->DeleteValue(project);
}

bool SetScheduleStartupEntry(const std::string& programFile, const TSchedule& schedule, bool add) {
  return SetStartupValue(schedule.Project, add ? std::optional<std::string>(
                                                     ScheduleStartupCommand(programFile, schedule))
                                               : std::nullopt);
}
