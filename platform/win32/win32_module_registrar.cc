#include "platform/win32/win32_module_registrar.h"

#include <windows.h>

#include <ole2.h>

#include "platform/win32/wide.h"

namespace tolvane {

bool Win32ModuleRegistrar::InitializeOle() { return SUCCEEDED(::OleInitialize(nullptr)); }

void Win32ModuleRegistrar::UninitializeOle() { ::OleUninitialize(); }

ModuleRegistrar::Module Win32ModuleRegistrar::LoadModule(const char16_t* path) {
  return ::LoadLibraryExW(win32::AsWide(path), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool Win32ModuleRegistrar::CallRegisterServer(Module module) {
  using RegisterServer = HRESULT(STDAPICALLTYPE*)();
  const FARPROC symbol = ::GetProcAddress(static_cast<HMODULE>(module), "DllRegisterServer");
  if (symbol == nullptr) return false;
  reinterpret_cast<RegisterServer>(reinterpret_cast<void*>(symbol))();
  return true;
}

void Win32ModuleRegistrar::ReleaseModule(Module module) {
  ::FreeLibrary(static_cast<HMODULE>(module));
}

}  // namespace tolvane
