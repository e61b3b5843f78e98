// Putting a written archive in place of the earlier one of its name. A one-file archive over a
// one-file archive (or none) is one rename. Otherwise a commit record (zip_commit_record.h) is
// written first; then the earlier files are moved aside (the archive file first), the new
// slices renamed in (the archive file last) and the earlier files removed. At every moment
// the earlier or the new archive is whole, under its own names or those the record gives.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Told of each file made on the way that is to go again, once it exists (`commitRecord` false),
// and of the commit record before it is written (true), so that what a run stopped meanwhile
// leaves can be found again.
using TLeftoverNotice = std::function<void(const std::string& path, bool commitRecord)>;

struct TWrittenSlice {
  std::string finalPath;
  std::string tempPath;  // written and flushed
};

// `slices`: the archive file first, then its volumes. Throws EZipError; the earlier archive is
// then as it was, or, when it could not be put back, the record stays and names every file.
void CommitArchive(std::string_view archivePath, const std::vector<TWrittenSlice>& slices,
                   const TLeftoverNotice& notice);

// Finishes the replacement a commit record describes, left by a run that stopped inside it:
// completes it when every new slice is there, else puts the earlier archive back; logs what it
// did. Nothing to do without a record. False when the record stays (it cannot be read, or its
// files cannot be moved now).
bool FinishInterruptedCommit(std::string_view recordPath);
