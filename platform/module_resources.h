// Reading "REGISTRY" resources from a module file.
#pragma once

#include <cstdint>
#include <string>

#include "platform/status_codes.h"
#include "platform/text.h"

namespace tolvane {

class ModuleResources {
 public:
  virtual ~ModuleResources() = default;
  // Loads the module at modulePath as data (none of its code runs), copies
  // the bytes of its resource of type "REGISTRY" named by the integer id
  // (any language) into *bytes and releases the module. Answers 0, or the
  // platform's error number of the step that failed (module not found,
  // resource not found, ...); *bytes is then empty.
  virtual ErrorCode LoadRegistryScript(TextView modulePath, std::uint16_t id,
                                       std::string* bytes) = 0;
};

}  // namespace tolvane
