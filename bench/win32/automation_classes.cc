#include "bench/win32/automation_classes.h"

#include <cwchar>

namespace tolvane::bench {
namespace {

std::wstring ClassId(std::size_t i) {
  wchar_t id[64];
  std::swprintf(id, 64, L"{7B5A0000-0000-4000-8000-%012llX}", static_cast<unsigned long long>(i));
  return id;
}

}  // namespace

std::wstring ProgId(std::size_t i) { return L"TolvBench.Class" + std::to_wstring(i); }
std::wstring VersionedProgId(std::size_t i) { return ProgId(i) + L".1"; }
std::wstring ClassKey(std::size_t i) { return L"CLSID\\" + ClassId(i); }

std::wstring AutomationClassScript(std::size_t blocks) {
  std::wstring script;
  script.reserve(blocks * 760);
  for (std::size_t i = 0; i < blocks; ++i) {
    const std::wstring id = ClassId(i);
    const std::wstring name = L"'Bench Class " + std::to_wstring(i) + L"'";
    const std::wstring progId = ProgId(i);
    const std::wstring versioned = VersionedProgId(i);
    script += L"HKCR\r\n{\r\n";
    script += L"\t" + versioned + L" = s " + name + L"\r\n\t{\r\n";
    script += L"\t\tCLSID = s '" + id + L"'\r\n\t}\r\n";
    script += L"\t" + progId + L" = s " + name + L"\r\n\t{\r\n";
    script += L"\t\tCLSID = s '" + id + L"'\r\n";
    script += L"\t\tCurVer = s '" + versioned + L"'\r\n\t}\r\n";
    script += L"\tNoRemove CLSID\r\n\t{\r\n";
    script += L"\t\tForceRemove " + id + L" = s " + name + L"\r\n\t\t{\r\n";
    script += L"\t\t\tProgID = s '" + versioned + L"'\r\n";
    script += L"\t\t\tVersionIndependentProgID = s '" + progId + L"'\r\n";
    script += L"\t\t\tForceRemove 'Programmable'\r\n";
    script += L"\t\t\tInprocServer32 = s '%PATH%TolvBench.dll'\r\n\t\t\t{\r\n";
    script += L"\t\t\t\tval ThreadingModel = s 'Apartment'\r\n\t\t\t}\r\n";
    script += L"\t\t\t'TypeLib' = s '{44967245-ED01-4898-8E9A-3277A9353E12}'\r\n";
    script += L"\t\t}\r\n\t}\r\n}\r\n";
  }
  return script;
}

}  // namespace tolvane::bench
