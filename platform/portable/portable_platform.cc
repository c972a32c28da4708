// The process-wide platform of the portable build: the bundle a host
// installed, else a built-in one over an empty in-memory registry.
#include "platform/memory/memory_registry_store.h"
#include "platform/platform.h"
#include "platform/portable/portable_services.h"

namespace tolvane {
namespace {

struct BuiltInPlatform {
  MemoryRegistryStore registry;
  PortableServices services{registry};
};

Platform* g_installed = nullptr;

}  // namespace

Platform& DefaultPlatform() {
  if (g_installed != nullptr) return *g_installed;
  static BuiltInPlatform builtIn;
  return builtIn.services.platform;
}

void SetDefaultPlatform(Platform* platform) { g_installed = platform; }

}  // namespace tolvane
