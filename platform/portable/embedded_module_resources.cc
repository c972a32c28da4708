#include "platform/portable/embedded_module_resources.h"

#include "platform/portable/embedded_resources.h"

namespace tolvane {

ErrorCode EmbeddedModuleResources::LoadRegistryScript(TextView modulePath, std::uint16_t id,
                                                      std::string* bytes) {
  bytes->clear();
  Text own;
  if (!paths_.OwnModulePath(&own) || !EqualsNoCase(own, modulePath)) {
    // Loading a module as data opens the file itself, so a path with
    // nothing behind it (directory missing or not) is a file not found.
    return files_.Exists(modulePath) ? kErrorBadExeFormat : kErrorFileNotFound;
  }
  if (const auto it = extra_.find(id); it != extra_.end()) {
    *bytes = it->second;
    return kErrorSuccess;
  }
  const auto resources = EmbeddedRegistryResources();
  if (resources.empty() && extra_.empty()) return kErrorResourceTypeNotFound;
  for (const EmbeddedResource& resource : resources) {
    if (resource.id == id) {
      bytes->assign(resource.bytes);
      return kErrorSuccess;
    }
  }
  return kErrorResourceNameNotFound;
}

}  // namespace tolvane
