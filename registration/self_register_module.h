// Registering a module through its own code: load it and call its
// "DllRegisterServer" export, inside an OLE initialisation of the calling
// thread.
#pragma once

#include "platform/platform.h"

namespace tolvane {

// Initialises OLE (stops if that fails), loads the module at path with the
// altered search path, calls its "DllRegisterServer" when it has one,
// releases the module and uninitialises OLE. Reports nothing: a missing
// file, a module without the export or a failing registration all end the
// same way.
void SelfRegisterModule(Platform& platform, const char16_t* path);

}  // namespace tolvane
