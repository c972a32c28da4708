#include "platform/portable/shared_object_module_registrar.h"

#include <dlfcn.h>

#include <cstdint>
#include <string>

namespace tolvane {

ModuleRegistrar::Module SharedObjectModuleRegistrar::LoadModule(const char16_t* path) {
  std::string hostPath;
  if (path == nullptr || !files_.ToHostPath(ViewOf(path), &hostPath)) return nullptr;
  // A path naming no slash would make dlopen search the library path.
  if (hostPath.find('/') == std::string::npos) return nullptr;
  return ::dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
}

bool SharedObjectModuleRegistrar::CallRegisterServer(Module module) {
  using RegisterServer = std::int32_t (*)();
  void* symbol = ::dlsym(module, "DllRegisterServer");
  if (symbol == nullptr) return false;
  reinterpret_cast<RegisterServer>(symbol)();
  return true;
}

void SharedObjectModuleRegistrar::ReleaseModule(Module module) { ::dlclose(module); }

}  // namespace tolvane
