#include "app/engine/schedule/schedules.h"

#include "app/engine/schedule/schedule_startup_entry.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"
#include "platform/sorvane/sorvane.h"

using platform::registry::Hive;
using platform::registry::Key;

TSchedules::TSchedules() : ProgramFile(platform::shell::ExecutableFile()) {}

TSchedule& TSchedules::Add() {
  schedules_.push_back(std::make_unique<TSchedule>());
  return *schedules_.back();
}

TSchedule* TSchedules::FindByID(std::string_view id) const {
  for (const auto& s : schedules_)
    if (s->ID == id) return s.get();
  return nullptr;
}

std::unique_ptr<TSchedule> TSchedules::Extract(const TSchedule& schedule) {
  for (auto it = schedules_.begin(); it != schedules_.end(); ++it) {
    if (it->get() != &schedule) continue;
    std::unique_ptr<TSchedule> taken = std::move(*it);
    schedules_.erase(it);
    return taken;
  }
  return nullptr;
}

TSchedule* TSchedules::Get(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return schedules_[static_cast<size_t>(index)].get();
}

void TSchedules::LoadAll() {
  const auto store = Key::Open(Hive::CurrentUser, kScheduleStoreKeyPath, false);
  if (!store) return;
  for (const std::string& name : store->SubKeyNames()) {
    auto schedule = std::make_unique<TSchedule>(name);
    if (const auto key = Key::Open(Hive::CurrentUser, store->Path() + "\\" + name, false))
      schedule->LoadFromRegistry(*key);
    schedules_.push_back(std::move(schedule));
  }
}

TScheduleSaveError TSchedules::Save(const TSchedule& schedule) {
  auto store = Key::Open(Hive::CurrentUser, kScheduleStoreKeyPath, true);
  if (!store) return TScheduleSaveError::Registry;
  const std::string path = store->Path() + "\\" + schedule.ID;
  const bool existed = Key::Open(Hive::CurrentUser, path, false).has_value();
  auto key = Key::Open(Hive::CurrentUser, path, true);
  if (!key) return TScheduleSaveError::Registry;
  const TScheduleSaveError error = schedule.SaveToRegistry(*key);
  // A schedule that was never stored leaves nothing behind.
  if (error != TScheduleSaveError::None && !existed) store->DeleteSubKey(schedule.ID);
  return error;
}

bool TSchedules::Delete(const TSchedule& schedule) {
  auto store = Key::Open(Hive::CurrentUser, kScheduleStoreKeyPath, true);
  if (!store) return false;
  return store->DeleteSubKey(schedule.ID) ||
         !Key::Open(Hive::CurrentUser, store->Path() + "\\" + schedule.ID, false);
}

bool TSchedules::UpdateStartupEntry(std::string_view project) const {
  if (project.empty()) return true;
  // A project is its file: paths that differ only in letter case are two projects, each with
  // an entry of its own.
  for (const auto& s : schedules_)
    if (s->Project == project && s->Kind == kScheduleAtStartup && s->IsEnabled())
      return SetScheduleStartupEntry(ProgramFile, *s, true);
  return SetStartupValue(project, std::nullopt);
}

namespace {

std::string HelperMissingText() {
  return "The helper library " + std::string(platform::sorvane::kHelperFileName) +
         " was not found (looked for " + platform::sorvane::HelperSearchPlaces() + ")";
}

}  // namespace

std::string ScheduleSaveErrorText(TScheduleSaveError error) {
  switch (error) {
    case TScheduleSaveError::None:
      return {};
    case TScheduleSaveError::NoProject:
      return "The schedule has no project file.";
    case TScheduleSaveError::HelperMissing:
      return HelperMissingText() + "; the schedule was not saved.";
    case TScheduleSaveError::Registry:
      return "The schedule could not be written to the registry.";
  }
  return {};
}

std::string ScheduleRemoveRefusedText() {
  return HelperMissingText() +
         " when the schedules were loaded; the schedule was not removed, as its project and "
         "start-up entry are unknown without it.";
}
