// Self-registration on Windows: OLE for the calling thread, LoadLibraryExW
// with LOAD_WITH_ALTERED_SEARCH_PATH, GetProcAddress("DllRegisterServer")
// and FreeLibrary.
#pragma once

#include "platform/module_registrar.h"

namespace tolvane {

class Win32ModuleRegistrar final : public ModuleRegistrar {
 public:
  bool InitializeOle() override;
  void UninitializeOle() override;
  Module LoadModule(const char16_t* path) override;
  bool CallRegisterServer(Module module) override;
  void ReleaseModule(Module module) override;
};

}  // namespace tolvane
