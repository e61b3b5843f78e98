// One entry of an archive restored by a worker: its data read straight from the archive file,
// decrypted and inflated, written under a temporary name beside its target and put in place
// only when whole and its CRC right.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "app/engine/work_pool.h"
#include "app/engine/zip_directory.h"

class TZipExtractJob : public TWorkJob {
 public:
  enum class TResult {
    Done,
    Failed,     // `message` says why; the target is as it was
    Retry,      // the data did not read back as expected: the caller's own reader decides
    Cancelled,  // `stop` was raised
  };

  // Inputs, set before the job is submitted.
  size_t index = 0;    // the entry's place in the archive
  int archiveFd = -1;  // the archive file, read with pread only
  TZipDirectoryEntry entry;
  std::uint64_t dataOffset = 0;
  std::string name;    // for messages
  std::string target;  // the final path
  std::string password;
  const std::atomic<bool>* stop = nullptr;

  // Outputs.
  TResult result = TResult::Failed;
  std::string message;
  bool timeNotSet = false;

  void Run() noexcept override;

 private:
  TResult Extract(const std::string& temp);
};
