// An archive from untrusted bytes, restored as the restore run does it to another folder: its
// definition's snapshot, then every entry. An input that starts with 'S' (no archive does) is
// the rest split into two volumes, read as a split archive is. Nothing may be written outside
// the target folder, no link may be made there, and every file written there must lie at the
// target of one of the archive's entries: a damaged entry leaves no temporary file behind.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/engine/archive/zip_error.h"
#include "app/engine/archive/zip_names.h"
#include "app/engine/project/runtime_project.h"
#include "app/engine/restore/restore_archive.h"
#include "fuzz/engine_log.h"
#include "fuzz/fuzz_support.h"

namespace fsys = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool once = [] {
    fuzzing::UseScratchHome();
    fuzzing::DiscardLog();
    return true;
  }();
  (void)once;
  const std::string root = fuzzing::ScratchFolder() + "/zip";
  std::error_code ec;
  fsys::remove_all(root, ec);
  fsys::create_directories(root + "/out");
  const std::string archivePath = root + "/archive.qvp";
  const std::string volumePath = root + "/archive.001";
  if (size > 0 && data[0] == 'S') {
    const size_t rest = size - 1;
    const size_t first = (rest + 1) / 2;  // a volume holds no more than the archive file
    fuzzing::WriteFile(archivePath, data + 1, first);
    fuzzing::WriteFile(volumePath, data + 1 + first, rest - first);
  } else {
    fuzzing::WriteFile(archivePath, data, size);
  }
  const std::string out = fuzzing::Win(root + "/out/");
  std::set<std::string> targets;
  try {
    TRestoreArchive archive(fuzzing::Win(archivePath), out, true, HelperOverwriteModeFor(1));
    archive.ReadSnapshot();
    std::vector<std::vector<std::string>> items;
    for (const auto& e : archive.Entries()) {
      if (e.definition) continue;
      items.push_back({e.storedName});
      if (const auto target = ElsewhereTarget(e.storedName, out).path) targets.insert(*target);
    }
    archive.ExtractItems(items, [](size_t) {});
  } catch (const EZipError&) {
  }
  for (auto it = fsys::recursive_directory_iterator(root, ec);
       it != fsys::recursive_directory_iterator(); it.increment(ec)) {
    const fsys::path& p = it->path();
    if (fsys::is_symlink(it->symlink_status())) __builtin_trap();
    if (p == archivePath || p == volumePath || p == root + "/out") continue;
    const std::string s = p.string();
    if (s.compare(0, root.size() + 5, root + "/out/") != 0) __builtin_trap();
    if (fsys::is_regular_file(it->symlink_status()) && !targets.count(fuzzing::Win(s)))
      __builtin_trap();
  }
  return 0;
}
