// The file-system existence test used before a module's script runs.
#pragma once

#include "platform/text.h"

namespace tolvane {

class FileProbe {
 public:
  virtual ~FileProbe() = default;
  // True when a file or directory exists at the Windows path (any
  // attributes). Names match without regard to letter case, as on the
  // target file system. Never creates or changes anything.
  virtual bool Exists(TextView windowsPath) = 0;
};

}  // namespace tolvane
