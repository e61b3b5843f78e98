// One archive opened by a restore run: the archive wrapper and its helper set up with the job's
// target and overwrite choice, extraction of chosen entries in few passes over the archive, and
// the permissions of the files it restored.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/archive/zip.h"

class TRunTimeProject;

class TRestoreArchive {
 public:
  // Opens the archive; throws EZipError (EZipCancelled when a volume request was cancelled).
  // `targetFolder` is used when `otherFolder` is set.
  TRestoreArchive(std::string_view path, std::string_view targetFolder, bool otherFolder,
                  std::uint8_t overwriteMode);
  TRestoreArchive(const TRestoreArchive&) = delete;
  TRestoreArchive& operator=(const TRestoreArchive&) = delete;

  THelper& Helper() { return helper_; }
  const std::vector<TZipEntry>& Entries() const { return zip_.Entries(); }
  // The snapshot of the archive's project definition; none when it has none or it cannot be
  // read (no message: the entries are restored all the same).
  std::unique_ptr<TRunTimeProject> ReadSnapshot();

  // Extracts the stored names of each item, in item order; a name extracted before is not
  // extracted again. Since each pass over the archive reads every entry header, the items of a
  // large archive are gathered into a few passes (a small one gets a pass per item);
  // `passDone` gets the index of the last item of each pass. False when the user cancelled.
  bool ExtractItems(const std::vector<std::vector<std::string>>& items,
                    const std::function<void(size_t)>& passDone);

  // Logs a file that is not restored and counts it.
  void NotRestored(std::string_view logText);
  // Entries refused, failed or not restored so far; each was logged.
  int FailedCount() const { return failed_; }

 private:
  bool ExtractPass(const std::vector<std::string>& names);
  std::optional<std::string> TargetOf(const std::string& storedName) const;

  THelper helper_;  // declared first: the archive wrapper refers to it until it goes
  TZip zip_;
  std::string baseFolder_;
  bool otherFolder_;
  std::set<std::string> extracted_;
  int failed_ = 0;
};

// The stored form of a folder path: "Z:\data\" -> "Z\data\". None unless it is an absolute
// drive path.
std::optional<std::string> StoredFolderName(std::string_view folderPath);
// The folder part of a stored name, up to and including its last backslash ("" for none).
std::string StoredFolderOf(std::string_view storedName);
