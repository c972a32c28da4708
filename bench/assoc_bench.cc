// ChangeFileExtAssociation over a registry holding the whole suite.
#include <benchmark/benchmark.h>

#include "assoc/file_ext_association.h"
#include "bench/bench_platform.h"

namespace tolvane::bench {
namespace {

// Guards the common call: the extension already opens with the class's
// program, so both open executables are resolved and nothing is written.
void BM_ChangeFileExtAssociationAlreadyAssociated(benchmark::State& state) {
  BenchPlatform t;
  if (!RegisterWholeSuite(t.platform)) state.SkipWithError("registration failed");
  t.notifier.Reset();
  for (auto _ : state) {
    if (ChangeFileExtAssociation(t.platform, u".zdw", u"Zdw.Document.8") != kAssocChanged) {
      state.SkipWithError("association refused");
      break;
    }
  }
  if (t.notifier.count() != 0) state.SkipWithError("an unchanged association was written");
}
BENCHMARK(BM_ChangeFileExtAssociationAlreadyAssociated)->Unit(benchmark::kMicrosecond);

// Guards the writing path: each call moves the extension to the other
// program's class (all-users default value, per-user ProgID, notification).
void BM_ChangeFileExtAssociationSwitching(benchmark::State& state) {
  BenchPlatform t;
  if (!RegisterWholeSuite(t.platform)) state.SkipWithError("registration failed");
  t.notifier.Reset();
  const char16_t* const classes[] = {u"Tabrix.Document.8", u"Zdw.Document.8"};
  std::size_t next = 0;
  for (auto _ : state) {
    if (ChangeFileExtAssociation(t.platform, u".zdw", classes[next]) != kAssocChanged) {
      state.SkipWithError("association refused");
      break;
    }
    next ^= 1;
  }
  if (t.notifier.count() != static_cast<std::size_t>(state.iterations()))
    state.SkipWithError("a switch was not written");
}
BENCHMARK(BM_ChangeFileExtAssociationSwitching)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tolvane::bench
