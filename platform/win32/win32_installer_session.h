// The Windows Installer's feature-state and property queries of the running
// installation and its log (msi.dll, imported by ordinal).
#pragma once

#include "platform/installer_session.h"

namespace tolvane {

class Win32InstallerSession final : public InstallerSession {
 public:
  ErrorCode GetFeatureState(InstallerHandle handle, const char16_t* feature,
                            std::int32_t* installed, std::int32_t* action) override;
  ErrorCode GetProperty(InstallerHandle handle, const char16_t* name, char16_t* buffer,
                        std::uint32_t* units) override;
  void LogInfo(InstallerHandle handle, TextView line) override;
};

}  // namespace tolvane
