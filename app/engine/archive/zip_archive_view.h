// An archive as libarchive is to read it again past an entry it could not read on from: the
// archive's bytes up to its central directory as they are, then, in the directory's place, a
// directory of only the entries still to be read. libarchive then starts at the first of them
// without reading the headers before it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/engine/archive/zip_directory.h"

struct TZipArchiveView {
  std::uint64_t directoryOffset = 0;  // where the archive's own directory starts
  std::vector<std::uint8_t> tail;     // read in its place: the records and the end records
  std::vector<size_t> indices;        // the entries it holds, as places in the directory list

  std::uint64_t Size() const { return directoryOffset + tail.size(); }
};

// The entries in the order a reader meets them: by the offset of their local headers; of
// entries that share one, the first.
std::vector<TZipDirectoryEntry> InArchiveOrder(std::vector<TZipDirectoryEntry> directory);

// A view of the entries at `indices` (ascending places in `directory`, which is in archive
// order), their records read through `read`. std::nullopt when a record cannot be read.
std::optional<TZipArchiveView> MakeZipArchiveView(const std::vector<TZipDirectoryEntry>& directory,
                                                  std::vector<size_t> indices,
                                                  const TZipByteSource& read);
