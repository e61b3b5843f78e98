// A DVD-Video IFO or BUP file from untrusted bytes, taken into a UDF tree item as the builder
// takes it (its content read into memory) and patched: the title table with a title set's
// address, and the header's last sectors. The first four bytes of the input are the address.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "halvorin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  std::uint32_t address;
  std::memcpy(&address, data, 4);
  static const std::string path = fuzzing::ScratchFolder() + "/VIDEO_TS.IFO";
  fuzzing::WriteFile(path, data + 4, size - 4);
  auto items = std::make_unique<HALVORIN_UDF_TREE_ITEM[]>(2);
  std::memset(items.get(), 0, 2 * sizeof(HALVORIN_UDF_TREE_ITEM));
  if (Halvorin_UDF_FormatTreeItemAsDirectory(&items[0], 1, "VIDEO_TS", nullptr) != 0) return 0;
  if (Halvorin_UDF_FormatTreeItemAsFile(&items[1], 2, "VIDEO_TS.IFO", fuzzing::Win(path).c_str(),
                                        &items[0]) == 0) {
    Halvorin_UDF_PatchIfoTable(&items[1], address);
    Halvorin_UDF_PatchIfoHeader(&items[1], address, address + 1);
  }
  Halvorin_UDF_CleanUp(items.get(), 2);
  return 0;
}
