// "REGISTRY" resources on the portable build, where no module file has a
// resource section. The library's own module path serves the scripts
// embedded at build time (and any a test adds); any other path fails as
// loading it as data does on Windows: file not found when nothing is there,
// bad executable format when a file is.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/file_probe.h"
#include "platform/module_resources.h"
#include "platform/process_paths.h"

namespace tolvane {

class EmbeddedModuleResources final : public ModuleResources {
 public:
  EmbeddedModuleResources(ProcessPaths& paths, FileProbe& files) : paths_(paths), files_(files) {}

  // Serves bytes as resource id of the own module, in place of an embedded
  // script of the same id.
  void AddScript(std::uint16_t id, std::string bytes) { extra_[id] = std::move(bytes); }

  ErrorCode LoadRegistryScript(TextView modulePath, std::uint16_t id, std::string* bytes) override;

 private:
  ProcessPaths& paths_;
  FileProbe& files_;
  std::map<std::uint16_t, std::string> extra_;
};

}  // namespace tolvane
