// Schedule records ("userdata") as the registry hands them over, and the helper library's
// unscrambling of their texts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/engine/schedule/schedule.h"
#include "app/engine/schedule/schedule_record.h"
#include "platform/sorvane/helper/scrambling.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::uint8_t> record(data, data + size);
  TSchedule schedule("{FUZZ}");
  TScheduleTexts texts;
  if (ReadScheduleRecord(record, schedule, texts)) {
    // The loader's unscrambling: the project first, then each secret through the ID and it.
    const std::string project = sorvane::Unscramble("MORL_VEQ", texts.A).value_or("");
    for (const std::string* secret : {&texts.B, &texts.C})
      if (const auto first = sorvane::Unscramble(schedule.ID, *secret))
        sorvane::Unscramble(project, *first);
    // What was read writes back as the bytes it was read from.
    const std::vector<std::uint8_t> again = WriteScheduleRecord(schedule, texts);
    if (again.size() > record.size() || !std::equal(again.begin(), again.end(), record.begin()))
      __builtin_trap();
  }
  // The scrambling of any text is reversed by the same key.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string key = text.substr(0, text.size() / 3);
  if (sorvane::Unscramble(key, sorvane::Scramble(key, text)) != text) __builtin_trap();
  return 0;
}
