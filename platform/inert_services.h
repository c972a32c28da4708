// Services for bundles that never run an installer entry point (benchmarks,
// fuzz targets, most tests): no installation is running, no module loads
// and no notice reaches anyone. They hold no state, so one shared instance
// of each serves every bundle.
#pragma once

#include "platform/installer_session.h"
#include "platform/module_registrar.h"
#include "platform/user_notice.h"

namespace tolvane {

InstallerSession& InertInstallerSession();
ModuleRegistrar& InertModuleRegistrar();
UserNotice& InertUserNotice();

}  // namespace tolvane
