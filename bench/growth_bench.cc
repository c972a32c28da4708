// How cost grows with size: generated registrar scripts of 1,000 to 100,000
// automation-class blocks, and hives of 1,000 to 100,000 keys, both all
// beneath one key and spread over folders of 100. Each reports a cost per
// block or per key, which should stay flat from the smallest size to the
// largest.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_platform.h"
#include "platform/hive/hive_file.h"
#include "platform/hive/hive_format.h"
#include "platform/memory/memory_registry_store.h"
#include "script/replacement_map.h"
#include "script/script_engine.h"

namespace tolvane::bench {
namespace {

// A class id of the form the embedded scripts use, distinct for each n.
Text ClassId(std::size_t n) {
  char id[40];
  std::snprintf(id, sizeof id, "{%08zX-8655-4B05-8D94-3A1F351C5E40}", n);
  return Utf8ToUtf16(id);
}

// One root block shaped like the embedded automation classes: a ProgID with
// its class id, and the class under "NoRemove CLSID" with its server, the
// threading model, the ProgIDs and the type library.
Text AutomationBlock(std::size_t n) {
  const Text number = Utf8ToUtf16(std::to_string(n));
  const Text progId = u"Bench.Automation" + number + u".1";
  const Text clsid = ClassId(n);
  return u"HKCR\r\n{\r\n"
         u"\t" +
         progId + u" = s 'Bench Automation " + number +
         u"'\r\n"
         u"\t{\r\n\t\tCLSID = s '" +
         clsid +
         u"'\r\n\t}\r\n"
         u"\tNoRemove CLSID\r\n\t{\r\n"
         u"\t\tForceRemove " +
         clsid + u" = s 'Bench Automation " + number +
         u"'\r\n\t\t{\r\n"
         u"\t\t\tProgID = s '" +
         progId +
         u"'\r\n"
         u"\t\t\tVersionIndependentProgID = s 'Bench.Automation" +
         number +
         u"'\r\n"
         u"\t\t\tInprocServer32 = s '%PATH%bench.dll'\r\n"
         u"\t\t\t{\r\n\t\t\t\tval ThreadingModel = s 'Apartment'\r\n\t\t\t}\r\n"
         u"\t\t\t'TypeLib' = s '{E6E276C9-34FA-40FC-8EE8-A842D9599B9F}'\r\n"
         u"\t\t\tVersion = s '1.0'\r\n"
         u"\t\t}\r\n\t}\r\n}\r\n";
}

void ScriptSizes(benchmark::internal::Benchmark* b) {
  for (const std::int64_t blocks : {1000, 10000, 100000}) b->Arg(blocks);
}

// Guards the engine's growth: ApplyScript of the whole generated script
// into an emptied store. bytes_per_second counts the script's UTF-16 text;
// per_block is the time of one block.
void BM_ApplyGeneratedScript(benchmark::State& state) {
  const auto blocks = static_cast<std::size_t>(state.range(0));
  Text script;
  for (std::size_t i = 0; i < blocks; ++i) script += AutomationBlock(i);
  BenchPlatform t;
  ReplacementMap map;
  map.Add(u"PATH", kInstallDir);
  for (auto _ : state) {
    state.PauseTiming();
    t.registry.Clear();
    state.ResumeTiming();
    ScriptParser parser{map};
    if (ApplyScript(t.platform, parser, script.c_str()) != kSOk) {
      state.SkipWithError("the script failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(script.size() * sizeof(char16_t)));
  state.counters["per_block"] = benchmark::Counter(
      static_cast<double>(blocks),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ApplyGeneratedScript)->Apply(ScriptSizes)->Unit(benchmark::kMillisecond);

// A hive of `keys` keys, each with a string default value and a number:
// all beneath one key (flat), or in folders of 100 (nested).
struct GeneratedHive {
  GeneratedHive(std::size_t keys, bool flat) {
    MemoryRegistryStore store;
    for (std::size_t k = 0; k < keys; ++k) {
      char name[64];
      if (flat) {
        std::snprintf(name, sizeof name, "Software\\Bench\\Key%06zu", k);
      } else {
        std::snprintf(name, sizeof name, "Software\\Bench\\Folder%04zu\\Key%03zu", k / 100,
                      k % 100);
      }
      const Text path = Utf8ToUtf16(name);
      ScopedKey key(store);
      if (store.CreateKey(kHkeyCurrentUser, path.c_str(), kKeyAllAccess, key.Receive(), nullptr) !=
          kErrorSuccess) {
        return;
      }
      const Text text = u"C:\\Suite\\Bin\\Zdw.exe \"%1\" /key " + path;
      store.SetValue(key.get(), nullptr, kRegSz, text.c_str(),
                     static_cast<std::uint32_t>((text.size() + 1) * sizeof(char16_t)));
      const auto number = static_cast<std::uint32_t>(k);
      store.SetValue(key.get(), u"Number", kRegDword, &number, sizeof number);
    }
    ok = SerializeHiveUtf16(store.Snapshot(), &bytes).ok() && ParseHive(bytes, &operations).ok();
  }

  std::string bytes;
  std::vector<HiveOperation> operations;
  bool ok = false;
};

const GeneratedHive& HiveOf(benchmark::State& state) {
  static std::vector<std::unique_ptr<GeneratedHive>> made;
  static std::vector<std::pair<std::int64_t, std::int64_t>> sizes;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    if (sizes[i] == std::make_pair(state.range(0), state.range(1))) return *made[i];
  }
  made.push_back(std::make_unique<GeneratedHive>(static_cast<std::size_t>(state.range(0)),
                                                 state.range(1) == 0));
  sizes.emplace_back(state.range(0), state.range(1));
  return *made.back();
}

void HiveSizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"keys", "nested"});
  for (const std::int64_t nested : {0, 1}) {
    for (const std::int64_t keys : {1000, 10000, 100000}) b->Args({keys, nested});
  }
}

void PerKey(benchmark::State& state) {
  state.counters["per_key"] = benchmark::Counter(
      static_cast<double>(state.range(0)),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Guards the reader's growth.
void BM_HiveParseGrowth(benchmark::State& state) {
  const GeneratedHive& hive = HiveOf(state);
  if (!hive.ok) state.SkipWithError("the hive was not built");
  for (auto _ : state) {
    std::vector<HiveOperation> operations;
    if (!ParseHive(hive.bytes, &operations).ok()) {
      state.SkipWithError("the hive did not parse");
      break;
    }
    benchmark::DoNotOptimize(operations.data());
  }
  PerKey(state);
}
BENCHMARK(BM_HiveParseGrowth)->Apply(HiveSizes)->Unit(benchmark::kMillisecond);

// Guards applying a parsed hive to an empty store.
void BM_HiveApplyGrowth(benchmark::State& state) {
  const GeneratedHive& hive = HiveOf(state);
  if (!hive.ok) state.SkipWithError("the hive was not built");
  MemoryRegistryStore store;
  for (auto _ : state) {
    state.PauseTiming();
    store.Clear();
    state.ResumeTiming();
    if (!ApplyHive(hive.operations, store).ok()) {
      state.SkipWithError("the hive did not apply");
      break;
    }
  }
  PerKey(state);
}
BENCHMARK(BM_HiveApplyGrowth)->Apply(HiveSizes)->Unit(benchmark::kMillisecond);

// Guards saving: the file bytes written straight from the store.
void BM_HiveSaveGrowth(benchmark::State& state) {
  const GeneratedHive& hive = HiveOf(state);
  MemoryRegistryStore store;
  if (!hive.ok || !ApplyHive(hive.operations, store).ok()) {
    state.SkipWithError("the hive was not built");
  }
  for (auto _ : state) {
    std::string bytes;
    if (!SerializeStoreUtf16(store, &bytes).ok()) {
      state.SkipWithError("the hive did not serialize");
      break;
    }
    benchmark::DoNotOptimize(bytes.data());
  }
  PerKey(state);
}
BENCHMARK(BM_HiveSaveGrowth)->Apply(HiveSizes)->Unit(benchmark::kMillisecond);

// Guards a whole save as the command makes it: the bytes written to a
// temporary file beside the hive, flushed to disk and renamed over it.
void BM_HiveSaveFileGrowth(benchmark::State& state) {
  const GeneratedHive& hive = HiveOf(state);
  MemoryRegistryStore store;
  if (!hive.ok || !ApplyHive(hive.operations, store).ok()) {
    state.SkipWithError("the hive was not built");
  }
  std::string folder = (std::filesystem::temp_directory_path() / "tolvane-bench-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) state.SkipWithError("no temporary folder");
  const std::string path = folder + "/bench.reg";
  for (auto _ : state) {
    if (const Status saved = SaveHive(path, store); !saved.ok()) {
      state.SkipWithError(saved.message.c_str());
      break;
    }
  }
  std::filesystem::remove_all(folder);
  PerKey(state);
}
BENCHMARK(BM_HiveSaveFileGrowth)->Apply(HiveSizes)->Unit(benchmark::kMillisecond);

// Guards values in one key: importing a hive whose one key holds 20,000 or
// 200,000 values, as `import` and every opened hive do (parsed and applied
// in one pass), then looking up one it lacks. per_value should be the same
// at both sizes (within 1.2x).
void BM_ValuesInOneKeyGrowth(benchmark::State& state) {
  const auto values = static_cast<std::size_t>(state.range(0));
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Many]\r\n";
  for (std::size_t i = 0; i < values; ++i) {
    text += "\"Value" + std::to_string(i * 7919 % values) + "\"=dword:00000001\r\n";
  }
  MemoryRegistryStore store;
  for (auto _ : state) {
    state.PauseTiming();
    store.Clear();
    state.ResumeTiming();
    if (!ParseAndApplyHive(text, store).ok()) {
      state.SkipWithError("the hive did not apply");
      break;
    }
    ScopedKey key(store);
    store.OpenKey(kHkeyCurrentUser, u"Many", kKeyRead, key.Receive());
    std::uint32_t size = 0;
    benchmark::DoNotOptimize(store.QueryValue(key.get(), u"Missing", nullptr, nullptr, &size));
  }
  state.counters["per_value"] = benchmark::Counter(
      static_cast<double>(values),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ValuesInOneKeyGrowth)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvane::bench
