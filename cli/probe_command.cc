#include "cli/probe_command.h"

#include <memory>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#else
#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>
#endif

#include "include/tolvane/tolvane_probe.h"
#include "cli/output.h"

namespace tolvane::cli {
namespace {

constexpr char kExport[] = "TolvaneAmIAdministrator";

// Calls the export and says what its answer means.
CommandOutcome Report(TolvaneAmIAdministratorFn answer) {
  CommandOutcome outcome;
  outcome.report.call = std::string(kExport) + "()";
  outcome.report.result = answer();
  outcome.report.meaning = outcome.report.result == 1
                               ? "the caller holds the Administrators group"
                               : "the caller does not hold the Administrators group, or the check "
                                 "failed";
  return outcome;
}

#ifdef _WIN32
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

CommandOutcome LoadAndCall() {
  const std::wstring path = LibraryPath();
  win32::UniqueModule library(::LoadLibraryW(path.c_str()));
  if (!library) {
    return ToolErrorOutcome("cannot load the probe library " + Narrow(path) + " (error " +
                            std::to_string(::GetLastError()) + ")");
  }
  const auto answer = reinterpret_cast<TolvaneAmIAdministratorFn>(
      reinterpret_cast<void (*)()>(::GetProcAddress(library.get(), kExport)));
  if (answer == nullptr) return ToolErrorOutcome(Narrow(path) + " has no export " + kExport);
  return Report(answer);
}
#else
constexpr char kLibraryName[] = "libtolvane-probe.so";

struct LibraryCloser {
  void operator()(void* library) const { ::dlclose(library); }
};

// The library beside the command's own executable (a build tree), else in
// the library folder of the tree the command is installed in (bin/../lib),
// else the name alone for the loader's search.
std::string LibraryPath() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path folder = self.parent_path();
    for (const std::filesystem::path& candidate :
         {folder / kLibraryName, folder.parent_path() / "lib" / kLibraryName}) {
      if (std::filesystem::exists(candidate, error)) return candidate.string();
    }
  }
  return kLibraryName;
}

CommandOutcome LoadAndCall() {
  const std::string path = LibraryPath();
  std::unique_ptr<void, LibraryCloser> library(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!library) {
    const char* reason = ::dlerror();
    return ToolErrorOutcome("cannot load the probe library: " +
                            std::string(reason ? reason : path));
  }
  const auto answer = reinterpret_cast<TolvaneAmIAdministratorFn>(::dlsym(library.get(), kExport));
  if (answer == nullptr) return ToolErrorOutcome(path + " has no export " + kExport);
  return Report(answer);
}
#endif

}  // namespace

CommandOutcome RunProbe() { return LoadAndCall(); }

}  // namespace tolvane::cli
