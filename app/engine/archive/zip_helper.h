// The event handler of one archive run: stored and restored names, progress, cancellation,
// passwords, overwrite confirmation, volume names and item failures.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/progress.h"

// The last item failure as "[" + message + "]"; emptied by TZip's constructor and at the start
// of every backup run, shown at its end.
extern TSharedText ZipErrorText;

struct TExtractDecision {
  bool extract = false;
  std::string target;   // where the entry is written when `extract` is set
  std::string refusal;  // set when the entry's name is refused (log text)
};

class THelper {
 public:
  std::vector<std::string> volumeNames;  // named while writing, chosen while reading
  bool writeMode = false;                // copied from the TZip when attached
  std::uint8_t overwriteMode = 0;        // 1 ask, 2 always overwrite, 4 always skip
  std::int32_t progressBase = 0;
  std::int32_t progressSpan = 0;
  std::int32_t progressCounter = 0;
  std::int32_t progressTotal = 1;
  bool extractDefinition = false;  // extract "$PRJDEF$.QVP" too (into the base folder)
  bool restoreElsewhere = false;   // below the base folder instead of the original places

  // An entry is about to be added: returns its stored name; moves the progress on.
  std::string AddItem(std::string_view path, bool isDefinition);
  // An entry is about to be extracted: whether, and where to.
  TExtractDecision ExtractItem(std::string_view storedName, bool isDefinition,
                               std::string_view baseFolder);
  // Per-entry progress: moves the status-bar progress bar; true when the run must stop.
  bool ArchiveItemProgress(int percent);
  // Archive and save progress, and the volume events: true when the run must stop.
  bool AbortQuery() const;
  bool RequestLastDisk() const;
  bool RequestNthDisk(int n) const;
  // The file of volume n of the archive `currentFileName`; std::nullopt when cancelled.
  std::optional<std::string> RequestVolume(int n, std::string_view currentFileName);
  // The password prompt: OK replaces `password` with the typed text and returns true.
  bool NeedPassword(std::string& password);
  // Whether to overwrite the existing file; "Remember my choice" switches the mode.
  bool ConfirmOverwrite(std::string_view existingPath);
  // Logs the failure and keeps it in ZipErrorText; the run goes on.
  void ItemFailure(std::string_view message);

 private:
  int barPosition_ = -1;  // last position sent to the status bar
};
