// The texts of a file-list row and of the Validate total.
#pragma once

#include <cstdint>
#include <string>

#include "platform/fs/fs.h"

// Digits grouped by commas ("4,294,967,296"); the single digit 0 for an empty file.
std::string FormatRowSize(std::uint64_t size);
// Local time as "yyyy-mm-dd hh::nn::ss".
std::string FormatRowTime(std::int64_t unixSec);
// Four characters, each a letter or a blank: A archive, R read-only, S system, H hidden.
std::string FormatRowAttributes(const platform::fs::FileInfo& info);
// At least ten digits, grouped by commas ("0,000,001,234").
std::string FormatTotalSize(std::uint64_t size);
