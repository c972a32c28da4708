// The probe library's one export.
#include "include/tolvane/tolvane_probe.h"
#include "probe/admin_check.h"
#include "probe/platform_token_layer.h"

extern "C" TOLVANE_PROBE_EXPORT int32_t TOLVANE_PROBE_CDECL TolvaneAmIAdministrator(void) {
  tolvane::probe::PlatformTokenLayer layer;
  return tolvane::probe::AmIAdministrator(layer);
}
