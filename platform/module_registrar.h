// What self-registration of a module needs from the platform: the
// per-thread OLE state, loading a module with the altered search path (its
// own folder is searched for the modules it depends on), calling its
// "DllRegisterServer" export and releasing it.
#pragma once

#include "platform/text.h"

namespace tolvane {

class ModuleRegistrar {
 public:
  // A loaded module; null when none.
  using Module = void*;

  virtual ~ModuleRegistrar() = default;

  // Initialises OLE for the calling thread; false when that fails (then
  // UninitializeOle must not be called). Each success is paired with one
  // UninitializeOle on the same thread.
  virtual bool InitializeOle() = 0;
  virtual void UninitializeOle() = 0;

  // Loads the module at path (a Windows path, NUL-terminated) so that its
  // code may run; null when it does not load (missing file, not a module).
  virtual Module LoadModule(const char16_t* path) = 0;

  // Calls module's "DllRegisterServer" export with no arguments and
  // ignores its status; false when the module has no such export.
  virtual bool CallRegisterServer(Module module) = 0;

  // Releases a module that LoadModule returned.
  virtual void ReleaseModule(Module module) = 0;
};

}  // namespace tolvane
