// The project stream of a ".bpj" file and of an archive's "$PRJDEF$.QVP": read into a fresh
// project; what was read writes a stream that reads back to the same project. That stream cut
// right before one of its lists (as an older file ends) reads, with the lists before the cut;
// cut anywhere inside its fields or one of its lists it is damaged.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/engine/project/project.h"
#include "app/engine/project/stream.h"
#include "fuzz/engine_log.h"

namespace {

std::vector<std::uint8_t> Saved(const TProject& p) {
  TMemoryStream out;
  if (!p.SaveToStream(out)) __builtin_trap();
  return out.Bytes();
}

// The counts of the four lists and the snapshot.
std::vector<int> Counts(const TProject& p) {
  return {p.Files.Count(), p.Folders.Count(), p.ExcludedPatterns.Count(), p.ExcludedFolders.Count(),
          p.Snapshot.Count()};
}

// Where the stored fields end and each list and the snapshot start, then the stream's end.
std::vector<size_t> Sections(const TProject& p, size_t size) {
  std::vector<size_t> lengths;
  for (const TItems* items : {&p.Files, &p.Folders, &p.ExcludedPatterns, &p.ExcludedFolders}) {
    TMemoryStream s;
    items->SaveToStream(s);
    lengths.push_back(s.Bytes().size());
  }
  TMemoryStream snapshot;
  p.Snapshot.SaveToStream(snapshot);
  lengths.push_back(snapshot.Bytes().size());
  size_t at = size;
  for (size_t n : lengths) at -= n;
  std::vector<size_t> starts{at};
  for (size_t n : lengths) starts.push_back(at += n);
  return starts;
}

bool LoadPrefix(const std::vector<std::uint8_t>& bytes, size_t n, TProject& into) {
  TMemoryStream s(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + n));
  return into.LoadFromStream(s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::DiscardLog();
  TMemoryStream in(std::vector<std::uint8_t>(data, data + size));
  TProject first;
  first.LoadFromStream(in);
  const std::vector<std::uint8_t> once = Saved(first);
  TMemoryStream again(once);
  TProject second;
  if (!second.LoadFromStream(again)) __builtin_trap();  // a stream we wrote always reads
  if (Saved(second) != once) __builtin_trap();

  const std::vector<size_t> starts = Sections(second, once.size());
  const std::vector<int> counts = Counts(second);
  const size_t pick = size ? data[0] : 0;
  // Inside the stored fields.
  if (TProject cut; LoadPrefix(once, starts[0] - 1 - pick % starts[0], cut)) __builtin_trap();
  for (size_t k = 0; k < starts.size(); ++k) {
    TProject ended;
    if (!LoadPrefix(once, starts[k], ended)) __builtin_trap();
    std::vector<int> expected = counts;
    for (size_t l = k; l < expected.size(); ++l) expected[l] = 0;
    if (Counts(ended) != expected) __builtin_trap();
    if (k + 1 == starts.size()) break;
    // Every list holds at least its count: a cut past its first byte is inside it.
    const size_t length = starts[k + 1] - starts[k];
    if (TProject cut; LoadPrefix(once, starts[k] + 1 + pick % (length - 1), cut)) __builtin_trap();
  }
  return 0;
}
