#include "app/engine/selection/file_search.h"

#include <algorithm>

#include "app/engine/path_routines.h"

namespace fs = platform::fs;

namespace {

// The entries of a listing; nothing for a folder that cannot be read.
std::vector<fs::DirEntry> List(const std::string& pattern) {
  try {
    return fs::ListDirectory(pattern);
  } catch (const fs::FsError&) {
    return {};
  }
}

bool IsFolder(const fs::DirEntry& entry) {
  return entry.info.type == fs::EntryType::Directory;
}

// One folder of the walk: its subfolders still to be searched.
struct TFrame {
  std::vector<std::string> subfolders;
  size_t next = 0;
};

}  // namespace

std::vector<std::string> SplitSearchMasks(std::string_view text) {
  std::vector<std::string> masks;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find_first_of(" ;", start), text.size());
    if (end > start) masks.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return masks;
}

void SearchFolder(const std::string& folder, const std::string& mask, const std::atomic<bool>& stop,
                  const TFoundFileHandler& found) {
  // Depth first with a stack of its own: a deep tree must not overrun the thread's stack.
  std::vector<TFrame> frames;
  auto enter = [&](const std::string& dir) {
    if (stop) return;
    for (const fs::DirEntry& entry : List(dir + mask)) {
      if (stop) return;
      if (!IsFolder(entry)) found(dir, entry);
    }
    TFrame frame;
    for (const fs::DirEntry& entry : List(dir + "*.*")) {
      if (stop) return;
      if (IsFolder(entry) && !entry.info.isSymlink)
        frame.subfolders.push_back(dir + entry.name + "\\");
    }
    frames.push_back(std::move(frame));
  };
  enter(AddTrailingBackslash(folder));
  while (!frames.empty() && !stop) {
    TFrame& top = frames.back();
    if (top.next == top.subfolders.size()) {
      frames.pop_back();
      continue;
    }
    const std::string next = top.subfolders[top.next++];
    enter(next);
  }
}
