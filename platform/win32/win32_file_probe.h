// File existence through the file system's attributes: any file or directory
// whose attributes can be read exists.
#pragma once

#include "platform/file_probe.h"

namespace tolvane {

class Win32FileProbe final : public FileProbe {
 public:
  bool Exists(TextView windowsPath) override;
};

}  // namespace tolvane
