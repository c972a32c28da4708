// The bundle of platform services the library's logic runs on. Core
// functions take a Platform by reference; the exported functions use the
// process-wide default. The bundle borrows its services: whoever builds it
// keeps them alive for as long as it is used.
#pragma once

#include "platform/assoc_notifier.h"
#include "platform/file_probe.h"
#include "platform/inert_services.h"
#include "platform/installer_session.h"
#include "platform/module_registrar.h"
#include "platform/module_resources.h"
#include "platform/open_executable_query.h"
#include "platform/process_paths.h"
#include "platform/registry_store.h"
#include "platform/text_services.h"
#include "platform/user_notice.h"

namespace tolvane {

struct Platform {
  RegistryStore& registry;
  AssocNotifier& notifier;
  FileProbe& files;
  ProcessPaths& paths;
  ModuleResources& resources;
  TextServices& text;
  OpenExecutableQuery& shell;
  // Used by the installer entry points only; a bundle that leaves them out
  // gets inert ones (no installation, nothing loads, no notice shown).
  InstallerSession& installer = InertInstallerSession();
  ModuleRegistrar& modules = InertModuleRegistrar();
  UserNotice& notice = InertUserNotice();
};

// The process-wide platform the exports use. On Windows: the system's
// registry, shell, file system and resources. On the portable build: the
// bundle the host installed with SetDefaultPlatform, else a built-in one
// over an empty in-memory registry.
Platform& DefaultPlatform();

// Installs the bundle the exports use from now on
// (null restores the built-in one). The bundle must outlive its use.
void SetDefaultPlatform(Platform* platform);

}  // namespace tolvane
