// "REGISTRY" resources read from a module file loaded as data: none of the
// module's code runs, and the module is released before the call returns.
#pragma once

#include "platform/module_resources.h"

namespace tolvane {

class Win32ModuleResources final : public ModuleResources {
 public:
  ErrorCode LoadRegistryScript(TextView modulePath, std::uint16_t id, std::string* bytes) override;
};

}  // namespace tolvane
