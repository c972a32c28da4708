// RegProduct over the built-in catalogue with every module installed.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "bench/bench_platform.h"
#include "bench/counting_registry_store.h"
#include "platform/text.h"
#include "registration/group_catalogue.h"
#include "registration/reg_product.h"

namespace tolvane::bench {
namespace {

// The registry calls of one run, by kind.
void ReportCalls(benchmark::State& state, const RegistryCallCounts& calls) {
  state.counters["registry_calls"] = static_cast<double>(calls.total());
  state.counters["open"] = static_cast<double>(calls.open);
  state.counters["create"] = static_cast<double>(calls.create);
  state.counters["query"] = static_cast<double>(calls.queryValue);
  state.counters["set"] = static_cast<double>(calls.setValue);
  state.counters["close"] = static_cast<double>(calls.close);
}

// Empties the store outside the timed region.
void ResetStore(benchmark::State& state, BenchPlatform& t) {
  state.PauseTiming();
  t.registry.Clear();
  t.notifier.Reset();
  state.ResumeTiming();
}

void EveryGroupIndex(benchmark::internal::Benchmark* b) {
  for (std::size_t i = 0; i < BuiltInCatalogue().size(); ++i) b->Arg(static_cast<std::int64_t>(i));
}

// Guards a whole installation: every group, every embedded script, into an
// empty store. Each run gets a store of its own, made and destroyed outside
// the timed region, so every key it makes is new memory as in a fresh
// process; the text services (their code-page set-up) are the process's.
void BM_RegisterWholeSuiteIntoEmptyStore(benchmark::State& state) {
  BenchPlatform t;
  for (auto _ : state) {
    state.PauseTiming();
    auto store = std::make_unique<MemoryRegistryStore>();
    RegistryOpenExecutableQuery shell(*store);
    Platform fresh{*store, t.notifier, t.files, t.paths, t.resources, t.text, shell};
    t.notifier.Reset();
    state.ResumeTiming();
    const bool ok = RegisterWholeSuite(fresh);
    state.PauseTiming();
    store.reset();
    state.ResumeTiming();
    if (!ok) {
      state.SkipWithError("a group failed");
      break;
    }
  }
  RegisterWholeSuite(t.platform);
  state.counters["keys"] = static_cast<double>(t.registry.Snapshot().size());
  // The registry calls of one such run: on the system registry each is a
  // round trip to the registry's owner.
  t.registry.Clear();
  CountingRegistryStore counting(t.registry);
  Platform counted{counting, t.notifier, t.files, t.paths, t.resources, t.text, t.shell};
  RegisterWholeSuite(counted);
  ReportCalls(state, counting.counts());
}
BENCHMARK(BM_RegisterWholeSuiteIntoEmptyStore)->Unit(benchmark::kMicrosecond);

// Guards a repair or re-install: the whole suite over its own registration
// (string records compare before they write; scripts run again).
void BM_RegisterWholeSuiteAgain(benchmark::State& state) {
  BenchPlatform t;
  if (!RegisterWholeSuite(t.platform)) state.SkipWithError("first registration failed");
  for (auto _ : state) {
    if (!RegisterWholeSuite(t.platform)) {
      state.SkipWithError("a group failed");
      break;
    }
  }
  CountingRegistryStore counting(t.registry);
  Platform counted{counting, t.notifier, t.files, t.paths, t.resources, t.text, t.shell};
  RegisterWholeSuite(counted);
  ReportCalls(state, counting.counts());
}
BENCHMARK(BM_RegisterWholeSuiteAgain)->Unit(benchmark::kMicrosecond);

// Guards each group's own cost, so a regression points at the group that grew.
void BM_RegProductGroupIntoEmptyStore(benchmark::State& state) {
  const GroupCatalogueEntry& entry = BuiltInCatalogue()[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(Utf16ToUtf8(ViewOf(entry.name)));
  BenchPlatform t;
  for (auto _ : state) {
    ResetStore(state, t);
    if (RegProduct(t.platform, entry.name, kInstallDir) != 0) {
      state.SkipWithError("the group failed");
      break;
    }
  }
}
BENCHMARK(BM_RegProductGroupIntoEmptyStore)->Apply(EveryGroupIndex)->Unit(benchmark::kMicrosecond);

// Guards the compare-before-write path of each group run a second time.
void BM_RegProductGroupAgain(benchmark::State& state) {
  const GroupCatalogueEntry& entry = BuiltInCatalogue()[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(Utf16ToUtf8(ViewOf(entry.name)));
  BenchPlatform t;
  if (!RegisterWholeSuite(t.platform)) state.SkipWithError("first registration failed");
  for (auto _ : state) {
    if (RegProduct(t.platform, entry.name, kInstallDir) != 0) {
      state.SkipWithError("the group failed");
      break;
    }
  }
}
BENCHMARK(BM_RegProductGroupAgain)->Apply(EveryGroupIndex)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tolvane::bench
