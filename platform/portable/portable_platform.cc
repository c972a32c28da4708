// The process-wide platform of the portable build: the bundle a host
// installed, else a built-in one over an empty in-memory registry.
#include "platform/platform.h"
#include "platform/portable/code_page_text_services.h"
#include "platform/memory/counting_notifier.h"
#include "platform/portable/drive_table_file_probe.h"
#include "platform/portable/embedded_module_resources.h"
#include "platform/portable/host_process_paths.h"
#include "platform/memory/memory_registry_store.h"
#include "platform/memory/registry_open_executable_query.h"

namespace tolvane {
namespace {

struct BuiltInPlatform {
  MemoryRegistryStore registry;
  CountingNotifier notifier;
  DriveTableFileProbe files;
  HostProcessPaths paths;
  EmbeddedModuleResources resources{paths, files};
  CodePageTextServices text;
  RegistryOpenExecutableQuery shell{registry};
  Platform platform{registry, notifier, files, paths, resources, text, shell};
};

Platform* g_installed = nullptr;

}  // namespace

Platform& DefaultPlatform() {
  if (g_installed != nullptr) return *g_installed;
  static BuiltInPlatform builtIn;
  return builtIn.platform;
}

void SetDefaultPlatform(Platform* platform) { g_installed = platform; }

}  // namespace tolvane
