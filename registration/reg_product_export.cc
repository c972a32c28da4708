// The exported RegProduct: the core run on the process-wide platform.
#include "include/tolvane/tolvane.h"
#include "platform/platform.h"
#include "registration/reg_product.h"

extern "C" int32_t TOLVANE_CDECL RegProduct(const TolvaneChar* groupName,
                                            const TolvaneChar* installDir) {
  return tolvane::RegProduct(tolvane::DefaultPlatform(),
                             reinterpret_cast<const char16_t*>(groupName),
                             reinterpret_cast<const char16_t*>(installDir));
}
