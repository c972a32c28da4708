#include "platform/portable/host_process_paths.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <string>

namespace tolvane {

Text HostPathToZDrive(std::string_view hostPath) {
  Text path = u"Z:";
  for (const char16_t unit : Utf8ToUtf16(hostPath)) path += unit == u'/' ? u'\\' : unit;
  return path;
}

bool HostProcessPaths::OwnModulePath(Text* path) {
  if (ownModule_) {
    *path = *ownModule_;
    return true;
  }
  Dl_info info{};
  if (::dladdr(reinterpret_cast<const void*>(&HostPathToZDrive), &info) == 0 ||
      info.dli_fname == nullptr) {
    return false;
  }
  char resolved[PATH_MAX];
  const char* name = ::realpath(info.dli_fname, resolved) != nullptr ? resolved : info.dli_fname;
  *path = HostPathToZDrive(name);
  return true;
}

bool HostProcessPaths::HostExecutablePath(Text* path) {
  if (hostExecutable_) {
    *path = *hostExecutable_;
    return true;
  }
  std::string buffer(PATH_MAX, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return false;
  buffer.resize(static_cast<std::size_t>(n));
  *path = HostPathToZDrive(buffer);
  return true;
}

}  // namespace tolvane
