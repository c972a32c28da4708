// The whole suite into the system registry, for the comparison with an
// import of the same content (bench/win32/wine_bench.py).
//
//   suite_runner dll DIR [GROUP...]   RegProduct of each group through the
//                                     built tolvane.dll beside this program,
//                                     as an installer calls it; no group:
//                                     only the library's load is timed
//   suite_runner counted DIR          every built-in group through the
//                                     library's core on the system registry,
//                                     its registry calls counted by operation
//
// Each prints the milliseconds spent in the calls (the library's load
// included for dll) on stdout and answers 1 when any group failed.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cwchar>

#include "bench/win32/counted_system_platform.h"
#include "bench/win32/trace_mark.h"
#include "registration/group_catalogue.h"
#include "registration/record_executor.h"
#include "registration/registration_record.h"

namespace tolvane::bench {
namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

using RegProductFunction = std::int32_t(__cdecl*)(const wchar_t*, const wchar_t*);

int ThroughLibrary(const wchar_t* directory, int groupCount, wchar_t** groups) {
  TraceMark("suite-dll-begin");
  const Clock::time_point start = Clock::now();
  HMODULE library = ::LoadLibraryW(L"tolvane.dll");
  if (library == nullptr) return std::fprintf(stderr, "tolvane.dll not loaded\n"), 1;
  const auto regProduct = reinterpret_cast<RegProductFunction>(
      reinterpret_cast<void*>(::GetProcAddress(library, "RegProduct")));
  if (regProduct == nullptr) {
    ::FreeLibrary(library);
    return std::fprintf(stderr, "no RegProduct export\n"), 1;
  }
  int failed = 0;
  for (int i = 0; i < groupCount; ++i) {
    const std::int32_t result = regProduct(groups[i], directory);
    if (result != 0) {
      std::fprintf(stderr, "RegProduct(%ls) returned %d\n", groups[i], static_cast<int>(result));
      ++failed;
    }
  }
  const double ms = MillisecondsSince(start);
  TraceMark("suite-dll-end");
  ::FreeLibrary(library);
  std::printf("RegProduct: %d groups, %d failed, %.2f ms\n", groupCount, failed, ms);
  return failed == 0 ? 0 : 1;
}

int ThroughCore(const wchar_t* directory) {
  CountedSystemPlatform system;
  const TextView dir(reinterpret_cast<const char16_t*>(directory), std::wcslen(directory));
  int groups = 0, failed = 0;
  TraceMark("suite-core-begin");
  const Clock::time_point start = Clock::now();
  for (const GroupCatalogueEntry& entry : BuiltInCatalogue()) {
    ++groups;
    const Clock::time_point groupStart = Clock::now();
    const std::uint64_t callsBefore = system.registry.counts().total();
    if (!RunGroup(system.platform, entry.group, dir).ok) ++failed;
    std::printf("  %-22ls %8.2f ms %6llu calls\n", reinterpret_cast<const wchar_t*>(entry.name),
                MillisecondsSince(groupStart),
                static_cast<unsigned long long>(system.registry.counts().total() - callsBefore));
  }
  const double ms = MillisecondsSince(start);
  TraceMark("suite-core-end");
  std::printf("RunGroup: %d groups, %d failed, %.2f ms\n", groups, failed, ms);
  PrintCounts(stdout, "suite calls", system.registry.counts());
  return failed == 0 ? 0 : 1;
}

}  // namespace
}  // namespace tolvane::bench

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wcscmp(argv[1], L"dll") == 0) {
    return tolvane::bench::ThroughLibrary(argv[2], argc - 3, argv + 3);
  }
  if (argc == 3 && std::wcscmp(argv[1], L"counted") == 0) {
    return tolvane::bench::ThroughCore(argv[2]);
  }
  std::fprintf(stderr, "usage: suite_runner dll DIR [GROUP...] | suite_runner counted DIR\n");
  return 2;
}
