#include "app/engine/schedule/schedule_record.h"

#include "app/engine/project/stream.h"
#include "app/engine/schedule/schedule.h"

std::vector<std::uint8_t> WriteScheduleRecord(const TSchedule& schedule,
                                              const TScheduleTexts& texts) {
  TMemoryStream s;
  WriteStreamString(s, texts.A);
  WriteStreamString(s, texts.B);
  WriteStreamString(s, texts.C);
  for (std::int32_t v :
       {schedule.StopAfterTimes, schedule.Kind, schedule.EveryDays, schedule.EveryHours,
        schedule.EveryMinutes, schedule.AtHour, schedule.AtMinute, schedule.AtSecond})
    WriteStreamInt(s, v);
  WriteStreamDateTime(s, schedule.LastRun);
  WriteStreamInt(s, schedule.Enabled);
  return s.Bytes();
}

bool ReadScheduleRecord(const std::vector<std::uint8_t>& record, TSchedule& schedule,
                        TScheduleTexts& texts) {
  TMemoryStream s(record);
  try {
    TScheduleTexts read;
    read.A = ReadStreamString(s);
    read.B = ReadStreamString(s);
    read.C = ReadStreamString(s);
    texts = std::move(read);
    for (std::int32_t* v :
         {&schedule.StopAfterTimes, &schedule.Kind, &schedule.EveryDays, &schedule.EveryHours,
          &schedule.EveryMinutes, &schedule.AtHour, &schedule.AtMinute, &schedule.AtSecond})
      *v = ReadStreamInt(s);
    schedule.LastRun = ReadStreamDateTime(s);
    schedule.Enabled = ReadStreamInt(s);
  } catch (const EStreamReadError&) {
    return false;
  }
  return true;
}
