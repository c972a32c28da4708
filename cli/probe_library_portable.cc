// The probe library on the portable build: libtolvane-probe.so beside the
// command, else in the library folder of its installation tree.
#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "cli/probe_command.h"
#include "platform/portable/posix_handles.h"

namespace tolvane::cli {
namespace {

constexpr char kLibraryName[] = "libtolvane-probe.so";

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

}  // namespace

CommandOutcome CallProbeExport(const char* name,
                               CommandOutcome (*report)(TolvaneAmIAdministratorFn)) {
  const std::string path = LibraryPath();
  const posix::UniqueSharedObject library(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!library) {
    const char* reason = ::dlerror();
    return ToolErrorOutcome("cannot load the probe library: " +
                            std::string(reason ? reason : path));
  }
  const auto answer = reinterpret_cast<TolvaneAmIAdministratorFn>(::dlsym(library.get(), name));
  if (answer == nullptr) return ToolErrorOutcome(path + " has no export " + name);
  return report(answer);
}

}  // namespace tolvane::cli
