// An archive from untrusted bytes, restored as the restore run does it to another folder: its
// definition's snapshot, then every entry. Nothing may be written outside the target folder,
// and no link may be made there.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/engine/archive/zip_error.h"
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
  fuzzing::WriteFile(archivePath, data, size);
  try {
    TRestoreArchive archive(fuzzing::Win(archivePath), fuzzing::Win(root + "/out/"), true,
                            HelperOverwriteModeFor(1));
    archive.ReadSnapshot();
    std::vector<std::vector<std::string>> items;
    for (const auto& e : archive.Entries())
      if (!e.definition) items.push_back({e.storedName});
    archive.ExtractItems(items, [](size_t) {});
  } catch (const EZipError&) {
  }
  for (auto it = fsys::recursive_directory_iterator(root, ec);
       it != fsys::recursive_directory_iterator(); it.increment(ec)) {
    const fsys::path& p = it->path();
    if (fsys::is_symlink(it->symlink_status())) __builtin_trap();
    if (p == archivePath || p == root + "/out") continue;
    const std::string s = p.string();
    if (s.compare(0, root.size() + 5, root + "/out/") != 0) __builtin_trap();
  }
  return 0;
}
