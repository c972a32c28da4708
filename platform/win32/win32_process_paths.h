// Paths of the library's own file and of the host process's executable, as
// the loader reports them.
#pragma once

#include "platform/process_paths.h"

namespace tolvane {

class Win32ProcessPaths final : public ProcessPaths {
 public:
  bool OwnModulePath(Text* path) override;
  bool HostExecutablePath(Text* path) override;
};

}  // namespace tolvane
