#include "app/engine/restore/diff_restore_run.h"

#include <exception>
#include <vector>

#include "app/engine/archive/zip_error.h"
#include "app/engine/archive/zip_names.h"
#include "app/engine/log.h"
#include "app/engine/path_routines.h"
#include "app/engine/progress.h"
#include "app/engine/restore/diff_restore_choices.h"
#include "app/engine/restore/restore_archive.h"
#include "app/engine/restore/restore_report.h"
#include "app/engine/user_interface.h"
#include "platform/text/text.h"

namespace {

// Logs a set's files as not restored; returns their count.
int SkipSet(const TRunTimeProject& files, const std::string& reason) {
  LogError(reason);
  for (const auto& file : files.Files()) LogError("File \"" + file->Path + "\" is not restored.");
  return files.Count();
}

}  // namespace

TRestoreOutcome DiffRestoreThreadProc(const TDiffRestorePage& page, const TRestoreJob& job) {
  TProgressDoneGuard done;
  ProgressPosition = 0;
  ProgressCaption = "Restoring Files...";
  ProgressStatus = "Restoring Files...";
  auto ui = UserInterface();

  const TCompareObj& choices = page.CompareChoices;
  std::vector<int> counts;
  for (const auto& version : choices.Versions) counts.push_back(version->Count());
  const std::vector<TVersionSpan> spans = DiffRestoreSpans(counts);
  int total = 0;
  for (const int count : counts) total += count;

  int notRestored = 0;
  for (const std::string& path : page.NotRestorable) {
    LogError("File \"" + path + "\" is not restored: none of the backup sets added holds it.");
    ++notRestored;
  }

  std::uint8_t overwriteMode = RestoreOverwriteMode(job.RestoreOverwriteIndex);
  for (int i = 0; i < choices.VersionCount(); ++i) {
    const TRunTimeProject& files = *choices.Versions[static_cast<size_t>(i)];
    const int count = files.Count();
    if (count == 0) continue;
    const std::string& name = choices.Names[static_cast<size_t>(i)];
    const TVersionSpan span = spans[static_cast<size_t>(i)];
    const std::string text = "Restoring from " + name + " ...";
    ProgressStatus = text;
    LogStatus(text);
    ui->SetStatusPanel(kRestoreStatusPanel, text);

    if (platform::text::UpperCase(ExtractFileExt(name)) == ".BPJ") {
      notRestored += SkipSet(files, "The backup set " + name +
                                        " is a project file, which holds no files; its " +
                                        std::to_string(count) + " file(s) are not restored.");
    } else {
      try {
        TRestoreArchive archive(name, job.RestoreTargetFolder, job.RestoreToOtherFolder != 0,
                                overwriteMode);
        THelper& helper = archive.Helper();
        helper.progressTotal = total > 0 ? total : 1;
        helper.progressCounter = 0;
        helper.progressSpan = span.Span;
        helper.progressBase = span.Base;
        std::vector<std::vector<std::string>> items;
        for (const auto& file : files.Files()) {
          const auto stored = StoredNameForFile(file->Path);
          if (!stored)
            archive.NotRestored("File \"" + file->Path +
                                "\" is not restored: it is not an absolute path.");
          items.push_back(stored ? std::vector<std::string>{*stored} : std::vector<std::string>{});
        }
        const bool finished = archive.ExtractItems(items, [&](size_t last) {
          ProgressPosition =
              span.Base + RestorePercent(static_cast<double>(last + 1) * span.Span, count);
        });
        overwriteMode = helper.overwriteMode;  // "Remember my choice" holds for the next sets
        if (!finished) return TRestoreOutcome::Cancelled;
        notRestored += archive.FailedCount();
      } catch (const EZipCancelled&) {
        return TRestoreOutcome::Cancelled;
      } catch (const std::exception& e) {
        notRestored +=
            SkipSet(files, "The backup set " + name + " cannot be opened: " + e.what() + "; its " +
                               std::to_string(count) + " file(s) are not restored.");
      }
    }
    ProgressPosition = span.Base + span.Span;
  }

  ProgressPosition = 100;
  if (notRestored > 0) {
    ReportRestoreIncomplete(notRestored);
    return TRestoreOutcome::Incomplete;
  }
  ui->SetStatusPanel(kRestoreStatusPanel, "Restoring Complete.");
  return TRestoreOutcome::Complete;
}
