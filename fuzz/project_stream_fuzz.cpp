// The project stream of a ".bpj" file and of an archive's "$PRJDEF$.QVP": read into a fresh
// project; what was read writes a stream that reads back to the same project.
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
  return 0;
}
