// One entry of an archive restored by a worker: its data read straight from the archive file,
// decrypted and inflated, and written under a temporary name beside its target. The caller
// puts it in place (PutInPlace) when its turn comes, so that a cancel leaves the later files
// as they were; a temporary file not put in place goes with the job.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "app/engine/archive/work_pool.h"
#include "app/engine/archive/zip_crypt.h"
#include "app/engine/archive/zip_directory.h"
#include "platform/fs/fs.h"

class TZipExtractJob : public TWorkJob {
 public:
  enum class TResult {
    Done,       // whole and its CRC right, waiting under a temporary name
    Failed,     // `message` says why; the target is as it was
    Retry,      // the data did not read back as expected: the caller's own reader decides
    Cancelled,  // `stop` was raised
  };

  // Inputs, set before the job is submitted.
  size_t index = 0;    // the entry's place in the archive
  int archiveFd = -1;  // the archive file, read with pread only
  TZipDirectoryEntry entry;
  std::uint64_t archiveSize = 0;  // the entry's data offset is read from its local header
  std::string name;               // for messages
  std::string target;             // the final path
  std::string password;
  std::optional<std::uint32_t> mode;  // the permissions the restored file gets, when known
  const std::atomic<bool>* stop = nullptr;

  // Outputs.
  TResult result = TResult::Failed;
  std::string message;
  bool timeNotSet = false;

  TZipExtractJob() = default;
  ~TZipExtractJob() override;
  TZipExtractJob(const TZipExtractJob&) = delete;
  TZipExtractJob& operator=(const TZipExtractJob&) = delete;

  void Run() noexcept override;
  // After Done: renames the file over its target; false (with `message`) when that fails.
  bool PutInPlace();

 private:
  TResult Extract(platform::fs::File& out);
  TResult ExtractWhole(platform::fs::File& out, std::uint64_t at, size_t packed,
                       TZipCryptKeys* keys);
  std::string temp_;  // the finished file, until put in place
};
