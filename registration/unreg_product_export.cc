// The exported UnregProduct: the core run on the process-wide platform.
#include "include/tolvane/tolvane.h"
#include "platform/platform.h"
#include "registration/unreg_product.h"

extern "C" int32_t TOLVANE_CDECL UnregProduct(const TolvaneChar* groupName,
                                              const TolvaneChar* installDir) {
  return tolvane::UnregProduct(tolvane::DefaultPlatform(),
                               reinterpret_cast<const char16_t*>(groupName),
                               reinterpret_cast<const char16_t*>(installDir));
}
