// The small text records the program keeps beside the files they name (which files a run made,
// how an archive is being replaced): one line per item, fields separated by tabs. A field is
// escaped so that any path fits (tab, newline and '%' as %09, %0A and %25). A last line without
// its newline was cut short by a stop while it was written, and is not read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One line, newline included.
std::string RecordLine(const std::vector<std::string>& fields);
// The lines of a record, each split into its fields.
std::vector<std::vector<std::string>> ReadRecordLines(std::string_view text);
