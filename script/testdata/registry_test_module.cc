// A module that exists only for its "REGISTRY" resources: the Windows tests
// of the script runner load it as data, so none of its code ever runs.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
