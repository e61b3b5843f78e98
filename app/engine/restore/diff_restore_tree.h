// The Differential-Restore page's model: the backup sets compared (archives and project files,
// one column each), the tree of all their stored files, and the set each file is to be
// restored from.
#pragma once

#include <string>
#include <vector>

#include "app/engine/restore/compare_obj.h"
#include "app/engine/restore/restore_tree.h"

class TDiffRestorePage {
 public:
  // Version n: a copy of set n's snapshot, named by the set's path, plus their merge.
  TCompareObj CompareSets;
  // Rebuilt at each restore: version n holds the files to restore from set n.
  TCompareObj CompareChoices;
  // CPTV, CLV and CompareSelection. The run field of each file in a node's list is the set it
  // is restored from: 0 while no archive among the sets holds it.
  TRestoreTreeModel Tree{TRestoreTreeKind::Compare};
  // Checked files that no archive among the sets holds, found by the last BuildCompareChoices;
  // the run reports them as not restored.
  std::vector<std::string> NotRestorable;

  // AddCompareSource: each ".bpj" or ".qvp" file becomes the next set and column; a project
  // file that cannot be read shows name + " is not a valid quorva backup project file.", an
  // archive that cannot be read is logged by ReadProjectFromArchive; both are not added.
  void AddCompareSource(const std::vector<std::string>& fileNames);
  // ResetCompareExecute: no sets, no columns, an empty tree and selection.
  void ResetCompare();
  // One snapshot entry of set `version`: the file joins its folder's list unless it is there;
  // its set is the first archive that holds it.
  void BuildCompareTree(const TRuntimeFile& entry, int version);

  // The set columns 1..SetCount(): caption the set's full path.
  int SetCount() const { return CompareSets.VersionCount(); }
  const std::string& SetName(int version) const;
  // False for a project file (".bpj"): it holds no files, so it cannot be chosen.
  bool IsArchiveSet(int version) const;

 private:
  std::vector<bool> archiveSets_;
};
