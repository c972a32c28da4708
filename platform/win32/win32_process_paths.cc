#include "platform/win32/win32_process_paths.h"

#include <windows.h>

#include <string>

#include "platform/win32/own_module.h"
#include "platform/win32/wide.h"

namespace tolvane {
namespace {

// The longest path the platform's file names allow, in units.
constexpr DWORD kMaxLongPathUnits = 32768;

// The whole file name of module (null: the process's executable); the
// buffer grows until the name fits. False when the loader cannot tell.
bool ModuleFileName(HMODULE module, Text* path) {
  path->clear();
  std::wstring buffer(MAX_PATH, L'\0');
  while (true) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = ::GetModuleFileNameW(module, buffer.data(), size);
    if (length == 0) return false;
    if (length < size) {
      *path = win32::TextOf(buffer.data(), length);
      return true;
    }
    if (size >= kMaxLongPathUnits) return false;
    buffer.resize(size * 2);
  }
}

}  // namespace

bool Win32ProcessPaths::OwnModulePath(Text* path) {
  // A null handle would name the executable instead: refuse it.
  const HMODULE own = win32::OwnModule();
  if (own == nullptr) {
    path->clear();
    return false;
  }
  return ModuleFileName(own, path);
}

bool Win32ProcessPaths::HostExecutablePath(Text* path) { return ModuleFileName(nullptr, path); }

}  // namespace tolvane
