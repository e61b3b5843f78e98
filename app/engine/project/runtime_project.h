// A snapshot: the files a project has stored, with their times and the runs that stored them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/engine/project/runtime_file.h"
#include "app/engine/project/stream.h"

class TRunTimeProject {
 public:
  TRunTimeProject() = default;
  TRunTimeProject(TRunTimeProject&&) noexcept = default;
  TRunTimeProject& operator=(TRunTimeProject&&) noexcept = default;
  TRunTimeProject(const TRunTimeProject&) = delete;
  TRunTimeProject& operator=(const TRunTimeProject&) = delete;

  int Count() const { return static_cast<int>(files_.size()); }
  TRuntimeFile* Get(int index) const;
  const std::vector<std::unique_ptr<TRuntimeFile>>& Files() const { return files_; }

  // Appends the entry (a path may occur more than once) and returns it.
  TRuntimeFile* Add(std::unique_ptr<TRuntimeFile> file);
  // One entry per path with its current time (as its listing saw it, else from the disk) and the
  // run number; stops when cancelled.
  void AddFiles(std::vector<TListedFile> files, std::int32_t run);
  // What AddFiles then BuildChanged(stored, 1) give, without an entry for each unchanged file.
  void AddChangedFiles(std::vector<TListedFile> files, const TRunTimeProject& stored,
                       std::int32_t run);
  // Mode 0: none. Mode 1: copies of the entries whose path the stored snapshot lacks or whose
  // time differs from the stored one (an older copy put back is a change too).
  std::unique_ptr<TRunTimeProject> BuildChanged(const TRunTimeProject& stored, int mode) const;
  // The backup's merge of a run into the stored snapshot: a stored path takes the run's time
  // and run number; a new path is appended. A path the run holds twice keeps its newest time.
  void Merge(const TRunTimeProject& other);
  // The version merge: a known path takes the other's time and run only when they are newer;
  // a new path is appended.
  void MergeNewest(const TRunTimeProject& other);
  void CopyTo(TRunTimeProject& target) const;
  // First entry with exactly that path.
  TRuntimeFile* FindByName(std::string_view path) const;
  void Clear();

  // Reserved, count, then path, time and run of each entry. Throws EStreamWriteError.
  void SaveToStream(TStream& stream) const;
  // Appends the entries read; false when a read fails (the entries read whole stay).
  bool LoadFromStream(TStream& stream);

  std::int32_t Reserved = 0;

 private:
  std::vector<std::unique_ptr<TRuntimeFile>> files_;
  // path -> first entry; the keys are the entries' own paths, which do not change once added
  std::unordered_map<std::string_view, TRuntimeFile*> index_;
};
