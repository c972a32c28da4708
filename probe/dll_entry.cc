// The probe library's entry point on Windows. It is the image's own entry
// (the C runtime's start-up is not linked in): the probe keeps no state and
// needs no runtime set-up, so loading, unloading and thread start and end
// do nothing at all.
#include <windows.h>

extern "C" BOOL WINAPI TolvaneProbeEntry(HINSTANCE /*instance*/, DWORD /*reason*/,
                                         LPVOID /*reserved*/) {
  return TRUE;
}
