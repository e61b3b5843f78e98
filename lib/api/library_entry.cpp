// Start-up and shut-down of the shared library as the loader attaches and detaches it. Only
// the shared library holds this file: the static library of the unit tests starts on request.
#include "halvorin.h"

namespace {

__attribute__((constructor)) void HalvorinI_ProcessAttach() {
  Halvorin_UpStart();
}

__attribute__((destructor)) void HalvorinI_ProcessDetach() {
  Halvorin_DownShut();
}

}  // namespace
