// The file-existence test of the portable build. Windows paths map to host
// paths through a drive table: "Z:" is "/" unless the host says otherwise,
// as Wine does; other letters are set by the host. Each path component is
// matched without regard to letter case, as on the Windows file system.
#pragma once

#include <map>
#include <string>

#include "platform/file_probe.h"

namespace tolvane {

class DriveTableFileProbe final : public FileProbe {
 public:
  DriveTableFileProbe();

  // Maps drive letter (either case) to a host directory.
  void SetDrive(char16_t letter, std::string hostDirectory);
  void ClearDrives();

  // The host path for a Windows path of a mapped drive, with each existing
  // component's stored spelling; false for an unmapped drive, a relative
  // path or a component that does not exist.
  bool ToHostPath(TextView windowsPath, std::string* hostPath) const;

  bool Exists(TextView windowsPath) override;

 private:
  std::map<char16_t, std::string> drives_;
};

}  // namespace tolvane
