// The chart control module of the self-registration tests, built as
// GrafoChart.ocx. Its DllRegisterServer leaves a marker: on Windows the key
// HKCU\Software\TolvaneTest\GrafoChart; elsewhere the file that
// $TOLVANE_GRAFO_MARKER names.
#ifdef _WIN32
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\TolvaneTest\\GrafoChart", 0, nullptr, 0,
                        KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return E_FAIL;
  }
  ::RegCloseKey(key);
  return S_OK;
}
#else
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) std::int32_t DllRegisterServer() {
  const char* marker = std::getenv("TOLVANE_GRAFO_MARKER");
  if (marker == nullptr) return 1;
  std::FILE* file = std::fopen(marker, "w");
  if (file == nullptr) return 1;
  std::fclose(file);
  return 0;
}
#endif
