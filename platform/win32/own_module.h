// The module handle of the file that holds the library's code and resources:
// the library when it is loaded as one, the program it is linked into
// otherwise (the unit tests).
#pragma once

#include <windows.h>

namespace tolvane::win32 {

// Remembers the library's handle as the loader hands it over at process
// attach. Called once, before any export can run.
void RememberOwnModule(HMODULE module);

// The remembered handle, else the module holding this function's code.
// Null only when the loader cannot tell; the handle is not counted (nothing
// to free).
HMODULE OwnModule();

}  // namespace tolvane::win32
