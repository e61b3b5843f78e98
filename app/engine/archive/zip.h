// One zip archive (".qvp"): written from the files added to it (deflate or store, traditional
// PKWARE encryption, byte-slice volumes) on a pool of workers, or read for listing and
// extraction (on workers when the archive is one plain file, else through libarchive). Every
// event goes to the attached THelper, on the calling thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/engine/archive/zip_commit.h"
#include "app/engine/archive/zip_error.h"
#include "app/engine/archive/zip_helper.h"

struct TZipEntry {
  std::string storedName;  // folders separated by '\'
  std::uint64_t size = 0;
  std::int64_t mtimeSec = 0;  // Unix time, UTC
  std::int32_t mtimeNsec = 0;
  bool encrypted = false;
  bool definition = false;  // the archive's first entry, named "$PRJDEF$.QVP"
};

// The project's archive options in the library's terms.
int DeflateLevelFor(int compressionLevel);        // normal 6, maximum 9, fast 3, super fast 1
std::uint64_t VolumeSizeFor(int splitSizeIndex);  // 0 for an index out of the table
std::uint8_t HelperOverwriteModeFor(int overwriteMode);  // 0 -> 1, 1 -> 2, 2 -> 4

class TZip {
 public:
  TZip();  // empties ZipErrorText
  ~TZip();
  TZip(const TZip&) = delete;
  TZip& operator=(const TZip&) = delete;

  // Starts a new archive at the path. It is written under a temporary name beside it and put
  // in place only when Execute completes; until then an existing archive stays as it is.
  // `notice` is told of each file made on the way that is to go again (zip_commit.h).
  void CreateForWrite(std::string_view path, TLeftoverNotice notice = {});
  // Opens an existing archive read-only, letting others only read it, and loads its directory.
  // Throws EZipError (EZipCancelled when a volume request is cancelled).
  void OpenForExtract(std::string_view path);
  // Routes every event to the helper (not owned) and copies the write mode into it.
  void AttachHelper(THelper* helper);
  void SetOverwriteMode(std::uint8_t mode);
  bool WriteMode() const;

  // Write settings; they apply to the whole archive when Execute writes it.
  void SetCompression(bool compress, int compressionLevel);
  void SetPassword(bool usePassword, std::string_view password);  // also tried first on reading
  void SetVolumeSize(std::uint64_t bytes);                        // 0: one file

  // The project-definition file, stored first as "$PRJDEF$.QVP".
  void AddDefinition(std::string_view path);
  // A file by its full path, stored under it without the drive colon; a file of the same stored
  // name added before is replaced.
  void AddFile(std::string_view path);
  // The same for a file a listing has just seen, with the size and last write it saw: the
  // archive then takes them instead of looking at the path again.
  void AddFile(std::string_view path, std::uint64_t size, std::int64_t mtimeSec);

  // Write mode: writes the archive and puts it in place. Read mode: extracts every entry.
  // False when the user cancelled (the previous archive, or the existing file, then stays);
  // throws EZipError when the archive cannot be written or read. Entries that fail are
  // reported through THelper::ItemFailure and listed by FailedItems.
  bool Execute();

  // Read mode. Every file entry, in archive order.
  const std::vector<TZipEntry>& Entries() const;
  // The definition entry's bytes; std::nullopt when the archive has none. Throws EZipError
  // (EZipCancelled when a volume request is cancelled).
  std::optional<std::vector<std::uint8_t>> ReadDefinition();
  // Base folder for restoring elsewhere and for the definition file.
  void SetBaseFolder(std::string_view folder);
  // Extracts the entries of these stored names (compared exactly; '/' read as '\').
  bool Extract(const std::vector<std::string>& storedNames);
  // The permissions each restored file is to have, by target path, given to the files as they
  // are written where the archive allows it (the caller still checks them); null for none.
  // Kept by reference until changed.
  void SetRestoredModes(const std::unordered_map<std::string, std::uint32_t>* modes);

  // Entries that failed in the last Execute or Extract: source paths when writing, stored
  // names when reading. A written archive holds no trustworthy copy of them.
  const std::vector<std::string>& FailedItems() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};
