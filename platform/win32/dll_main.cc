// The library's entry point: it only remembers its own module handle, so
// resources are read from the library's file and never from the program
// that loaded it. No registry access and no other work happen at load.
#include <windows.h>

#include "platform/win32/own_module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    tolvane::win32::RememberOwnModule(instance);
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}
