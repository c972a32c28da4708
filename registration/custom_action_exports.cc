// The exported installer entry points: the core run on the process-wide
// platform.
#include "include/tolvane/tolvane.h"
#include "platform/platform.h"
#include "registration/custom_actions.h"

extern "C" uint32_t TOLVANE_STDCALL _RegProduct(uint32_t installer) {
  return tolvane::RegProductAction(tolvane::DefaultPlatform(), installer);
}

extern "C" uint32_t TOLVANE_STDCALL _RegKorvo(uint32_t installer) {
  return tolvane::RegKorvoAction(tolvane::DefaultPlatform(), installer);
}

extern "C" int32_t TOLVANE_CDECL RegProductIS(const TolvaneChar* directory) {
  return tolvane::RegProductIS(tolvane::DefaultPlatform(),
                               reinterpret_cast<const char16_t*>(directory));
}
