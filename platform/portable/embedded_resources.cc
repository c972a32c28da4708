#include "platform/portable/embedded_resources.h"

namespace tolvane {

// No scripts are embedded yet.
std::span<const EmbeddedResource> EmbeddedRegistryResources() { return {}; }

}  // namespace tolvane
