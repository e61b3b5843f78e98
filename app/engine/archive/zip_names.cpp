#include "app/engine/archive/zip_names.h"

#include "platform/fs/fs.h"

namespace {

// Why a relative stored name could leave the folder it is written below; empty when it cannot.
std::string UnsafeReason(std::string_view name) {
  if (name.empty()) return "it has no name";
  if (name.front() == '\\') return "it is an absolute name";
  size_t start = 0;
  for (;;) {
    const size_t end = name.find('\\', start);
    const std::string_view part =
        name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part.empty()) return "it has an empty folder name";
    if (part == "." || part == "..") return "it names a current or parent folder";
    if (part.find(':') != std::string_view::npos) return "it holds a drive part";
    if (end == std::string_view::npos) return {};
    start = end + 1;
  }
}

TEntryTarget Refused(std::string_view name, std::string_view reason) {
  return {std::nullopt,
          "Entry \"" + std::string(name) + "\" is not restored: " + std::string(reason) + "."};
}

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::optional<std::string> StoredNameForFile(std::string_view path) {
  if (path.size() < 4 || !IsAsciiLetter(path[0]) || path[1] != ':' || path[2] != '\\')
    return std::nullopt;
  std::string stored;
  stored.reserve(path.size() - 1);
  stored += path[0];
  stored += path.substr(2);
  return stored;
}

std::string NormalizeStoredName(std::string_view rawName) {
  std::string name(rawName);
  for (char& c : name)
    if (c == '/') c = '\\';
  return name;
}

bool IsFolderEntryName(std::string_view storedName) {
  return !storedName.empty() && storedName.back() == '\\';
}

TEntryTarget OriginalPlaceTarget(std::string_view storedName) {
  if (const std::string reason = UnsafeReason(storedName); !reason.empty())
    return Refused(storedName, reason);
  if (storedName.size() < 3 || storedName[1] != '\\')
    return Refused(storedName, "it is not stored under a drive");
  std::string target;
  target += storedName[0];
  target += ':';
  target += storedName.substr(1);
  if (!platform::fs::ToPosix(target))
    return Refused(storedName,
                   "the drive " + std::string(1, storedName[0]) + ": does not exist here");
  return {target, {}};
}

TEntryTarget ElsewhereTarget(std::string_view storedName, std::string_view baseFolder) {
  if (baseFolder.empty()) return Refused(storedName, "no base folder was given");
  if (const std::string reason = UnsafeReason(storedName); !reason.empty())
    return Refused(storedName, reason);
  std::string target(baseFolder);
  if (target.back() != '\\') target += '\\';
  target += storedName;
  if (!platform::fs::ToPosix(target))
    return Refused(storedName, "the folder " + std::string(baseFolder) + " does not exist here");
  return {target, {}};
}

std::string VolumeName(std::string_view archivePath, int n) {
  const std::string folder = platform::fs::ParentFolder(archivePath);
  std::string base = platform::fs::FileNamePart(archivePath);
  if (const size_t dot = base.rfind('.'); dot != std::string::npos) base.resize(dot);
  const char* suffix = n < 10 ? ".00" : n < 100 ? ".0" : ";";
  return folder + base + suffix + std::to_string(n);
}
