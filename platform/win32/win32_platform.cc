// The process-wide platform of the Windows build: the system registry, the
// shell, the file system, the library's own resources, the running
// installation, module self-registration and the failure message box. A host (a test)
// may install another bundle in its place.
#include "platform/platform.h"
#include "platform/win32/win32_assoc_notifier.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_installer_session.h"
#include "platform/win32/win32_module_registrar.h"
#include "platform/win32/win32_module_resources.h"
#include "platform/win32/win32_open_executable_query.h"
#include "platform/win32/win32_process_paths.h"
#include "platform/win32/win32_registry_store.h"
#include "platform/win32/win32_text_services.h"
#include "platform/win32/win32_user_notice.h"

namespace tolvane {
namespace {

struct SystemPlatform {
  Win32RegistryStore registry;
  Win32AssocNotifier notifier;
  Win32FileProbe files;
  Win32ProcessPaths paths;
  Win32ModuleResources resources;
  Win32TextServices text;
  Win32OpenExecutableQuery shell;
  Win32InstallerSession installer;
  Win32ModuleRegistrar modules;
  Win32UserNotice notice;
  Platform platform{registry, notifier, files,     paths,   resources,
                    text,     shell,    installer, modules, notice};
};

Platform* g_installed = nullptr;

}  // namespace

Platform& DefaultPlatform() {
  if (g_installed != nullptr) return *g_installed;
  static SystemPlatform system;
  return system.platform;
}

void SetDefaultPlatform(Platform* platform) { g_installed = platform; }

}  // namespace tolvane
