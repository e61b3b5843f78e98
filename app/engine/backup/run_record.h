// The files a backup run makes and removes again (its definition file, the temporary slices of
// its archive, the names the earlier archive is moved aside to while the new one is put in
// place), listed beside the project file as each is made ("job.bpj" -> "job.bpj.run"), so that
// the next run of the project removes what a run that was killed left and finishes an archive
// replacement it left halfway. Each file is listed with its identity (device, inode, birth
// time), so that only the very file the run made is ever removed, never another file that
// took its name later. The list is locked while its run lasts (and the project
// lock keeps one run per project); a run that ends removes its list, unless something it lists
// is still there.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/fs.h"

// The list's lines: a file made ("file", path, device, inode, birth time in nanoseconds or
// nothing) or a commit record ("commit", path). Lines of another form are passed over.
struct TRunRecordItem {
  bool commitRecord = false;
  std::string path;
  std::optional<platform::fs::FileIdentity> identity;  // of a file made
};
std::vector<TRunRecordItem> ReadRunRecord(std::string_view text);

class TRunRecord {
 public:
  // Takes over the list an earlier run of the project left: the archive replacements it names
  // are finished, then the files it made are removed, each logged; then starts this run's
  // list. A project without a file keeps none.
  explicit TRunRecord(std::string_view projectFile);
  ~TRunRecord();
  TRunRecord(const TRunRecord&) = delete;
  TRunRecord& operator=(const TRunRecord&) = delete;

  // A file just made that the run removes again; a commit record about to be written.
  void Add(const std::string& path, bool commitRecord);

 private:
  // Returns what this run's list keeps of the earlier one: everything, while a replacement it
  // names cannot be finished.
  std::vector<TRunRecordItem> FinishEarlierRun(const std::vector<TRunRecordItem>& items);
  void Keep(const TRunRecordItem& item);

  std::string path_;
  platform::fs::File list_;            // locked while the run lasts
  std::vector<TRunRecordItem> items_;  // listed by this run
};
