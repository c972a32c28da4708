// The portable build's platform services around a registry store: the
// counting notifier, the drive-table file probe, the host process paths,
// the embedded scripts, the code page, the registry-backed open-verb
// query, an installer session the host fills, shared-object
// self-registration and failure notices on stderr, bundled as a Platform.
// Hosts adjust the services (drives, paths, code page, installer session,
// notice language) before the first call.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/memory/counting_notifier.h"
#include "platform/memory/preset_installer_session.h"
#include "platform/memory/registry_open_executable_query.h"
#include "platform/memory/stream_user_notice.h"
#include "platform/platform.h"
#include "platform/portable/code_page_text_services.h"
#include "platform/portable/drive_table_file_probe.h"
#include "platform/portable/embedded_module_resources.h"
#include "platform/portable/host_process_paths.h"
#include "platform/portable/shared_object_module_registrar.h"

namespace tolvane {

struct PortableServices {
  // registry is borrowed and must outlive the bundle.
  explicit PortableServices(RegistryStore& registry, std::uint32_t codePage = kScriptCodePage)
      : text(codePage), shell(registry), platform{registry, notifier, files,     paths,   resources,
                                                  text,     shell,    installer, modules, notice} {}
  PortableServices(const PortableServices&) = delete;
  PortableServices& operator=(const PortableServices&) = delete;

  CountingNotifier notifier;
  DriveTableFileProbe files;
  HostProcessPaths paths;
  EmbeddedModuleResources resources{paths, files};
  CodePageTextServices text;
  RegistryOpenExecutableQuery shell;
  PresetInstallerSession installer;
  SharedObjectModuleRegistrar modules{files};
  StreamUserNotice notice{stderr, stdin};
  Platform platform;
};

}  // namespace tolvane
