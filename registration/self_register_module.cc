#include "registration/self_register_module.h"

namespace tolvane {
namespace {

// Pairs a successful OLE initialisation with its uninitialisation.
class ScopedOle {
 public:
  explicit ScopedOle(ModuleRegistrar& modules) : modules_(modules), ok_(modules.InitializeOle()) {}
  ~ScopedOle() {
    if (ok_) modules_.UninitializeOle();
  }
  ScopedOle(const ScopedOle&) = delete;
  ScopedOle& operator=(const ScopedOle&) = delete;
  bool ok() const { return ok_; }

 private:
  ModuleRegistrar& modules_;
  bool ok_;
};

// Owns one loaded module.
class ScopedModule {
 public:
  ScopedModule(ModuleRegistrar& modules, const char16_t* path)
      : modules_(modules), module_(modules.LoadModule(path)) {}
  ~ScopedModule() {
    if (module_ != nullptr) modules_.ReleaseModule(module_);
  }
  ScopedModule(const ScopedModule&) = delete;
  ScopedModule& operator=(const ScopedModule&) = delete;
  ModuleRegistrar::Module get() const { return module_; }

 private:
  ModuleRegistrar& modules_;
  ModuleRegistrar::Module module_;
};

}  // namespace

void SelfRegisterModule(Platform& platform, const char16_t* path) {
  const ScopedOle ole(platform.modules);
  if (!ole.ok() || path == nullptr) return;
  const ScopedModule module(platform.modules, path);
  if (module.get() == nullptr) return;
  platform.modules.CallRegisterServer(module.get());
}

}  // namespace tolvane
