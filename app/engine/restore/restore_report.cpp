#include "app/engine/restore/restore_report.h"

#include "app/engine/log.h"
#include "app/engine/user_interface.h"

std::string RestoreIncompleteText(int notRestored) {
  return "Restore incomplete: " + std::to_string(notRestored) +
         " file(s) could not be restored. See the log for details.";
}

void ReportRestoreEnd(std::string_view text) {
  ProgressStatus = text;
  ProgressCaption = text;
  UserInterface()->SetStatusPanel(kRestoreStatusPanel, text);
}

void ReportRestoreIncomplete(int notRestored) {
  const std::string text = RestoreIncompleteText(notRestored);
  LogError(text);
  ReportRestoreEnd(text);
  UserInterface()->MessageBox(text, kApplicationTitle, TMessageButtons::Ok, TMessageKind::Warning);
}

void ReportRestoreFailure(std::string_view text) {
  LogError(text);
  ReportRestoreEnd("Restore failed.");
  UserInterface()->MessageBox(text, kApplicationTitle, TMessageButtons::Ok, TMessageKind::Error);
}
