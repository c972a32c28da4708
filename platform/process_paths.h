// Where the library and its host process live, as Windows paths.
#pragma once

#include "platform/text.h"

namespace tolvane {

class ProcessPaths {
 public:
  virtual ~ProcessPaths() = default;
  // Full path of the library's own module file (the file whose resources
  // hold the registrar scripts). False when it cannot be told; the path is
  // returned whole, however long: callers check it against their buffers.
  virtual bool OwnModulePath(Text* path) = 0;
  // Full path of the host process's main executable (the program that
  // loaded the library). Same rules as above.
  virtual bool HostExecutablePath(Text* path) = 0;
};

}  // namespace tolvane
