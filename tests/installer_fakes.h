// Fakes of the installer entry points' services for unit tests: an
// installer session that logs every query, a module registrar that logs
// every step and counts loaded modules, and a notice that counts.
#pragma once

#include <string>
#include <vector>

#include "platform/memory/preset_installer_session.h"
#include "platform/module_registrar.h"
#include "platform/user_notice.h"

namespace tolvane::testing {

// Answers from a preset session; logs "state NAME" and "property NAME".
class RecordingInstaller final : public InstallerSession {
 public:
  ErrorCode GetFeatureState(InstallerHandle handle, const char16_t* feature,
                            std::int32_t* installed, std::int32_t* action) override;
  ErrorCode GetProperty(InstallerHandle handle, const char16_t* name, char16_t* buffer,
                        std::uint32_t* units) override;
  // Goes to preset's log, not to log.
  void LogInfo(InstallerHandle handle, TextView line) override { preset.LogInfo(handle, line); }

  PresetInstallerSession preset;
  std::vector<std::string> log;
};

// Logs "ole", "load PATH", "call", "free", "unole". Modules load only from
// the paths in loadable; those in withExport have DllRegisterServer.
class RecordingModules final : public ModuleRegistrar {
 public:
  bool InitializeOle() override;
  void UninitializeOle() override;
  Module LoadModule(const char16_t* path) override;
  bool CallRegisterServer(Module module) override;
  void ReleaseModule(Module module) override;

  bool oleFails = false;
  std::vector<Text> loadable;
  std::vector<Text> withExport;
  std::vector<std::string> log;
  int loaded = 0;  // modules loaded and not yet freed

 private:
  std::vector<Text> modules_;  // a module is its index + 1
};

class CountingNotice final : public UserNotice {
 public:
  void ShowFailureMessage() override { ++count; }
  int count = 0;
};

}  // namespace tolvane::testing
