#include "app/engine/schedule/schedule.h"

#include <cstdio>
#include <optional>

#include "app/engine/schedule/schedule_record.h"
#include "app/engine/schedule/scramble.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"

namespace {

constexpr std::string_view kRecordName = "userdata";
constexpr std::string_view kProjectKey = "MORL_VEQ";

// At least two digits; a sign does not count as one ("-01").
std::string TwoDigits(std::int32_t v) {
  const long long n = v;
  char text[16];
  std::snprintf(text, sizeof text, "%s%02lld", n < 0 ? "-" : "", n < 0 ? -n : n);
  return text;
}

// A secret text bound to its subkey and project: scrambled with the project, then the ID. An
// empty text stays empty without calling the library.
std::string ScrambleSecret(const TSchedule& s, const std::string& text) {
  if (text.empty()) return {};
  return ScrambleString(s.ID, ScrambleString(s.Project, text));
}

std::string UnscrambleSecret(const TSchedule& s, const std::string& stored) {
  if (stored.empty()) return {};
  return UnscrambleString(s.Project, UnscrambleString(s.ID, stored));
}

}  // namespace

TSchedule::TSchedule(std::string id)
    : ID(id.empty() ? platform::shell::NewGuidText() : std::move(id)) {}

TScheduleSaveError TSchedule::SaveToRegistry(platform::registry::Key& key) const {
  // Its stored texts are unknown: a new record would lose them.
  if (HelperMissingAtLoad) return TScheduleSaveError::HelperMissing;
  if (Project.empty()) return TScheduleSaveError::NoProject;
  TScheduleTexts texts;
  texts.A = ScrambleString(kProjectKey, Project);
  texts.B = ScrambleSecret(*this, Password);
  texts.C = ScrambleSecret(*this, RunAsAccount);
  // Without the helper the texts would be stored empty: the record would lose them.
  if (texts.A.empty() || texts.B.empty() != Password.empty() ||
      texts.C.empty() != RunAsAccount.empty())
    return TScheduleSaveError::HelperMissing;
  const std::vector<std::uint8_t> record = WriteScheduleRecord(*this, texts);
  if (!key.WriteBinary(kRecordName, record.data(), record.size()))
    return TScheduleSaveError::Registry;
  return TScheduleSaveError::None;
}

void TSchedule::LoadFromRegistry(const platform::registry::Key& key) {
  const auto record = key.ReadBinary(kRecordName);
  if (!record) return;
  TScheduleTexts texts;
  if (!ReadScheduleRecord(*record, *this, texts)) return;
  const std::optional<std::string> project = TryUnscrambleString(kProjectKey, texts.A);
  Project = project.value_or(std::string());
  HelperMissingAtLoad = !project && !(texts.A.empty() && texts.B.empty() && texts.C.empty());
  Password = UnscrambleSecret(*this, texts.B);
  RunAsAccount = UnscrambleSecret(*this, texts.C);
}

std::string TSchedule::Description() const {
  switch (Kind) {
    case kScheduleAtStartup:
      return "Run when starts up";
    case kScheduleEvery:
      return "Run every " + std::to_string(EveryDays) + "day " + std::to_string(EveryHours) +
             "hour " + std::to_string(EveryMinutes) + "minute";
    case kScheduleAt:
      return "Run at " + TwoDigits(AtHour) + "::" + TwoDigits(AtMinute) +
             "::" + TwoDigits(AtSecond);
    default:
      return {};
  }
}
