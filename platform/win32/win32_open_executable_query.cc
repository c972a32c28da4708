#include "platform/win32/win32_open_executable_query.h"

#include <shlwapi.h>
#include <windows.h>

#include "platform/win32/wide.h"

namespace tolvane {

bool LocateOnSearchPath(TextView name, Text* fullPath) {
  fullPath->clear();
  if (name.empty() || name.size() > kMaxPathChars) return false;
  const Text terminated(name);
  wchar_t buffer[kPathBufferUnits] = {};
  const DWORD length = ::SearchPathW(nullptr, win32::AsWide(terminated.c_str()), nullptr,
                                     kPathBufferUnits, buffer, nullptr);
  if (length == 0 || length >= kPathBufferUnits) return false;
  *fullPath = win32::TextOf(buffer, length);
  return true;
}

bool Win32OpenExecutableQuery::QueryOpenExecutable(const char16_t* association, Text* executable) {
  executable->clear();
  if (IsNullOrEmpty(association)) return false;
  wchar_t buffer[kPathBufferUnits] = {};
  DWORD count = kPathBufferUnits;
  // Only S_OK names a program: a path that does not fit answers another
  // success code or an error, and counts as none.
  const HRESULT hr = ::AssocQueryStringW(ASSOCF_INIT_NOREMAPCLSID, ASSOCSTR_EXECUTABLE,
                                         win32::AsWide(association), L"open", buffer, &count);
  if (hr != S_OK) return false;
  buffer[kPathBufferUnits - 1] = L'\0';
  *executable = win32::TextOf(buffer, ::lstrlenW(buffer));
  return true;
}

}  // namespace tolvane
