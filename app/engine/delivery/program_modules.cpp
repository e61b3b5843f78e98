#include "app/engine/delivery/program_modules.h"

#include "app/engine/delivery/burn_callback.h"
#include "app/engine/delivery/halvorin_import.h"

TProgramModules::TProgramModules(std::string_view programPath) {
  InitializeSamplesTools(programPath);
}

// In the reverse order of their start: the burn callback's module uses the library's.
TProgramModules::~TProgramModules() {
  FinalizeSamplesTools();
  FinalizeHalvorinImport();
}
