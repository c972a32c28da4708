#include "platform/win32/win32_open_executable_query.h"

#include <shlwapi.h>
#include <windows.h>

#include "platform/win32/wide.h"

namespace tolvane {

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
