// `tolvane probe`: asks the administrator probe library, loaded at run time
// as an installer loads it, whether the caller holds the Administrators group.
#pragma once

#include "cli/commands.h"
#include "include/tolvane/tolvane_probe.h"

namespace tolvane::cli {

// Loads the probe library from the command's own folder (on the portable
// build, where it is not there, by the loader's search), calls its export by
// name and reports the answer; always exit 0. A library that cannot be
// loaded, or lacks the export, is a tool error (exit 2).
CommandOutcome RunProbe();

// Loads the probe library as the build finds it (probe_library_portable.cc,
// probe_library_win32.cc), and answers what report makes of its export
// called name; a tool error when it cannot be loaded or lacks the export.
CommandOutcome CallProbeExport(const char* name,
                               CommandOutcome (*report)(TolvaneAmIAdministratorFn answer));

}  // namespace tolvane::cli
