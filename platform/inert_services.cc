#include "platform/inert_services.h"

namespace tolvane {
namespace {

class NoInstallation final : public InstallerSession {
 public:
  ErrorCode GetFeatureState(InstallerHandle, const char16_t*, std::int32_t*,
                            std::int32_t*) override {
    return kErrorInvalidHandle;
  }
  ErrorCode GetProperty(InstallerHandle, const char16_t*, char16_t*, std::uint32_t*) override {
    return kErrorInvalidHandle;
  }
  void LogInfo(InstallerHandle, TextView) override {}
};

class NoModules final : public ModuleRegistrar {
 public:
  bool InitializeOle() override { return true; }
  void UninitializeOle() override {}
  Module LoadModule(const char16_t*) override { return nullptr; }
  bool CallRegisterServer(Module) override { return false; }
  void ReleaseModule(Module) override {}
};

class NoNotice final : public UserNotice {
 public:
  void ShowFailureMessage() override {}
};

}  // namespace

InstallerSession& InertInstallerSession() {
  static NoInstallation session;
  return session;
}

ModuleRegistrar& InertModuleRegistrar() {
  static NoModules modules;
  return modules;
}

UserNotice& InertUserNotice() {
  static NoNotice notice;
  return notice;
}

}  // namespace tolvane
