// A mark in the Wine server's trace: an open of HKCU\tolvane-bench-mark:LABEL,
// which shows in a run under WINEDEBUG=+server with its name, so the
// benchmark script can count the round trips between two marks. Outside
// Wine it costs one failed open.
#pragma once

#include <windows.h>

#include <string>

namespace tolvane::bench {

inline void TraceMark(const char* label) {
  std::wstring name = L"tolvane-bench-mark:";
  for (const char* p = label; *p != '\0'; ++p) name += static_cast<wchar_t>(*p);
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    ::RegCloseKey(key);
  }
}

}  // namespace tolvane::bench
