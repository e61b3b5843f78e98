// The writers the device search has found so far, as the writer lists of the project dialog
// and the wizard offer them.
#pragma once

#include <vector>

#include "app/ui/project/project_config_frm.h"

std::vector<TWriterEntry> FoundWriters();
