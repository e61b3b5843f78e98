#include "app/engine/restore/restore_archive.h"

#include <algorithm>
#include <exception>
#include <unordered_map>

#include "app/engine/archive/zip_names.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/project/stream.h"
#include "platform/fs/fs.h"

namespace fs = platform::fs;

namespace {

// Every pass over an archive reads all its entry headers (each with a block of data), so the
// passes of a run are few for a large archive: about this many header reads in all, yet at
// least kMinPasses for the progress shown.
constexpr size_t kHeaderReadBudget = 24000;
constexpr size_t kMinPasses = 4;

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::optional<std::string> StoredFolderName(std::string_view folderPath) {
  if (folderPath.size() < 3 || !IsAsciiLetter(folderPath[0]) || folderPath[1] != ':' ||
      folderPath[2] != '\\')
    return std::nullopt;
  std::string stored(1, folderPath[0]);
  stored += folderPath.substr(2);
  if (stored.back() != '\\') stored += '\\';
  return stored;
}

std::string StoredFolderOf(std::string_view storedName) {
  const size_t slash = storedName.rfind('\\');
  return slash == std::string_view::npos ? std::string()
                                         : std::string(storedName.substr(0, slash + 1));
}

TRestoreArchive::TRestoreArchive(std::string_view path, std::string_view targetFolder,
                                 bool otherFolder, std::uint8_t overwriteMode)
    : baseFolder_(otherFolder ? std::string(targetFolder) : std::string()),
      otherFolder_(otherFolder) {
  zip_.OpenForExtract(path);
  zip_.AttachHelper(&helper_);
  zip_.SetOverwriteMode(overwriteMode);
  zip_.SetBaseFolder(baseFolder_);
  helper_.restoreElsewhere = otherFolder;
}

std::unique_ptr<TRunTimeProject> TRestoreArchive::ReadSnapshot() {
  try {
    auto bytes = zip_.ReadDefinition();
    if (!bytes) return nullptr;
    TMemoryStream stream(std::move(*bytes));
    TProject project;
    if (!project.LoadFromStream(stream)) return nullptr;
    return std::make_unique<TRunTimeProject>(std::move(project.Snapshot));
  } catch (const std::exception&) {
    return nullptr;
  }
}

void TRestoreArchive::NotRestored(std::string_view logText) {
  helper_.ItemFailure(logText);
  ++failed_;
}

std::optional<std::string> TRestoreArchive::TargetOf(const std::string& storedName) const {
  return otherFolder_ ? ElsewhereTarget(storedName, baseFolder_).path
                      : OriginalPlaceTarget(storedName).path;
}

bool TRestoreArchive::ExtractItems(const std::vector<std::vector<std::string>>& items,
                                   const std::function<void(size_t)>& passDone) {
  const size_t entries = std::max<size_t>(1, Entries().size());
  const size_t passes = std::max(kMinPasses, kHeaderReadBudget / entries);
  const size_t minPass = std::max<size_t>(1, entries / passes);
  std::vector<std::string> pass;
  for (size_t i = 0; i < items.size(); ++i) {
    for (const std::string& name : items[i])
      if (extracted_.insert(name).second) pass.push_back(name);
    if (pass.size() < minPass && i + 1 < items.size()) continue;
    if (!pass.empty() && !ExtractPass(pass)) return false;
    pass.clear();
    if (passDone) passDone(i);
    if (ProgressCancelled) return false;
  }
  return true;
}

bool TRestoreArchive::ExtractPass(const std::vector<std::string>& names) {
  // The archive layer writes each file under a temporary name with the temporary file's
  // permissions; a restored file takes those of the file it replaced, or a new file's.
  struct TBefore {
    std::string target;
    std::optional<fs::FileIdentity> id;
  };
  std::vector<TBefore> before;
  before.reserve(names.size());
  for (const std::string& name : names)
    if (auto target = TargetOf(name)) before.push_back({*target, fs::Identify(*target)});
  const std::uint32_t newFileMode = fs::DefaultFileMode();
  auto modeFor = [&](const TBefore& b) {
    return b.id && b.id->regular ? b.id->mode & 0777 : newFileMode;
  };
  // The archive layer gives the files it writes itself these modes before they are put in
  // place, which leaves the check below nothing to change for them.
  std::unordered_map<std::string, std::uint32_t> modes;
  modes.reserve(before.size());
  for (const TBefore& b : before) modes.emplace(b.target, modeFor(b));
  struct TModesGuard {
    TZip& zip;
    ~TModesGuard() { zip.SetRestoredModes(nullptr); }
  } modesGuard{zip_};
  zip_.SetRestoredModes(&modes);
  auto repairModes = [&] {
    for (const TBefore& b : before) {
      const auto now = fs::Identify(b.target);
      if (!now || !now->regular) continue;
      if (b.id && b.id->device == now->device && b.id->inode == now->inode) continue;  // kept
      const std::uint32_t mode = modeFor(b);
      if (now->mode != mode) fs::SetFileMode(b.target, mode);
    }
  };
  bool complete = false;
  try {
    complete = zip_.Extract(names);
  } catch (...) {
    repairModes();
    throw;
  }
  failed_ += static_cast<int>(zip_.FailedItems().size());
  repairModes();
  return complete;
}
