// The probe library on Windows: tolvane-probe.dll beside tolvane.exe.
#include <windows.h>

#include <string>

#include "cli/probe_command.h"
#include "platform/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace tolvane::cli {
namespace {

constexpr wchar_t kLibraryName[] = L"tolvane-probe.dll";

// The full path of the library beside the running tolvane.exe.
std::wstring LibraryPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return kLibraryName;
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  path.resize(path.find_last_of(L"\\/") + 1);
  return path + kLibraryName;
}

std::string Narrow(const std::wstring& wide) {
  return Utf16ToUtf8(win32::TextOf(wide.c_str(), wide.size()));
}

}  // namespace

CommandOutcome CallProbeExport(const char* name,
                               CommandOutcome (*report)(TolvaneAmIAdministratorFn)) {
  const std::wstring path = LibraryPath();
  win32::UniqueModule library(::LoadLibraryW(path.c_str()));
  if (!library) {
    return ToolErrorOutcome("cannot load the probe library " + Narrow(path) + " (error " +
                            std::to_string(::GetLastError()) + ")");
  }
  const auto answer = reinterpret_cast<TolvaneAmIAdministratorFn>(
      reinterpret_cast<void (*)()>(::GetProcAddress(library.get(), name)));
  if (answer == nullptr) return ToolErrorOutcome(Narrow(path) + " has no export " + name);
  return report(answer);
}

}  // namespace tolvane::cli
