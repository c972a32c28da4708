// `tolvane probe`: asks the administrator probe library, loaded at run time
// as an installer loads it, whether the caller holds the Administrators group.
#pragma once

#include "cli/commands.h"

namespace tolvane::cli {

// Loads the probe library from the command's own folder (on the portable
// build, where it is not there, by the loader's search), calls its export by
// name and reports the answer; always exit 0. A library that cannot be
// loaded, or lacks the export, is a tool error (exit 2).
CommandOutcome RunProbe();

}  // namespace tolvane::cli
