#include "app/engine/schedule/schedule_startup_entry.h"

#include <cstdint>
#include <cstdio>

#include "app/engine/schedule/schedule.h"
#include "platform/registry/registry.h"
#include "platform/registry/run_key_mirror.h"

using platform::registry::Fnv1a64;
using platform::registry::Hive;
using platform::registry::Key;
using platform::registry::ShortPath;

namespace {

// The command's last word is the project: another project's path of the same length (one
// that differs only in case) never ends it.
bool StartsProject(const std::optional<std::string>& command, std::string_view project) {
  if (!command) return false;
  const std::string tail = " " + ShortPath(project);
  return command->size() >= tail.size() &&
         command->compare(command->size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string ScheduleStartupCommand(const std::string& programFile, const TSchedule& schedule) {
  return ShortPath(programFile) + " " + ShortPath(schedule.Project);
}

std::string MarkedStartupValueName(std::string_view project) {
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a64(project)));
  return std::string(project) + " [" + hash + "]";
}

bool SetStartupValue(std::string_view project, const std::optional<std::string>& command) {
  if (project.empty()) return false;
  // The Run key is missing until the first value goes in.
  auto run = Key::Open(Hive::CurrentUser, platform::registry::kRunKeyPath, command.has_value());
  if (!run) return !command;
  const std::string marked = MarkedStartupValueName(project);
  const bool plainTaken = run->TypeOf(project).has_value();
  const bool plainOurs = plainTaken && StartsProject(run->ReadString(project), project);
  const bool markedTaken = run->TypeOf(marked).has_value();
  if (!command)
    return (!plainOurs || run->DeleteValue(project)) && (!markedTaken || run->DeleteValue(marked));
  if (plainOurs || (!plainTaken && !markedTaken)) {
    // One entry per project: a marked one left from before the plain name came free goes.
    return run->WriteString(project, *command) && (!markedTaken || run->DeleteValue(marked));
  }
  return run->WriteString(marked, *command);
}

bool SetScheduleStartupEntry(const std::string& programFile, const TSchedule& schedule, bool add) {
  return SetStartupValue(schedule.Project, add ? std::optional<std::string>(
                                                     ScheduleStartupCommand(programFile, schedule))
                                               : std::nullopt);
}
