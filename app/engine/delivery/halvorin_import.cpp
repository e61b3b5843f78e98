#include "app/engine/delivery/halvorin_import.h"

#include "platform/debug/debug.h"

void FinalizeHalvorinImport() {
  platform::debug::OutputDebugString("Halvorin.Finalization:********************** ");
}
