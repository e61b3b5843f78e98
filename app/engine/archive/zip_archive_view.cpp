#include "app/engine/archive/zip_archive_view.h"

#include <algorithm>

#include "app/engine/archive/zip_records.h"

std::vector<TZipDirectoryEntry> InArchiveOrder(std::vector<TZipDirectoryEntry> directory) {
  std::stable_sort(directory.begin(), directory.end(),
                   [](const TZipDirectoryEntry& a, const TZipDirectoryEntry& b) {
                     return a.localOffset < b.localOffset;
                   });
  directory.erase(std::unique(directory.begin(), directory.end(),
                              [](const TZipDirectoryEntry& a, const TZipDirectoryEntry& b) {
                                return a.localOffset == b.localOffset;
                              }),
                  directory.end());
  return directory;
}

std::optional<TZipArchiveView> MakeZipArchiveView(const std::vector<TZipDirectoryEntry>& directory,
                                                  std::vector<size_t> indices,
                                                  const TZipByteSource& read) {
  if (directory.empty()) return std::nullopt;
  TZipArchiveView view;
  view.directoryOffset = directory.front().recordOffset;
  for (const TZipDirectoryEntry& e : directory)
    view.directoryOffset = std::min(view.directoryOffset, e.recordOffset);
  for (const size_t i : indices) {
    if (i >= directory.size()) return std::nullopt;
    const TZipDirectoryEntry& e = directory[i];
    const size_t at = view.tail.size();
    view.tail.resize(at + e.recordSize);
    if (!read(e.recordOffset, view.tail.data() + at, e.recordSize)) return std::nullopt;
  }
  const std::uint64_t recordsSize = view.tail.size();
  AppendEndRecords(view.tail, indices.size(), view.directoryOffset, recordsSize);
  view.indices = std::move(indices);
  return view;
}
