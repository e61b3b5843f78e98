// One file of a snapshot: its path, last-write time (packed DOS form) and the run that stored it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/engine/project/stream.h"

// What this run's folder listing saw of a file, so that neither the snapshot nor the archive
// has to look up its path again.
struct TSeenFile {
  std::uint64_t Size = 0;
  std::int64_t MtimeSec = 0;  // last write, seconds since the Unix epoch
};

// A file of a run's list: its path and, when it came from a folder listing, what that saw.
struct TListedFile {
  std::string Path;
  std::optional<TSeenFile> Seen;
};

class TRuntimeFile {
 public:
  TRuntimeFile() = default;
  TRuntimeFile(std::string path, std::int32_t fileTime, std::int32_t run)
      : Path(std::move(path)), FileTime(fileTime), Run(run) {}

  std::unique_ptr<TRuntimeFile> Clone() const;

  // Takes the file's last-write time from the disk; a missing file leaves the time as it is
  // and still succeeds. False (time unchanged) for a path that names a folder.
  bool UpdateTimeStamp();

  // Path, time, run. Load throws EStreamReadError; this entry is changed only when all three
  // were read.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;

  std::string Path;           // fixed once the entry is in a snapshot: the snapshot indexes it
  std::int32_t FileTime = 0;  // bits 31..25 year-1980 ... 4..0 seconds/2; 0 when unknown
  std::int32_t Run = 0;
  std::optional<TSeenFile> Seen;  // this run's view of the file; not stored

 private:
  // None when the path is not on disk; throws for a folder.
  std::optional<std::int32_t> GetCurrentTimeStamp() const;
};

// The packed DOS time orders as an unsigned number; years from 2044 set the top bit.
inline bool IsNewerFileTime(std::int32_t a, std::int32_t b) {
  return static_cast<std::uint32_t>(a) > static_cast<std::uint32_t>(b);
}
