// A dry run's module registrar: modules load as they would, but none is
// asked to register itself; it counts those it would have asked, so that
// the report can say how many self-registrations were left out.
#pragma once

#include <cstddef>

#include "platform/module_registrar.h"

namespace tolvane::cli {

class NotRunningModuleRegistrar final : public ModuleRegistrar {
 public:
  explicit NotRunningModuleRegistrar(ModuleRegistrar& inner) : inner_(inner) {}
  bool InitializeOle() override { return inner_.InitializeOle(); }
  void UninitializeOle() override { inner_.UninitializeOle(); }
  Module LoadModule(const char16_t* path) override { return inner_.LoadModule(path); }
  bool CallRegisterServer(Module) override {
    ++count_;
    return true;
  }
  void ReleaseModule(Module module) override { inner_.ReleaseModule(module); }
  std::size_t count() const { return count_; }

 private:
  ModuleRegistrar& inner_;
  std::size_t count_ = 0;
};

}  // namespace tolvane::cli
