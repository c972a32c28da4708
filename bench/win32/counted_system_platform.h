// The Windows platform of the library with its registry calls counted: the
// system registry behind the benchmarks' counting decorator, and the real
// shell, files, paths, resources and text services.
#pragma once

#include <cstdio>

#include "bench/counting_registry_store.h"
#include "platform/platform.h"
#include "platform/win32/win32_assoc_notifier.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_module_resources.h"
#include "platform/win32/win32_open_executable_query.h"
#include "platform/win32/win32_process_paths.h"
#include "platform/win32/win32_registry_store.h"
#include "platform/win32/win32_text_services.h"

namespace tolvane::bench {

struct CountedSystemPlatform {
  Win32RegistryStore system;
  CountingRegistryStore registry{system};
  Win32AssocNotifier notifier;
  Win32FileProbe files;
  Win32ProcessPaths paths;
  Win32ModuleResources resources;
  Win32TextServices text;
  Win32OpenExecutableQuery shell;
  Platform platform{registry, notifier, files, paths, resources, text, shell};
};

// One line of counts by operation, for the reports.
inline void PrintCounts(std::FILE* out, const char* label, const RegistryCallCounts& c) {
  std::fprintf(
      out,
      "%-22s total %7llu: open %llu, create %llu, query-value %llu, set-value %llu, "
      "delete-value %llu, delete-key %llu, delete-tree %llu, enum-key %llu, "
      "enum-value %llu, query-info %llu, close %llu\n",
      label, static_cast<unsigned long long>(c.total()), static_cast<unsigned long long>(c.open),
      static_cast<unsigned long long>(c.create), static_cast<unsigned long long>(c.queryValue),
      static_cast<unsigned long long>(c.setValue), static_cast<unsigned long long>(c.deleteValue),
      static_cast<unsigned long long>(c.deleteKey), static_cast<unsigned long long>(c.deleteTree),
      static_cast<unsigned long long>(c.enumKey), static_cast<unsigned long long>(c.enumValue),
      static_cast<unsigned long long>(c.queryInfo), static_cast<unsigned long long>(c.close));
}

}  // namespace tolvane::bench
