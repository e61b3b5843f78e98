// Writes the entries of one archive in the order given: workers read and compress them (see
// zip_entry_jobs.h) while this thread, the run's own, places the results, reports progress and
// failures through the helper, and writes the central directory at the end.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/engine/archive/zip_entry_jobs.h"

class THelper;
class TSliceWriter;

// A file to store. Only the definition keeps its path: a file's path is its stored name with
// the drive colon put back, which saves a copy of every path in large runs.
struct TZipSource {
  std::string stored;          // the name in the archive
  std::string definitionPath;  // the definition's own file
  bool definition = false;
  // What a listing saw of the file just before; when false the writer looks at the path.
  bool seen = false;
  std::uint64_t size = 0;
  std::int64_t mtimeSec = 0;
  std::string Path() const {
    return definition ? definitionPath : stored.substr(0, 1) + ":" + stored.substr(1);
  }
};

class TZipArchiveWriter {
 public:
  using TItemFailed = std::function<void(const std::string& source, const std::string& message)>;

  TZipArchiveWriter(TSliceWriter& out, THelper& helper, TZipCompression compression,
                    TItemFailed itemFailed);
  // Writes every source and the directory; false when the user cancelled. Throws EZipError
  // when the archive cannot be written.
  bool Write(const std::vector<const TZipSource*>& sources);

 private:
  struct TState;
  TSliceWriter& out_;
  THelper& helper_;
  TZipCompression compression_;
  TItemFailed itemFailed_;
};
