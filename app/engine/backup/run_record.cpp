#include "app/engine/backup/run_record.h"

#include <cerrno>
#include <cstdio>

#include "app/engine/archive/zip_commit.h"
#include "app/engine/log.h"
#include "app/engine/record_lines.h"

namespace fs = platform::fs;

namespace {

bool Same(const std::optional<fs::FileIdentity>& now, const fs::FileIdentity& listed) {
  return now && now->regular && fs::SameFile(*now, listed);
}

// The list, locked: the one an earlier run left, or a new one. Throws FsError (EWOULDBLOCK
// while another run holds it).
fs::File OpenList(const std::string& path) {
  for (int attempt = 0;; ++attempt) {
    try {
      return fs::File(path, fs::OpenMode::ReadWrite, fs::Share::Exclusive);
    } catch (const fs::FsError& e) {
      if (e.error() != ENOENT) throw;
    }
    try {
      return fs::File(path, fs::OpenMode::CreateNew, fs::Share::Exclusive);
    } catch (const fs::FsError& e) {
      if (e.error() != EEXIST || attempt > 0) throw;  // made by a run that started meanwhile
    }
  }
}

std::string ReadAll(fs::File& file) {
  std::string text;
  char chunk[16384];
  for (size_t n; (n = file.Read(chunk, sizeof chunk)) > 0;) text.append(chunk, n);
  return text;
}

}  // namespace

std::vector<TRunRecordItem> ReadRunRecord(std::string_view text) {
  std::vector<TRunRecordItem> items;
  for (const auto& line : ReadRecordLines(text)) {
    if (line.size() == 2 && line[0] == "commit" && !line[1].empty()) {
      items.push_back({true, line[1], std::nullopt});
      continue;
    }
    const auto identity = ReadIdentityFields(line, 2);
    if (line.size() != 5 || line[0] != "file" || line[1].empty() || !identity) continue;
    items.push_back({false, line[1], identity});
  }
  return items;
}

TRunRecord::TRunRecord(std::string_view projectFile) {
  if (projectFile.empty()) return;
  path_ = std::string(projectFile) + ".run";
  std::vector<TRunRecordItem> kept;
  try {
    list_ = OpenList(path_);
    kept = FinishEarlierRun(ReadRunRecord(ReadAll(list_)));
    list_.Truncate(0);
    list_.Seek(0, SEEK_SET);
  } catch (const fs::FsError& e) {
    LogError(e.error() == EWOULDBLOCK
                 ? "The list " + path_ + " is held by another run of the project; its files stay."
                 : "The list of this run's temporary files cannot be kept: " +
                       std::string(e.what()));
    list_ = fs::File();
    return;
  }
  for (const TRunRecordItem& item : kept) Keep(item);  // for the next run to try again
}

TRunRecord::~TRunRecord() {
  if (!list_.IsOpen()) return;
  // What is still there (a file that could not be removed, a replacement not finished) stays
  // listed for the next run.
  std::vector<TRunRecordItem> left;
  for (const TRunRecordItem& item : items_)
    if (item.commitRecord ? fs::Identify(item.path).has_value()
                          : Same(fs::Identify(item.path), *item.identity))
      left.push_back(item);
  if (left.empty()) {
    fs::DeleteFile(path_);
    return;
  }
  try {
    list_.Truncate(0);
    list_.Seek(0, SEEK_SET);
    items_.clear();
    for (const TRunRecordItem& item : left) Keep(item);
  } catch (const fs::FsError& e) {
    LogError("The list " + path_ + " cannot be kept: " + e.what());
  }
}

std::vector<TRunRecordItem> TRunRecord::FinishEarlierRun(const std::vector<TRunRecordItem>& items) {
  // The replacements first: the files they name are not to be removed before. While one
  // cannot be finished, nothing of that run goes.
  bool finished = true;
  for (const TRunRecordItem& item : items)
    if (item.commitRecord && !FinishInterruptedCommit(item.path)) finished = false;
  if (!finished) return items;
  for (const TRunRecordItem& item : items) {
    if (item.commitRecord) continue;
    if (!Same(fs::Identify(item.path), *item.identity))
      continue;  // gone, put in place, or another file now
    if (fs::DeleteFile(item.path))
      LogStatus("Removed " + item.path + ", left by an earlier run of this project.");
    else
      LogError("Cannot remove " + item.path + ", left by an earlier run of this project.");
  }
  return {};
}

void TRunRecord::Add(const std::string& path, bool commitRecord) {
  if (commitRecord)
    Keep({true, path, std::nullopt});
  else if (const auto id = fs::Identify(path))
    Keep({false, path, id});
}

void TRunRecord::Keep(const TRunRecordItem& item) {
  if (!list_.IsOpen()) return;
  items_.push_back(item);
  std::vector<std::string> fields = {item.commitRecord ? "commit" : "file", item.path};
  if (!item.commitRecord) AppendIdentityFields(fields, *item.identity);
  const std::string line = RecordLine(fields);
  try {
    list_.Write(line.data(), line.size());
    list_.Flush();
  } catch (const fs::FsError& e) {
    LogError("The list of this run's temporary files cannot be kept: " + std::string(e.what()));
  }
}
