#include "app/engine/restore/path_dir_pair.h"

void TPathDirPair::SetFilesState(int state, TTripperList& sets) const {
  for (const auto& file : Files.Files()) sets.SetState(file->Path, state);
}
