// The data of one folder node of a restore or comparison tree: the folder and copies of the
// snapshot entries of its files.
#pragma once

#include <string>
#include <string_view>

#include "app/engine/project/runtime_project.h"
#include "app/engine/selection/tripper_list.h"

class TPathDirPair {
 public:
  TPathDirPair() = default;
  explicit TPathDirPair(std::string path) : Path(std::move(path)) {}

  // Sets every file path of the folder to the state in the selection sets.
  void SetFilesState(int state, TTripperList& sets) const;
  // The file entry with exactly that path, or none.
  TRuntimeFile* FindFile(std::string_view name) const { return Files.FindByName(name); }

  std::string Path;
  TRunTimeProject Files;  // owned copies
};
