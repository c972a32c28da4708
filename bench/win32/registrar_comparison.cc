// The platform's own COM registrar and the library's script engine apply the
// same generated script to the system registry, in one process, turn about:
// into a registry without the script's keys, then again over their own
// registration. Before each first apply the script's keys are deleted, so
// both do the same work; after the first turn the two trees are compared.
// The library's registry calls are counted by operation. With --trace, one
// turn of each, bracketed by marks the Wine server trace shows (an open of
// HKCU\tolvane-bench-mark:LABEL), so a run under WINEDEBUG=+server counts
// every round trip of either side.
//
//   registrar_comparison [--blocks N] [--runs R] [--trace]
#include <windows.h>
// After windows.h, which it needs.
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/win32/automation_classes.h"
#include "bench/win32/counted_system_platform.h"
#include "bench/win32/trace_mark.h"
#include "platform/registry_snapshot.h"
#include "script/replacement_map.h"
#include "script/script_engine.h"

namespace tolvane::bench {

// The registrar's class and interface as the platform's SDK declares them;
// this toolchain's headers do not carry them. Declared outside the file's
// unnamed namespace: there the compiler would take the interface for the
// only class of its kind and call its pure methods directly.
constexpr CLSID kClsidRegistrar = {
    0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
constexpr IID kIidRegistrar = {
    0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

struct IRegistrar : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearReplacements() = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceRegisterSz(LPCOLESTR file, LPCOLESTR id,
                                                       LPCOLESTR type) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceUnregisterSz(LPCOLESTR file, LPCOLESTR id,
                                                         LPCOLESTR type) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileRegister(LPCOLESTR file) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileUnregister(LPCOLESTR file) = 0;
  virtual HRESULT STDMETHODCALLTYPE StringRegister(LPCOLESTR data) = 0;
  virtual HRESULT STDMETHODCALLTYPE StringUnregister(LPCOLESTR data) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceRegister(LPCOLESTR file, UINT id, LPCOLESTR type) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceUnregister(LPCOLESTR file, UINT id, LPCOLESTR type) = 0;
};

namespace {

struct ComApartment {
  ComApartment() : hr(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr)) ::CoUninitialize();
  }
  HRESULT hr;
};

struct RegistrarRef {
  ~RegistrarRef() {
    if (p != nullptr) p->Release();
  }
  IRegistrar* p = nullptr;
};

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Deletes every tree the script's blocks write; the kept CLSID key stays.
void DeleteScriptKeys(std::size_t blocks) {
  for (std::size_t i = 0; i < blocks; ++i) {
    for (const std::wstring& key : {VersionedProgId(i), ProgId(i), ClassKey(i)}) {
      ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    }
  }
}

// Every key and value the script's blocks wrote, values in name order.
std::vector<StoredKey> ScriptTrees(RegistryStore& store, std::size_t blocks) {
  std::vector<StoredKey> all;
  for (std::size_t i = 0; i < blocks; ++i) {
    for (const std::wstring& key : {VersionedProgId(i), ProgId(i), ClassKey(i)}) {
      std::vector<StoredKey> tree;
      const Text path(reinterpret_cast<const char16_t*>(key.data()), key.size());
      ReadRegistryTree(store, kHkeyClassesRoot, path, &tree);
      for (StoredKey& k : tree) {
        std::sort(k.values.begin(), k.values.end(),
                  [](const StoredValue& a, const StoredValue& b) { return a.name < b.name; });
        all.push_back(std::move(k));
      }
    }
  }
  return all;
}

bool SameTrees(const std::vector<StoredKey>& a, const std::vector<StoredKey>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].path != b[i].path || a[i].values.size() != b[i].values.size()) return false;
    for (std::size_t j = 0; j < a[i].values.size(); ++j) {
      const StoredValue& x = a[i].values[j];
      const StoredValue& y = b[i].values[j];
      if (x.name != y.name || x.type != y.type || x.data != y.data) return false;
    }
  }
  return true;
}

std::size_t ValueCount(const std::vector<StoredKey>& keys) {
  std::size_t n = 0;
  for (const StoredKey& k : keys) n += k.values.size();
  return n;
}

struct Series {
  std::vector<double> ms;
  double Median() const {
    std::vector<double> v = ms;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }
  double Min() const { return *std::min_element(ms.begin(), ms.end()); }
  double Max() const { return *std::max_element(ms.begin(), ms.end()); }
};

class Comparison {
 public:
  Comparison(IRegistrar& registrar, std::size_t blocks)
      : registrar_(registrar), blocks_(blocks), script_(AutomationClassScript(blocks)) {
    map_.Add(reinterpret_cast<const char16_t*>(kScriptPathName),
             reinterpret_cast<const char16_t*>(kScriptPathValue));
  }

  std::size_t scriptBytes() const { return script_.size() * sizeof(wchar_t); }

  // One apply by the registrar; false when it did not answer success.
  bool Registrar(double* ms) {
    const Clock::time_point start = Clock::now();
    const HRESULT hr = registrar_.StringRegister(script_.c_str());
    *ms = MillisecondsSince(start);
    if (FAILED(hr)) std::fprintf(stderr, "StringRegister failed: 0x%08lX\n", hr);
    return SUCCEEDED(hr);
  }

  // One apply by the library's engine, its calls counted into *counts.
  bool Engine(double* ms, RegistryCallCounts* counts) {
    system_.registry.Reset();
    ScriptParser parser{map_};
    const Clock::time_point start = Clock::now();
    const HResult hr =
        ApplyScript(system_.platform, parser, reinterpret_cast<const char16_t*>(script_.c_str()));
    *ms = MillisecondsSince(start);
    *counts = system_.registry.counts();
    if (hr != kSOk) std::fprintf(stderr, "ApplyScript failed: 0x%08X\n", static_cast<unsigned>(hr));
    return hr == kSOk;
  }

  std::vector<StoredKey> Trees() { return ScriptTrees(system_.system, blocks_); }

 private:
  IRegistrar& registrar_;
  std::size_t blocks_;
  std::wstring script_;
  CountedSystemPlatform system_;
  ReplacementMap map_;
};

int Run(std::size_t blocks, int runs, bool trace) {
  ComApartment com;
  if (FAILED(com.hr)) return std::fprintf(stderr, "CoInitializeEx: 0x%08lX\n", com.hr), 1;
  RegistrarRef registrar;
  HRESULT hr = ::CoCreateInstance(kClsidRegistrar, nullptr, CLSCTX_INPROC_SERVER, kIidRegistrar,
                                  reinterpret_cast<void**>(&registrar.p));
  if (FAILED(hr)) return std::fprintf(stderr, "no registrar: 0x%08lX\n", hr), 1;
  hr = registrar.p->AddReplacement(kScriptPathName, kScriptPathValue);
  if (FAILED(hr)) return std::fprintf(stderr, "AddReplacement: 0x%08lX\n", hr), 1;

  Comparison compare(*registrar.p, blocks);
  std::printf("script: %zu blocks, %zu bytes of UTF-16 text\n", blocks, compare.scriptBytes());
  DeleteScriptKeys(blocks);

  if (trace) {
    double ms = 0;
    RegistryCallCounts counts;
    // A first turn of each, unmarked, so that neither side's one-time set-up
    // (the registrar's, the platform's root keys) counts.
    bool ok = compare.Registrar(&ms) && compare.Engine(&ms, &counts);
    DeleteScriptKeys(blocks);
    TraceMark("registrar-fresh-begin");
    ok = compare.Registrar(&ms) && ok;
    TraceMark("registrar-fresh-end");
    TraceMark("registrar-again-begin");
    ok = compare.Registrar(&ms) && ok;
    TraceMark("registrar-again-end");
    DeleteScriptKeys(blocks);
    TraceMark("engine-fresh-begin");
    ok = compare.Engine(&ms, &counts) && ok;
    TraceMark("engine-fresh-end");
    TraceMark("engine-again-begin");
    ok = compare.Engine(&ms, &counts) && ok;
    TraceMark("engine-again-end");
    DeleteScriptKeys(blocks);
    return ok ? 0 : 1;
  }

  Series registrarFresh, registrarAgain, engineFresh, engineAgain;
  RegistryCallCounts freshCounts, againCounts;
  for (int run = 0; run < runs; ++run) {
    // Turn about, so neither side always runs on a registry the other just
    // emptied.
    for (int turn = 0; turn < 2; ++turn) {
      const bool engine = (run + turn) % 2 == 1;
      double fresh = 0, again = 0;
      RegistryCallCounts counts[2];
      DeleteScriptKeys(blocks);
      const bool ok = engine
                          ? compare.Engine(&fresh, &counts[0]) && compare.Engine(&again, &counts[1])
                          : compare.Registrar(&fresh) && compare.Registrar(&again);
      if (!ok) return 1;
      (engine ? engineFresh : registrarFresh).ms.push_back(fresh);
      (engine ? engineAgain : registrarAgain).ms.push_back(again);
      if (engine) freshCounts = counts[0], againCounts = counts[1];
    }
    if (run == 0) {
      // Both sides leave the same trees behind.
      DeleteScriptKeys(blocks);
      double ms = 0;
      RegistryCallCounts counts;
      if (!compare.Registrar(&ms)) return 1;
      const std::vector<StoredKey> theirs = compare.Trees();
      DeleteScriptKeys(blocks);
      if (!compare.Engine(&ms, &counts)) return 1;
      const std::vector<StoredKey> ours = compare.Trees();
      const bool same = SameTrees(theirs, ours);
      std::printf("trees: engine %zu keys, %zu values; registrar %zu keys, %zu values; %s\n",
                  ours.size(), ValueCount(ours), theirs.size(), ValueCount(theirs),
                  same ? "the same" : "DIFFERENT");
      if (!same) return 1;
    }
  }
  DeleteScriptKeys(blocks);

  std::printf("runs: %d; milliseconds, median (min-max)\n", runs);
  const auto line = [](const char* what, const Series& s) {
    std::printf("%-28s %9.1f (%.1f-%.1f)\n", what, s.Median(), s.Min(), s.Max());
  };
  line("registrar, fresh", registrarFresh);
  line("engine, fresh", engineFresh);
  line("registrar, again", registrarAgain);
  line("engine, again", engineAgain);
  std::printf("ratio engine/registrar: fresh %.2f, again %.2f\n",
              engineFresh.Median() / registrarFresh.Median(),
              engineAgain.Median() / registrarAgain.Median());
  PrintCounts(stdout, "engine calls, fresh", freshCounts);
  PrintCounts(stdout, "engine calls, again", againCounts);
  return 0;
}

}  // namespace
}  // namespace tolvane::bench

int main(int argc, char** argv) {
  std::size_t blocks = 1000;
  int runs = 5;
  bool trace = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--blocks" && i + 1 < argc) {
      blocks = std::strtoul(argv[++i], nullptr, 10);
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
    } else if (arg == "--trace") {
      trace = true;
    } else {
      std::fprintf(stderr, "usage: registrar_comparison [--blocks N] [--runs R] [--trace]\n");
      return 2;
    }
  }
  if (blocks == 0 || runs <= 0) {
    std::fprintf(stderr, "--blocks and --runs take a number above 0\n");
    return 2;
  }
  return tolvane::bench::Run(blocks, runs, trace);
}
