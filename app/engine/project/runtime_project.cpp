#include "app/engine/project/runtime_project.h"

#include <unordered_set>

#include "app/engine/progress.h"
#include "platform/shell/shell.h"

TRuntimeFile* TRunTimeProject::Get(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return files_[static_cast<size_t>(index)].get();
}

TRuntimeFile* TRunTimeProject::Add(std::unique_ptr<TRuntimeFile> file) {
  if (!file) return nullptr;
  TRuntimeFile* raw = file.get();
  files_.push_back(std::move(file));
  index_.try_emplace(raw->Path, raw);
  return raw;
}

namespace {

std::int32_t DosTimeOf(const TSeenFile& seen) {
  return static_cast<std::int32_t>(platform::shell::DosTimeFromUnix(seen.MtimeSec));
}

// A listed file's entry, with its time as the listing saw it or else from the disk.
std::unique_ptr<TRuntimeFile> NewEntry(TListedFile&& listed, std::int32_t run) {
  auto file = std::make_unique<TRuntimeFile>(std::move(listed.Path), 0, run);
  if (listed.Seen) {
    file->Seen = listed.Seen;
    file->FileTime = DosTimeOf(*listed.Seen);
  } else {
    file->UpdateTimeStamp();
  }
  return file;
}

}  // namespace

void TRunTimeProject::AddFiles(std::vector<TListedFile> files, std::int32_t run) {
  files_.reserve(files_.size() + files.size());
  index_.reserve(index_.size() + files.size());
  for (TListedFile& listed : files) {
    Add(NewEntry(std::move(listed), run));
    if (ProgressCancelled) return;
  }
}

void TRunTimeProject::AddChangedFiles(std::vector<TListedFile> files, const TRunTimeProject& stored,
                                      std::int32_t run) {
  for (TListedFile& listed : files) {
    const TRuntimeFile* old = stored.FindByName(listed.Path);
    if (!old || !listed.Seen || old->FileTime != DosTimeOf(*listed.Seen)) {
      auto file = NewEntry(std::move(listed), run);
      if (!old || old->FileTime != file->FileTime) Add(std::move(file));
    }
    if (ProgressCancelled) return;
  }
}

std::unique_ptr<TRunTimeProject> TRunTimeProject::BuildChanged(const TRunTimeProject& stored,
                                                               int mode) const {
  if (mode != 1) return nullptr;
  auto changed = std::make_unique<TRunTimeProject>();
  changed->Reserved = Reserved;
  for (const auto& file : files_) {
    const TRuntimeFile* old = stored.FindByName(file->Path);
    if (!old || old->FileTime != file->FileTime) changed->Add(file->Clone());
  }
  return changed;
}

void TRunTimeProject::Merge(const TRunTimeProject& other) {
  if (&other == this) return;
  // Paths this merge has already set: a second entry of the run for one of them competes
  // with the first by time instead of replacing it.
  std::unordered_set<std::string_view> merged;  // views of the other's paths
  merged.reserve(other.files_.size());
  for (const auto& file : other.files_) {
    TRuntimeFile* mine = FindByName(file->Path);
    if (!mine) {
      Add(file->Clone());
      merged.insert(file->Path);
    } else if (merged.insert(file->Path).second ||
               IsNewerFileTime(file->FileTime, mine->FileTime)) {
      mine->FileTime = file->FileTime;
      mine->Run = file->Run;
    }
  }
}

void TRunTimeProject::MergeNewest(const TRunTimeProject& other) {
  if (&other == this) return;
  for (const auto& file : other.files_) {
    TRuntimeFile* mine = FindByName(file->Path);
    if (!mine) {
      Add(file->Clone());
    } else if (IsNewerFileTime(file->FileTime, mine->FileTime)) {
      mine->FileTime = file->FileTime;
      mine->Run = file->Run;
    }
  }
}

void TRunTimeProject::CopyTo(TRunTimeProject& target) const {
  if (&target == this) return;
  for (const auto& file : files_) target.Add(file->Clone());
}

TRuntimeFile* TRunTimeProject::FindByName(std::string_view path) const {
  const auto it = index_.find(path);
  return it == index_.end() ? nullptr : it->second;
}

void TRunTimeProject::Clear() {
  index_.clear();
  files_.clear();
}

void TRunTimeProject::SaveToStream(TStream& stream) const {
  WriteStreamInt(stream, Reserved);
  WriteStreamInt(stream, static_cast<std::int32_t>(files_.size()));
  for (const auto& file : files_) file->SaveToStream(stream);
}

bool TRunTimeProject::LoadFromStream(TStream& stream) {
  // Entries are read one at a time and nothing is reserved from the count: a damaged count
  // can cost no more than the bytes that are there, and a cut record keeps its whole entries.
  try {
    Reserved = ReadStreamInt(stream);
    const std::int32_t count = ReadStreamInt(stream);
    if (count < 0) return false;
    for (std::int32_t i = 0; i < count; ++i) {
      auto file = std::make_unique<TRuntimeFile>();
      file->LoadFromStream(stream);
      Add(std::move(file));
    }
    return true;
  } catch (const EStreamReadError&) {
    return false;
  }
}
