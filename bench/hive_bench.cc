// The hive file's reader and writer over a registry of about 10,000 keys.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/hive/hive_format.h"
#include "platform/memory/memory_registry_store.h"
#include "platform/text.h"

namespace tolvane::bench {
namespace {

constexpr std::size_t kFolders = 100;
constexpr std::size_t kKeysPerFolder = 100;

// A registry like a large installation's: 100 folders of 100 keys, each key
// with a string default value and a number; every tenth also a 60-byte
// binary (wrapped over lines), a multi-string and an expandable string.
struct LargeHive {
  LargeHive() {
    MemoryRegistryStore store;
    for (std::size_t f = 0; f < kFolders; ++f) {
      for (std::size_t k = 0; k < kKeysPerFolder; ++k) {
        const Text path = u"Software\\BenchSuite\\Folder" + Utf8ToUtf16(std::to_string(f)) +
                          u"\\Key" + Utf8ToUtf16(std::to_string(k));
        ScopedKey key(store);
        if (store.CreateKey(kHkeyCurrentUser, path.c_str(), kKeyAllAccess, key.Receive(),
                            nullptr) != kErrorSuccess) {
          return;
        }
        const Text text = u"C:\\Suite\\Bin\\Zdw.exe \"%1\" /key " + path;
        store.SetValue(key.get(), nullptr, kRegSz, text.c_str(),
                       static_cast<std::uint32_t>((text.size() + 1) * sizeof(char16_t)));
        const std::uint32_t number = static_cast<std::uint32_t>(f * kKeysPerFolder + k);
        store.SetValue(key.get(), u"Number", kRegDword, &number, sizeof number);
        if (k % 10 == 0) {
          std::string blob(60, '\0');
          for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 7 + k);
          store.SetValue(key.get(), u"Blob", kRegBinary, blob.data(),
                         static_cast<std::uint32_t>(blob.size()));
          static constexpr char16_t kList[] = u"one\0two\0three\0";
          store.SetValue(key.get(), u"List", kRegMultiSz, kList, sizeof kList);
          static constexpr char16_t kExpand[] = u"%SystemRoot%\\system32\\bench.dll";
          store.SetValue(key.get(), u"Expand", kRegExpandSz, kExpand, sizeof kExpand);
        }
      }
    }
    snapshot = store.Snapshot();
    ok = SerializeHiveUtf16(snapshot, &bytes).ok() && ParseHive(bytes, &operations).ok();
  }

  std::vector<StoredKey> snapshot;
  std::string bytes;
  std::vector<HiveOperation> operations;
  bool ok = false;
};

const LargeHive& Hive() {
  static const LargeHive hive;
  return hive;
}

void Describe(benchmark::State& state) {
  state.counters["keys"] = static_cast<double>(Hive().snapshot.size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(Hive().bytes.size()));
}

// Guards loading a large hive file: the strict reader over UTF-16LE text.
void BM_HiveParse(benchmark::State& state) {
  if (!Hive().ok) state.SkipWithError("the hive was not built");
  for (auto _ : state) {
    std::vector<HiveOperation> operations;
    if (!ParseHive(Hive().bytes, &operations).ok()) {
      state.SkipWithError("the hive did not parse");
      break;
    }
    benchmark::DoNotOptimize(operations.data());
  }
  Describe(state);
}
BENCHMARK(BM_HiveParse)->Unit(benchmark::kMillisecond);

// Guards applying a parsed hive to an empty in-memory store.
void BM_HiveApply(benchmark::State& state) {
  if (!Hive().ok) state.SkipWithError("the hive was not built");
  MemoryRegistryStore store;
  for (auto _ : state) {
    state.PauseTiming();
    store.Clear();
    state.ResumeTiming();
    if (!ApplyHive(Hive().operations, store).ok()) {
      state.SkipWithError("the hive did not apply");
      break;
    }
  }
  Describe(state);
}
BENCHMARK(BM_HiveApply)->Unit(benchmark::kMillisecond);

// Guards taking the store's snapshot that saving and exporting start from.
void BM_HiveSnapshot(benchmark::State& state) {
  MemoryRegistryStore store;
  if (!Hive().ok || !ApplyHive(Hive().operations, store).ok()) {
    state.SkipWithError("the hive was not built");
  }
  for (auto _ : state) {
    std::vector<StoredKey> keys = store.Snapshot();
    benchmark::DoNotOptimize(keys.data());
  }
  Describe(state);
}
BENCHMARK(BM_HiveSnapshot)->Unit(benchmark::kMillisecond);

// Guards saving a large hive: the writer's UTF-16LE file bytes.
void BM_HiveSerializeUtf16(benchmark::State& state) {
  if (!Hive().ok) state.SkipWithError("the hive was not built");
  for (auto _ : state) {
    std::string bytes;
    if (!SerializeHiveUtf16(Hive().snapshot, &bytes).ok()) {
      state.SkipWithError("the hive did not serialize");
      break;
    }
    benchmark::DoNotOptimize(bytes.data());
  }
  Describe(state);
}
BENCHMARK(BM_HiveSerializeUtf16)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvane::bench
