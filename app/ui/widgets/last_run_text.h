// The "Last run" column of the project list and the schedule list.
#pragma once

#include <string>

// "Not yet" for a project never run, else the date and time of its last run.
std::string LastRunText(double lastRun);
