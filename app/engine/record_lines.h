// The small text records the program keeps beside the files they name (which files a run made,
// how an archive is being replaced): one line per item, fields separated by tabs. A field is
// escaped so that any path fits (tab, newline and '%' as %09, %0A and %25). A last line without
// its newline was cut short by a stop while it was written, and is not read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/fs.h"

// One line, newline included.
std::string RecordLine(const std::vector<std::string>& fields);
// The lines of a record, each split into its fields.
std::vector<std::vector<std::string>> ReadRecordLines(std::string_view text);

// Which file a file is, as three fields: device, inode and birth time in nanoseconds (empty
// where the file system keeps none).
void AppendIdentityFields(std::vector<std::string>& fields, const platform::fs::FileIdentity& id);
// The identity in the three fields from `at`; std::nullopt unless they are there and read.
std::optional<platform::fs::FileIdentity> ReadIdentityFields(const std::vector<std::string>& fields,
                                                             size_t at);
