// The registrar script engine: the embedded scripts, and the replacement
// pass and tokenizer over a large synthetic script.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench/bench_platform.h"
#include "script/replacement_map.h"
#include "script/script_engine.h"
#include "script/script_language.h"

namespace tolvane::bench {
namespace {

void EveryEmbeddedScript(benchmark::internal::Benchmark* b) {
  for (const std::uint16_t id : EmbeddedScriptIds()) b->Arg(id);
}

// A script of `blocks` root blocks, each a class with a verb, the
// replacements a real script uses (%PATH%, %%), a quoted name with an
// escaped apostrophe and values of every type: about 330 units a block.
Text SyntheticScript(std::size_t blocks) {
  Text script;
  for (std::size_t i = 0; i < blocks; ++i) {
    const Text n = Utf8ToUtf16(std::to_string(i));
    script += u"HKCR\r\n{\r\n\tNoRemove Bench\r\n\t{\r\n\t\tForceRemove Class" + n +
              u" = s 'Bench class " + n +
              u"'\r\n\t\t{\r\n"
              u"\t\t\tDefaultIcon = s '%PATH%Zdw.exe,1'\r\n"
              u"\t\t\tshell { open { command = s '%PATH%Zdw.exe \"%%1\"' } }\r\n"
              u"\t\t\tval 'It''s' = d '" +
              n +
              u"'\r\n"
              u"\t\t\tval Blob = b 00FF10EE20DD30CC\r\n"
              u"\t\t\tval List = m 'one\\0two\\0three'\r\n"
              u"\t\t}\r\n\t}\r\n}\r\n";
  }
  return script;
}

// The replacements a RunScript record hands the engine.
struct PathReplacements {
  PathReplacements() { map.Add(u"PATH", kInstallDir); }
  ReplacementMap map;
};

// Applies script into an emptied store once per iteration; only the apply
// is timed. bytes_per_second counts the script's UTF-16 text.
void ApplyIntoEmptyStores(benchmark::State& state, BenchPlatform& t, const Text& script) {
  PathReplacements replacements;
  for (auto _ : state) {
    state.PauseTiming();
    t.registry.Clear();
    state.ResumeTiming();
    ScriptParser parser{replacements.map};
    if (ApplyScript(t.platform, parser, script.c_str()) != kSOk) {
      state.SkipWithError("the script failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(script.size() * sizeof(char16_t)));
}

// Guards each embedded script applied into an empty store (expansion,
// tokenizing, key creation, ForceRemove deletions).
void BM_ApplyEmbeddedScript(benchmark::State& state) {
  BenchPlatform t;
  const Text script = WidenedEmbeddedScript(t.text, static_cast<std::uint16_t>(state.range(0)));
  if (script.empty()) state.SkipWithError("script not embedded or not widened");
  ApplyIntoEmptyStores(state, t, script);
}
BENCHMARK(BM_ApplyEmbeddedScript)->Apply(EveryEmbeddedScript)->Unit(benchmark::kMicrosecond);

// Guards the replacement pass (its doubling growth) over ~1 MB of script text.
void BM_ExpandReplacementsLargeScript(benchmark::State& state) {
  BenchPlatform t;
  const Text script = SyntheticScript(static_cast<std::size_t>(state.range(0)));
  PathReplacements replacements;
  for (auto _ : state) {
    ExpandedText expanded;
    if (ExpandReplacements(script.c_str(), replacements.map, &expanded) != kSOk) {
      state.SkipWithError("expansion failed");
      break;
    }
    benchmark::DoNotOptimize(expanded.length);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(script.size() * sizeof(char16_t)));
}
BENCHMARK(BM_ExpandReplacementsLargeScript)->Arg(1500)->Unit(benchmark::kMicrosecond);

// Guards the tokenizer: every token of the expanded ~1 MB script.
void BM_ReadTokenLargeScript(benchmark::State& state) {
  BenchPlatform t;
  PathReplacements replacements;
  ExpandedText expanded;
  if (ExpandReplacements(SyntheticScript(static_cast<std::size_t>(state.range(0))).c_str(),
                         replacements.map, &expanded) != kSOk) {
    state.SkipWithError("expansion failed");
  }
  static TokenBuffer token;
  std::size_t tokens = 0;
  for (auto _ : state) {
    ScriptParser parser{replacements.map, expanded.c_str()};
    tokens = 0;
    while (ReadToken(parser, token) == kSOk) ++tokens;
    if (*parser.cursor != u'\0') {
      state.SkipWithError("tokenizing stopped before the end");
      break;
    }
    benchmark::DoNotOptimize(tokens);
  }
  state.counters["tokens"] = static_cast<double>(tokens);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(expanded.length * sizeof(char16_t)));
}
BENCHMARK(BM_ReadTokenLargeScript)->Arg(1500)->Unit(benchmark::kMicrosecond);

// Guards the register walk over many root blocks: key creation, value
// conversion and a ForceRemove look-up in every block.
void BM_ApplyLargeSyntheticScript(benchmark::State& state) {
  BenchPlatform t;
  const Text script = SyntheticScript(static_cast<std::size_t>(state.range(0)));
  ApplyIntoEmptyStores(state, t, script);
  state.counters["keys"] = static_cast<double>(t.registry.Snapshot().size());
}
BENCHMARK(BM_ApplyLargeSyntheticScript)->Arg(1500)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvane::bench
