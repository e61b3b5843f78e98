// "Recover from backup sets...": a project rebuilt from the definition stored in an archive and
// saved into the project folder under a free name.
#pragma once

#include <array>
#include <string>
#include <string_view>

class TProject;
class TProjects;

// A name read from an archive becomes a file name in "QVP_JOBS\": it must not be empty, "." or
// "..", nor hold a folder separator, a drive colon or a control character.
bool IsValidProjectFileName(std::string_view name);

// ExtractBPJfromQVPExecute once RT_OD chose the archive. An unreadable archive shows "Open file
// failed. Please verify that the QVP file is valid". While the name is taken in the list, is
// no valid file name or names an existing project file, the change-name dialog asks for
// another; cancelling it saves nothing. The project is saved as program folder + "QVP_JOBS\" +
// name + ".bpj" and added to the list. Returns it, or none when nothing was recovered.
TProject* ExtractBPJfromQVPExecute(std::string_view archivePath, TProjects& projects);

// The project-list row of a recovered project: name, destination description, the last run as
// date-time text or "Not yet", and "0".
std::array<std::string, 4> RecoveredProjectRow(const TProject& project);
