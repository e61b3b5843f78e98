#include "app/engine/archive/zip_helper.h"

#include <cmath>

#include "app/engine/archive/zip_names.h"
#include "app/engine/log.h"
#include "app/engine/user_interface.h"

TSharedText ZipErrorText;

namespace {

// The program rounds percentages to the nearest integer, halves to even.
int RoundHalfEven(double value) {
  return static_cast<int>(std::nearbyint(value));
}

}  // namespace

std::string THelper::AddItem(std::string_view path, bool isDefinition) {
  std::string stored = isDefinition ? std::string(kDefinitionEntryName)
                                    : StoredNameForFile(path).value_or(std::string(path));
  ProgressStatus = path;
  const std::int32_t total = progressTotal > 0 ? progressTotal : 1;
  ProgressPosition =
      RoundHalfEven(static_cast<double>(progressCounter) * progressSpan / total) + progressBase;
  ++progressCounter;
  return stored;
}

TExtractDecision THelper::ExtractItem(std::string_view storedName, bool isDefinition,
                                      std::string_view baseFolder) {
  TExtractDecision decision;
  if (isDefinition && !extractDefinition) return decision;
  const TEntryTarget target = isDefinition || restoreElsewhere
                                  ? ElsewhereTarget(storedName, baseFolder)
                                  : OriginalPlaceTarget(storedName);
  if (!target.path) {
    decision.refusal = target.refusal;
    return decision;
  }
  decision.extract = true;
  decision.target = *target.path;
  ProgressStatus = decision.target;
  return decision;
}

bool THelper::ArchiveItemProgress(int percent) {
  if (ProgressCancelled) return true;
  auto ui = UserInterface();
  const int position =
      RoundHalfEven(ui->StatusProgressMaximum() * static_cast<double>(percent) / 100);
  if (position != barPosition_) {
    barPosition_ = position;
    ui->StatusProgressSetPosition(position);
  }
  return false;
}

bool THelper::AbortQuery() const {
  return ProgressCancelled;
}
bool THelper::RequestLastDisk() const {
  return ProgressCancelled;
}
bool THelper::RequestNthDisk(int) const {
  return ProgressCancelled;
}

std::optional<std::string> THelper::RequestVolume(int n, std::string_view currentFileName) {
  if (ProgressCancelled) return std::nullopt;
  std::string name = VolumeName(currentFileName, n);
  if (!writeMode) {
    if (auto chosen =
            UserInterface()->ChooseFile("Choose file for volume " + std::to_string(n), name, "*"))
      name = std::move(*chosen);
  }
  volumeNames.push_back(name);
  return name;
}

bool THelper::NeedPassword(std::string& password) {
  auto typed = UserInterface()->AskPassword();
  if (!typed) return false;
  password = std::move(*typed);
  return true;
}

bool THelper::ConfirmOverwrite(std::string_view existingPath) {
  if (overwriteMode == 2) return true;
  if (overwriteMode == 4) return false;
  const TOverwriteAnswer answer = UserInterface()->ConfirmOverwrite(existingPath);
  if (answer.remember) overwriteMode = answer.overwrite ? 2 : 4;
  return answer.overwrite;
}

void THelper::ItemFailure(std::string_view message) {
  ZipErrorText = "[" + std::string(message) + "]";
  LogMessage("ERROR   ", message, 1);
}
