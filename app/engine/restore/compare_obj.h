// The archive versions of one project for the differential restore: one snapshot per version
// and their merge, in which each path keeps its newest time and the run that gave it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/project/runtime_project.h"

class TCompareObj {
 public:
  // A copy of the snapshot becomes the next version and is merged (newest time wins);
  // ignored without a snapshot.
  void AddVersion(const TRunTimeProject* snapshot, std::string name);
  // Appends an entry (time 0, run 0) to version 1..count; ignored for another number.
  void AddFileToVersion(int version, std::string path);
  // The entry of version 1..count with that path; none for another number.
  TRuntimeFile* FindInVersion(std::string_view path, int version) const;
  void Clear();

  int VersionCount() const { return static_cast<int>(Versions.size()); }

  TRunTimeProject Merged;
  std::vector<std::unique_ptr<TRunTimeProject>> Versions;
  std::vector<std::string> Names;  // parallel to Versions: the archive path of each

 private:
  TRunTimeProject* Version(int version) const;
};
