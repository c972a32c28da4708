#include "platform/win32/win32_file_probe.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace tolvane {

bool Win32FileProbe::Exists(TextView windowsPath) {
  // A path with a NUL inside names something else than asked: refuse it.
  if (windowsPath.empty() || windowsPath.find(u'\0') != TextView::npos) return false;
  const std::wstring path = win32::WideCopy(windowsPath);
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace tolvane
