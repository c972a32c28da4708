// A complete Platform for unit tests: the in-memory registry behind the
// recording, fault-injecting decorator (the platform's registry), a counting
// notifier, a file probe over a list of paths, fixed process paths, scripts
// served from a table, the native text services and the registry-backed
// open-executable query. Every service is reachable for set-up and checks.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/memory/counting_notifier.h"
#include "platform/memory/memory_registry_store.h"
#include "platform/memory/registry_open_executable_query.h"
#include "platform/platform.h"
#include "tests/fault_injecting_registry_store.h"

#ifdef _WIN32
#include "platform/win32/win32_text_services.h"
#else
#include "platform/portable/code_page_text_services.h"
#endif

namespace tolvane::testing {

#ifdef _WIN32
using NativeTextServices = Win32TextServices;
#else
using NativeTextServices = CodePageTextServices;
#endif

// Existing files are exactly the paths added, matched without regard to case.
class ListFileProbe final : public FileProbe {
 public:
  void Add(Text path) { paths_.push_back(std::move(path)); }
  bool Exists(TextView path) override;
  std::size_t queries() const { return queries_; }

 private:
  std::vector<Text> paths_;
  std::size_t queries_ = 0;
};

class FixedProcessPaths final : public ProcessPaths {
 public:
  Text ownModule = u"C:\\Program Files\\Suite\\tolvane.dll";
  Text hostExecutable = u"C:\\Setup\\Disk1\\setup.exe";
  bool ownModuleKnown = true;
  bool hostExecutableKnown = true;

  bool OwnModulePath(Text* path) override;
  bool HostExecutablePath(Text* path) override;
};

// Scripts of the own module come from a table; other paths are missing.
class TableModuleResources final : public ModuleResources {
 public:
  explicit TableModuleResources(ProcessPaths& paths) : paths_(paths) {}
  void Set(std::uint16_t id, std::string bytes) { scripts_[id] = std::move(bytes); }
  ErrorCode LoadRegistryScript(TextView modulePath, std::uint16_t id, std::string* bytes) override;

 private:
  ProcessPaths& paths_;
  std::map<std::uint16_t, std::string> scripts_;
};

struct TestPlatform {
  MemoryRegistryStore memory;
  FaultInjectingRegistryStore registry{memory};
  CountingNotifier notifier;
  ListFileProbe files;
  FixedProcessPaths paths;
  TableModuleResources resources{paths};
  NativeTextServices text;
  RegistryOpenExecutableQuery shell{registry};
  Platform platform{registry, notifier, files, paths, resources, text, shell};
};

// Reads a string value (REG_SZ bytes up to the first NUL); "<missing>" when
// the key or value does not exist. Leaves no key open.
Text ReadString(RegistryStore& store, RegKey root, const char16_t* path, const char16_t* name);
// Whether root\path exists.
bool KeyExists(RegistryStore& store, RegKey root, const char16_t* path);
// Creates root\path and, when name is given, writes a REG_SZ value.
void WriteString(RegistryStore& store, RegKey root, const char16_t* path, const char16_t* name,
                 const char16_t* value);
// Every key and value of the store as lines "path" and "path|name=data",
// for comparing whole states.
std::vector<std::string> Dump(const MemoryRegistryStore& store);

}  // namespace tolvane::testing
