// msi.dll is linked through an import library that names its functions by
// ordinal only (msi_ordinals_*.def), as installers expect of a custom
// action library.
#include "platform/win32/win32_installer_session.h"

#include <windows.h>

#include <msiquery.h>

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace tolvane {

ErrorCode Win32InstallerSession::GetFeatureState(InstallerHandle handle, const char16_t* feature,
                                                 std::int32_t* installed, std::int32_t* action) {
  INSTALLSTATE installedState = INSTALLSTATE_UNKNOWN;
  INSTALLSTATE actionState = INSTALLSTATE_UNKNOWN;
  const UINT status =
      ::MsiGetFeatureStateW(handle, win32::AsWide(feature), &installedState, &actionState);
  if (status != ERROR_SUCCESS) return static_cast<ErrorCode>(status);
  *installed = installedState;
  *action = actionState;
  return kErrorSuccess;
}

ErrorCode Win32InstallerSession::GetProperty(InstallerHandle handle, const char16_t* name,
                                             char16_t* buffer, std::uint32_t* units) {
  DWORD count = *units;
  const UINT status = ::MsiGetPropertyW(handle, win32::AsWide(name), win32::AsWide(buffer), &count);
  *units = count;
  return static_cast<ErrorCode>(status);
}

void Win32InstallerSession::LogInfo(InstallerHandle handle, TextView line) {
  // A record whose field 0 is the text: the installer logs it as it stands
  // (its [n] placeholders aside, which a line from here does not hold).
  const win32::UniqueMsiHandle record(::MsiCreateRecord(0));
  if (!record) return;
  const Text text(line);
  if (::MsiRecordSetStringW(record.get(), 0, win32::AsWide(text.c_str())) != ERROR_SUCCESS) return;
  ::MsiProcessMessage(handle, INSTALLMESSAGE_INFO, record.get());
}

}  // namespace tolvane
