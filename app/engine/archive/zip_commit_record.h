// The record of an archive being put in place over an earlier one, kept beside the archive
// while it happens ("job.qvp" -> "job.qvp.commit"): the new slices with their temporary names,
// the earlier files with the names they are moved aside to, and which file each is (device,
// inode and birth time, which a rename keeps), so that a replacement a stop cut short can be
// completed or undone from it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/fs.h"

struct TCommitFile {
  std::string path;   // its name in the archive
  std::string moved;  // a new slice: its temporary name; an earlier file: the name aside
  platform::fs::FileIdentity identity;
};

struct TCommitPlan {
  std::vector<TCommitFile> fresh;    // the new archive file, then its volumes
  std::vector<TCommitFile> earlier;  // the earlier archive file when there was one, its volumes
};

std::string CommitRecordPath(std::string_view archivePath);

std::string EncodeCommitRecord(const TCommitPlan& plan);
// std::nullopt unless the text is a whole record with at least one new slice.
std::optional<TCommitPlan> DecodeCommitRecord(std::string_view text);
