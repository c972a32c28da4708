#include "tests/installer_fakes.h"

#include <algorithm>
#include <cstdint>

namespace tolvane::testing {

ErrorCode RecordingInstaller::GetFeatureState(InstallerHandle handle, const char16_t* feature,
                                              std::int32_t* installed, std::int32_t* action) {
  log.push_back("state " + Utf16ToUtf8(ViewOf(feature)));
  return preset.GetFeatureState(handle, feature, installed, action);
}

ErrorCode RecordingInstaller::GetProperty(InstallerHandle handle, const char16_t* name,
                                          char16_t* buffer, std::uint32_t* units) {
  log.push_back("property " + Utf16ToUtf8(ViewOf(name)));
  return preset.GetProperty(handle, name, buffer, units);
}

bool RecordingModules::InitializeOle() {
  log.push_back("ole");
  return !oleFails;
}

void RecordingModules::UninitializeOle() { log.push_back("unole"); }

ModuleRegistrar::Module RecordingModules::LoadModule(const char16_t* path) {
  log.push_back("load " + Utf16ToUtf8(ViewOf(path)));
  if (std::find(loadable.begin(), loadable.end(), ViewOf(path)) == loadable.end()) return nullptr;
  modules_.push_back(Text(ViewOf(path)));
  ++loaded;
  return reinterpret_cast<Module>(static_cast<std::uintptr_t>(modules_.size()));
}

bool RecordingModules::CallRegisterServer(Module module) {
  const Text& path = modules_.at(reinterpret_cast<std::uintptr_t>(module) - 1);
  const bool has = std::find(withExport.begin(), withExport.end(), path) != withExport.end();
  if (has) log.push_back("call");
  return has;
}

void RecordingModules::ReleaseModule(Module) {
  log.push_back("free");
  --loaded;
}

}  // namespace tolvane::testing
