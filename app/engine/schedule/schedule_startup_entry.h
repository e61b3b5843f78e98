// The Run value of a start-up schedule: named by the project file, its data the program's
// short path, a blank and the project's short path.
#pragma once

#include <optional>
#include <string>
#include <string_view>

class TSchedule;

std::string ScheduleStartupCommand(const std::string& programFile, const TSchedule& schedule);

// Writes the Run value named `project` with the command, or deletes it for std::nullopt; the
// Run key is created when missing. An empty name (the key's default value) is never touched:
// false. False too when the value could not be written or deleted.
bool SetStartupValue(std::string_view project, const std::optional<std::string>& command);

// Adds (add) or removes the Run value of the schedule's project.
bool SetScheduleStartupEntry(const std::string& programFile, const TSchedule& schedule, bool add);
