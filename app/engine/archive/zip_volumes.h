// The byte slices of an archive: the archive file is the first slice, its numbered volumes
// (VolumeName) follow. The slices concatenated in order are one standard zip file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/engine/archive/zip_commit.h"
#include "platform/fs/fs.h"

class THelper;

// True when the file ends with a zip end-of-central-directory record that fits the bytes
// before it, the file starting at `offset` of the archive: the archive ends in this file.
bool EndsWithEndRecord(platform::fs::File& file, std::uint64_t offset = 0);

// Writes the archive under temporary names beside its final names; only Commit puts them in
// place (zip_commit.h). Whatever is not committed is removed when the writer goes, unless a
// commit record still names it.
class TSliceWriter {
 public:
  // volumeSize 0: one file. Finishes a replacement of the archive that a stop cut short, then
  // creates the first slice; throws EZipError. `notice` is told of every temporary file.
  TSliceWriter(std::string archivePath, std::uint64_t volumeSize, TLeftoverNotice notice = {});
  ~TSliceWriter();
  TSliceWriter(const TSliceWriter&) = delete;
  TSliceWriter& operator=(const TSliceWriter&) = delete;

  // The size of every slice but the last; only before the first write.
  void SetVolumeSize(std::uint64_t volumeSize) { volumeSize_ = volumeSize; }
  // Appends bytes, starting the next volume (asking `helper` for its name) when the current
  // one is full. False when the volume request was cancelled; throws EZipError.
  bool Write(const void* data, size_t n, THelper& helper);
  // Flushes and closes the last slice; throws EZipError when the file system reports a failed
  // write.
  void Close();
  // Puts the slices in place of the earlier archive and its volumes. Throws EZipError.
  void Commit();

  std::uint64_t Size() const { return total_; }

 private:
  struct TSlice {
    std::string finalPath;
    std::string tempPath;  // empty once renamed
  };
  void StartSlice(std::string finalPath);
  void RemoveTemporaryFiles() noexcept;

  std::string archivePath_;
  std::uint64_t volumeSize_;
  TLeftoverNotice notice_;
  std::vector<TSlice> slices_;
  platform::fs::File current_;
  std::uint64_t inCurrent_ = 0;
  std::uint64_t writtenBack_ = 0;  // of the current slice, handed to the disk so far
  std::uint64_t total_ = 0;
};

// Reads the slices of an archive as one byte range. Whether the archive is split is seen from
// its first file: without an end record at its end, volumes follow. Each volume is asked for
// (THelper::RequestVolume) only when its bytes are first needed; the last one at once, since
// the central directory lies there.
class TSliceReader {
 public:
  // Opens the archive read-only, letting others only read it; throws EZipError, EZipCancelled.
  TSliceReader(std::string archivePath, THelper& helper);
  TSliceReader(const TSliceReader&) = delete;
  TSliceReader& operator=(const TSliceReader&) = delete;

  std::uint64_t Size() const { return size_; }
  bool Split() const { return volumes_.size() > 1; }
  // The archive file's descriptor when the archive is one file (readers may share it through
  // pread); -1 for a split archive.
  int SingleFileDescriptor() const { return Split() ? -1 : volumes_[0].file.Descriptor(); }
  // Reads up to n bytes at pos, never past the end of the slice holding pos; 0 at the end.
  // Throws EZipError, EZipCancelled.
  size_t ReadAt(std::uint64_t pos, void* buffer, size_t n, THelper& helper);

 private:
  struct TVolume {
    std::string path;
    bool confirmed = false;  // chosen by the user, or the archive file itself
    std::uint64_t size = 0;
    platform::fs::File file;
    std::uint64_t lastUse = 0;
  };
  platform::fs::File& Open(size_t index, THelper& helper);
  std::string Confirm(int n, THelper& helper);
  bool EndsAt(const std::string& path, std::uint64_t offset) const;

  std::string archivePath_;
  std::uint64_t sliceSize_ = 0;  // of every slice but the last
  std::uint64_t size_ = 0;
  std::uint64_t useCounter_ = 0;
  std::vector<TVolume> volumes_;  // [0] is the archive file
};
