// The Run value of a start-up schedule: named by the project file, its data the program's
// short path, a blank and the project's short path. Run value names ignore letter case, but
// two project files whose names differ only in case are two files here, each with its entry:
// the one whose path names another project's value already takes the marked name below.
#pragma once

#include <optional>
#include <string>
#include <string_view>

class TSchedule;

std::string ScheduleStartupCommand(const std::string& programFile, const TSchedule& schedule);

// The project path, a blank and in brackets 16 hexadecimal digits of a hash of its exact
// spelling: the same from run to run, different for paths that differ only in case.
std::string MarkedStartupValueName(std::string_view project);

// Writes the Run value of `project` with the command, or deletes it for std::nullopt; the Run
// key is created when missing. The value keeps the name it has; a new one is named by the
// project path, or by the marked name when a value of the path's name (case ignored) starts
// another project. Deleting removes the project's value under either name, and never another
// project's. An empty name (the key's default value) is never touched: false. False too when
// the value could not be written or deleted.
bool SetStartupValue(std::string_view project, const std::optional<std::string>& command);

// Adds (add) or removes the Run value of the schedule's project.
bool SetScheduleStartupEntry(const std::string& programFile, const TSchedule& schedule, bool add);
