// The schedule record "userdata": texts A (the project), B (the password) and C (the account),
// each a little-endian int32 byte count and that many bytes, then StopAfterTimes, Kind,
// EveryDays, EveryHours, EveryMinutes, AtHour, AtMinute, AtSecond (int32 each), LastRun
// (8-byte double) and Enabled (int32). The texts are stored scrambled.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TSchedule;

// The three texts as the record stores them.
struct TScheduleTexts {
  std::string A;
  std::string B;
  std::string C;
};

std::vector<std::uint8_t> WriteScheduleRecord(const TSchedule& schedule,
                                              const TScheduleTexts& texts);

// Reads the texts, then the numbers straight into the schedule. False at the first field the
// bytes do not hold whole: the numbers read before it keep their new values. Counts are
// checked against the bytes present before anything is allocated.
bool ReadScheduleRecord(const std::vector<std::uint8_t>& record, TSchedule& schedule,
                        TScheduleTexts& texts);
