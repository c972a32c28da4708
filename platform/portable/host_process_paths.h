// Own module and host executable paths of the portable build, in the Z:
// form Wine gives host paths ("/opt/x/lib.so" is "Z:\opt\x\lib.so"). The
// library's file comes from dladdr, the executable from /proc/self/exe;
// the host may set either explicitly.
#pragma once

#include <optional>
#include <string_view>

#include "platform/process_paths.h"

namespace tolvane {

// "Z:" followed by the host path with its slashes turned into backslashes.
Text HostPathToZDrive(std::string_view hostPath);

class HostProcessPaths final : public ProcessPaths {
 public:
  bool OwnModulePath(Text* path) override;
  bool HostExecutablePath(Text* path) override;

  void SetOwnModulePath(Text path) { ownModule_ = std::move(path); }
  void SetHostExecutablePath(Text path) { hostExecutable_ = std::move(path); }

 private:
  std::optional<Text> ownModule_;
  std::optional<Text> hostExecutable_;
};

}  // namespace tolvane
