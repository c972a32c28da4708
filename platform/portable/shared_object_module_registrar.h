// Self-registration on the portable build: the Windows path maps to a host
// file through the drive table; a file that is a shared object is loaded
// and its "DllRegisterServer" called when it exports one. Anything else
// (no file, a Windows module, any other file) does not load. There is no
// OLE to initialise.
#pragma once

#include "platform/module_registrar.h"
#include "platform/portable/drive_table_file_probe.h"

namespace tolvane {

class SharedObjectModuleRegistrar final : public ModuleRegistrar {
 public:
  // files is borrowed for its drive table.
  explicit SharedObjectModuleRegistrar(const DriveTableFileProbe& files) : files_(files) {}

  bool InitializeOle() override { return true; }
  void UninitializeOle() override {}
  Module LoadModule(const char16_t* path) override;
  bool CallRegisterServer(Module module) override;
  void ReleaseModule(Module module) override;

 private:
  const DriveTableFileProbe& files_;
};

}  // namespace tolvane
