// A dry run against the real run: the whole suite registered on a store
// that already holds 10,000 keys of other programs beneath
// HKEY_CLASSES_ROOT (where the suite writes most), once into the store
// itself and once on a copy-on-write layer over it; and `verify`'s work,
// every group run on a layer over a store that holds the suite already.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_platform.h"
#include "platform/hive/hive_format.h"
#include "platform/memory/copy_on_write_registry_store.h"
#include "registration/group_catalogue.h"
#include "registration/reg_product.h"

namespace tolvane::bench {
namespace {

constexpr std::size_t kForeignKeys = 10000;

// Operations that fill a store with the foreign keys: an extension and a
// class of its own for each of 5,000 programs.
const std::vector<HiveOperation>& ForeignKeys() {
  static const std::vector<HiveOperation> operations = [] {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    char line[160];
    for (std::size_t i = 0; i < kForeignKeys / 2; ++i) {
      std::snprintf(line, sizeof line,
                    "[HKEY_CLASSES_ROOT\\.f%05zu]\r\n@=\"Foreign.Class%05zu\"\r\n\r\n"
                    "[HKEY_CLASSES_ROOT\\Foreign.Class%05zu]\r\n@=\"Foreign document %zu\"\r\n\r\n",
                    i, i, i, i);
      text += line;
    }
    std::vector<HiveOperation> parsed;
    ParseHive(text, &parsed);
    return parsed;
  }();
  return operations;
}

Platform On(BenchPlatform& t, RegistryStore& store, RegistryOpenExecutableQuery& shell) {
  return Platform{store, t.notifier, t.files, t.paths, t.resources, t.text, shell};
}

// Guards the real run on a store with foreign keys (the dry run's measure).
void BM_WholeSuiteOverForeignKeys(benchmark::State& state) {
  BenchPlatform t;
  for (auto _ : state) {
    state.PauseTiming();
    auto store = std::make_unique<MemoryRegistryStore>();
    ApplyHive(ForeignKeys(), *store);
    RegistryOpenExecutableQuery shell(*store);
    Platform platform = On(t, *store, shell);
    state.ResumeTiming();
    const bool ok = RegisterWholeSuite(platform);
    state.PauseTiming();
    store.reset();
    state.ResumeTiming();
    if (!ok) {
      state.SkipWithError("a group failed");
      break;
    }
  }
}
BENCHMARK(BM_WholeSuiteOverForeignKeys)->Unit(benchmark::kMicrosecond);

// Guards the dry run: the same on a copy-on-write layer over that store.
void BM_WholeSuiteDryRunOverForeignKeys(benchmark::State& state) {
  BenchPlatform t;
  MemoryRegistryStore beneath;
  ApplyHive(ForeignKeys(), beneath);
  for (auto _ : state) {
    state.PauseTiming();
    auto layer = std::make_unique<CopyOnWriteRegistryStore>(beneath);
    RegistryOpenExecutableQuery shell(*layer);
    Platform platform = On(t, *layer, shell);
    state.ResumeTiming();
    const bool ok = RegisterWholeSuite(platform);
    state.PauseTiming();
    layer.reset();
    state.ResumeTiming();
    if (!ok) {
      state.SkipWithError("a group failed");
      break;
    }
  }
}
BENCHMARK(BM_WholeSuiteDryRunOverForeignKeys)->Unit(benchmark::kMicrosecond);

// Guards `verify` of every group where the suite is registered: each group
// on a fresh layer over the store.
void BM_VerifyEveryGroup(benchmark::State& state) {
  BenchPlatform t;
  if (!RegisterWholeSuite(t.platform)) state.SkipWithError("the suite did not register");
  for (auto _ : state) {
    for (const GroupCatalogueEntry& entry : BuiltInCatalogue()) {
      CopyOnWriteRegistryStore layer(t.registry);
      RegistryOpenExecutableQuery shell(layer);
      Platform platform = On(t, layer, shell);
      benchmark::DoNotOptimize(RegProduct(platform, entry.name, kInstallDir));
    }
  }
}
BENCHMARK(BM_VerifyEveryGroup)->Unit(benchmark::kMicrosecond);

// Guards `verify GROUP`, one group at a time (the catalogue's n-th group):
// what one command asks of the library.
void BM_VerifyOneGroup(benchmark::State& state) {
  BenchPlatform t;
  if (!RegisterWholeSuite(t.platform)) state.SkipWithError("the suite did not register");
  const GroupCatalogueEntry& entry = BuiltInCatalogue()[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(Utf16ToUtf8(entry.name));
  for (auto _ : state) {
    CopyOnWriteRegistryStore layer(t.registry);
    RegistryOpenExecutableQuery shell(layer);
    Platform platform = On(t, layer, shell);
    benchmark::DoNotOptimize(RegProduct(platform, entry.name, kInstallDir));
  }
}
BENCHMARK(BM_VerifyOneGroup)
    ->DenseRange(0, static_cast<std::int64_t>(BuiltInCatalogue().size()) - 1)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tolvane::bench
