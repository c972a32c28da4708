// The portable build's platform services around a registry store: the
// counting notifier, the drive-table file probe, the host process paths,
// the embedded scripts, the code page and the registry-backed open-verb
// query, bundled as a Platform. Hosts adjust the services (drives, paths,
// code page) before the first call.
#pragma once

#include <cstdint>

#include "platform/memory/counting_notifier.h"
#include "platform/memory/registry_open_executable_query.h"
#include "platform/platform.h"
#include "platform/portable/code_page_text_services.h"
#include "platform/portable/drive_table_file_probe.h"
#include "platform/portable/embedded_module_resources.h"
#include "platform/portable/host_process_paths.h"

namespace tolvane {

struct PortableServices {
  // registry is borrowed and must outlive the bundle.
  explicit PortableServices(RegistryStore& registry, std::uint32_t codePage = kScriptCodePage)
      : text(codePage), shell(registry), platform{registry, notifier, files, paths,
                                                  resources,  text,     shell} {}
  PortableServices(const PortableServices&) = delete;
  PortableServices& operator=(const PortableServices&) = delete;

  CountingNotifier notifier;
  DriveTableFileProbe files;
  HostProcessPaths paths;
  EmbeddedModuleResources resources{paths, files};
  CodePageTextServices text;
  RegistryOpenExecutableQuery shell;
  Platform platform;
};

}  // namespace tolvane
