// The platform every benchmark runs on: the in-memory registry, a counting
// notifier, a file probe that finds every module file, fixed process paths
// and the registrar scripts embedded in the library. Nothing touches the
// disk, so the numbers measure the library's own work.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/memory/counting_notifier.h"
#include "platform/memory/memory_registry_store.h"
#include "platform/memory/registry_open_executable_query.h"
#include "platform/platform.h"
#include "platform/portable/code_page_text_services.h"
#include "platform/portable/embedded_module_resources.h"
#include "platform/portable/host_process_paths.h"

namespace tolvane::bench {

// The installation directory every registration benchmark uses.
inline constexpr const char16_t* kInstallDir = u"C:\\Suite\\Bin\\";

// Every path exists: each module a group names is installed.
class EveryFileExists final : public FileProbe {
 public:
  bool Exists(TextView) override { return true; }
};

struct BenchPlatform {
  BenchPlatform();

  MemoryRegistryStore registry;
  CountingNotifier notifier;
  EveryFileExists files;
  HostProcessPaths paths;
  EmbeddedModuleResources resources{paths, files};
  CodePageTextServices text;
  RegistryOpenExecutableQuery shell{registry};
  Platform platform{registry, notifier, files, paths, resources, text, shell};
};

// Runs every group of the built-in catalogue for kInstallDir; false when
// any group did not answer 0.
bool RegisterWholeSuite(Platform& platform);

// An embedded script widened to UTF-16 with the platform's code page;
// empty when the id is not embedded or the bytes do not widen.
Text WidenedEmbeddedScript(TextServices& text, std::uint16_t id);

// The ids of every embedded script, in id order.
std::vector<std::uint16_t> EmbeddedScriptIds();

}  // namespace tolvane::bench
