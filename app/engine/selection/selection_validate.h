// "Validate...": walks the Backup page's selection as a backup run would and tries to open
// every file, so that files that cannot be read are found before the run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TProject;
class TSelectionTree;

// What the main window does around the walk; every hook is optional.
struct TValidateHooks {
  std::function<void()> ShowProgress;  // the progress window, without blocking
  std::function<void()> Pump;          // keeps the windows alive between items
  std::function<void(bool)> EnableMainWindow;
  std::function<void()> CloseProgress;                 // the job has finished
  std::function<void(const std::string&)> SetMessage;  // the label BKMsg
  // The invalid-files dialog over the files; its modal result (1 "Un-select").
  std::function<int(const std::vector<std::string>&)> AskInvalidFiles;
};

struct TValidateResult {
  bool Cancelled = false;
  int FolderCount = 0;  // collected items
  int FileCount = 0;
  std::uint64_t TotalSize = 0;
  std::vector<std::string> Files;    // every file walked
  std::vector<std::string> Invalid;  // files that could not be opened
};

TValidateResult ValidateSelection(TSelectionTree& tree, const TProject& project,
                                  const TValidateHooks& hooks);
