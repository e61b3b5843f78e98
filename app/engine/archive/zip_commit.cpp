#include "app/engine/archive/zip_commit.h"

#include <cerrno>
#include <set>

#include "app/engine/archive/zip_commit_record.h"
#include "app/engine/archive/zip_error.h"
#include "app/engine/archive/zip_names.h"
#include "app/engine/log.h"
#include "platform/fs/fs.h"
#include "platform/shell/shell.h"

namespace fs = platform::fs;

namespace {

// Whether the name holds the file the record means.
bool Holds(const std::string& path, const TCommitFile& f) {
  const auto id = fs::Identify(path);
  return id && fs::SameFile(*id, f.identity);
}

bool EveryNewSliceThere(const TCommitPlan& plan) {
  for (const TCommitFile& f : plan.fresh)
    if (!Holds(f.moved, f) && !Holds(f.path, f)) return false;
  return true;
}

void SyncFolders(const TCommitPlan& plan) {
  std::set<std::string> folders;
  for (const auto* list : {&plan.fresh, &plan.earlier})
    for (const TCommitFile& f : *list) {
      folders.insert(fs::ParentFolder(f.path));
      folders.insert(fs::ParentFolder(f.moved));
    }
  for (const std::string& folder : folders) fs::SyncFolder(folder);
}

// The earlier files aside, then the new slices in, the archive file last; what is done already
// is passed over. False at the first rename that fails.
bool Forward(const TCommitPlan& plan) {
  for (const TCommitFile& e : plan.earlier)
    if (Holds(e.path, e) && !fs::RenameReplace(e.path, e.moved)) return false;
  for (size_t i = plan.fresh.size(); i-- > 0;) {
    const TCommitFile& f = plan.fresh[i];
    if (Holds(f.moved, f) && !fs::RenameReplace(f.moved, f.path)) return false;
  }
  return true;
}

// The new slices out of the archive's names, then the earlier files back, the archive file
// last. False when a file could not be moved.
bool Back(const TCommitPlan& plan) {
  std::set<std::string> earlierNames;
  for (const TCommitFile& e : plan.earlier) earlierNames.insert(e.path);
  bool done = true;
  for (const TCommitFile& f : plan.fresh)
    if (!earlierNames.count(f.path) && Holds(f.path, f) && !fs::DeleteFile(f.path)) done = false;
  for (size_t i = plan.earlier.size(); i-- > 0;) {
    const TCommitFile& e = plan.earlier[i];
    if (Holds(e.moved, e) && !fs::RenameReplace(e.moved, e.path)) done = false;
  }
  return done;
}

// A name reserved aside that no file was moved to.
bool IsEmptyPlace(const std::string& path) {
  const auto info = fs::StatBasic(path);
  const auto id = fs::Identify(path);
  return info && id && id->regular && info->size == 0;
}

// After Forward: the earlier files go. After Back: the names reserved aside, and (`slices`) the
// new slices. False when one of them stays.
bool RemoveMoved(const TCommitPlan& plan, bool forward, bool slices) {
  bool removed = true;
  for (const TCommitFile& e : plan.earlier) {
    if (Holds(e.moved, e)) {
      if (forward) removed &= fs::DeleteFile(e.moved);
    } else if (IsEmptyPlace(e.moved)) {
      removed &= fs::DeleteFile(e.moved);
    }
  }
  if (slices)
    for (const TCommitFile& f : plan.fresh)
      if (Holds(f.moved, f)) removed &= fs::DeleteFile(f.moved);
  return removed;
}

// The replacement is over once nothing it moved is left aside: then its record goes. False
// when the record stays.
bool Close(const std::string& record, const TCommitPlan& plan, bool forward, bool slices) {
  SyncFolders(plan);
  if (!RemoveMoved(plan, forward, slices)) return false;
  const bool gone = fs::DeleteFile(record);
  fs::SyncFolder(fs::ParentFolder(record));
  return gone;
}

// The record under a temporary name first, so that it is whole whenever it is there.
void WriteRecord(const std::string& record, const TCommitPlan& plan,
                 const TLeftoverNotice& notice) {
  const std::string text = EncodeCommitRecord(plan);
  fs::File out = platform::shell::CreateTempFile(fs::ParentFolder(record), "QVJ");
  const std::string temp = out.Path();
  if (notice) notice(temp, false);
  try {
    out.Write(text.data(), text.size());
    out.Flush();
    out.Close();
    if (!fs::RenameReplace(temp, record))
      throw fs::FsError("cannot rename " + temp + " to " + record, errno);
  } catch (...) {
    out = fs::File();
    fs::DeleteFile(temp);
    throw;
  }
}

}  // namespace

void CommitArchive(std::string_view archivePath, const std::vector<TWrittenSlice>& slices,
                   const TLeftoverNotice& notice) {
  const std::string archive(archivePath);
  const std::string cannot = "Cannot put the archive " + archive + " in place: ";
  // The earlier archive: its file, and the volumes beside it (of this archive, or left over).
  std::vector<std::string> earlier;
  if (fs::Identify(archive)) earlier.push_back(archive);
  bool volumes = false;
  for (int n = 1; n < kMaxVolumes; ++n) {
    std::string name = VolumeName(archive, n);
    const auto id = fs::Identify(name);
    if (!id || !id->regular) break;
    earlier.push_back(std::move(name));
    volumes = true;
  }
  if (slices.size() == 1 && !volumes) {
    if (!fs::RenameReplace(slices[0].tempPath, archive))
      throw EZipError(cannot + "renaming " + slices[0].tempPath + " to it failed.");
    fs::SyncFolder(fs::ParentFolder(archive));
    return;
  }

  const std::string record = CommitRecordPath(archive);
  if (fs::Identify(record))
    throw EZipError(cannot + "the record " + record + " of an earlier replacement is there.");
  TCommitPlan plan;
  for (const TWrittenSlice& s : slices) {
    const auto id = fs::Identify(s.tempPath);
    if (!id) throw EZipError(cannot + "its part " + s.tempPath + " is gone.");
    plan.fresh.push_back({s.finalPath, s.tempPath, *id});
  }
  try {
    for (const std::string& name : earlier) {
      const auto id = fs::Identify(name);
      if (!id) continue;
      const std::string aside = platform::shell::CreateTempFileName(fs::ParentFolder(name), "QVO");
      plan.earlier.push_back({name, aside, *id});
      if (notice) notice(aside, false);
    }
    if (notice) notice(record, true);
    WriteRecord(record, plan, notice);
    fs::SyncFolder(fs::ParentFolder(record));
  } catch (const fs::FsError& e) {
    RemoveMoved(plan, false, false);
    throw EZipError(cannot + e.what());
  }

  if (!Forward(plan)) {
    if (!Back(plan))
      throw EZipError(
          cannot +
          "a file could not be renamed, and the earlier archive cannot be put back either; " +
          record + " names where their files are.");
    Close(record, plan, false, false);  // what stays, the next run finishes
    throw EZipError(cannot + "a file could not be renamed; the earlier archive is kept.");
  }
  if (!Close(record, plan, true, false))
    LogError("The earlier archive " + archive + ", moved aside, cannot be removed; " + record +
             " names its files, and the next run removes them.");
}

bool FinishInterruptedCommit(std::string_view recordPath) {
  const std::string record(recordPath);
  std::vector<std::uint8_t> bytes;
  try {
    bytes = fs::ReadWholeFile(record);
  } catch (const fs::FsError& e) {
    if (e.error() == ENOENT) return true;
    LogError("The record " + record + " of an archive replacement cannot be read: " + e.what());
    return false;
  }
  const auto plan = DecodeCommitRecord(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  if (!plan) {
    LogError("The record " + record +
             " of an archive replacement is damaged; it is left as it is.");
    return false;
  }
  const std::string stopped =
      "The replacement of the archive " + plan->fresh.front().path + " was not finished: ";
  const bool forward = EveryNewSliceThere(*plan) && Forward(*plan);
  if (!forward && !Back(*plan)) {
    LogError(stopped + "its files cannot be moved now; " + record + " names where they are.");
    return false;
  }
  LogStatus(stopped + (forward ? "the new archive is now in place."
                               : "the earlier archive is back in place."));
  if (Close(record, *plan, forward, true)) return true;
  LogError("Files that " + record + " names cannot be removed; it is kept.");
  return false;
}
