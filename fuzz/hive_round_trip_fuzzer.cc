// The hive file reader on untrusted bytes, and the writer's round trip:
// whatever the reader accepts and the store takes must be written so that
// reading it back gives the same registry.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/hive/hive_format.h"
#include "platform/memory/memory_registry_store.h"

namespace tolvane::fuzz {
namespace {

// Prints the first key or value where two snapshots differ.
bool SameSnapshot(const std::vector<StoredKey>& a, const std::vector<StoredKey>& b) {
  if (a.size() != b.size()) {
    std::fprintf(stderr, "key count %zu, after the round trip %zu\n", a.size(), b.size());
    return false;
  }
  for (std::size_t k = 0; k < a.size(); ++k) {
    const bool same = a[k].path == b[k].path && a[k].values.size() == b[k].values.size();
    bool sameValues = same;
    for (std::size_t v = 0; sameValues && v < a[k].values.size(); ++v) {
      const StoredValue& x = a[k].values[v];
      const StoredValue& y = b[k].values[v];
      sameValues = x.name == y.name && x.type == y.type && x.data == y.data;
    }
    if (!sameValues) {
      std::fprintf(stderr, "key %zu differs: \"%s\" / \"%s\"\n", k, Utf16ToUtf8(a[k].path).c_str(),
                   Utf16ToUtf8(b[k].path).c_str());
      return false;
    }
  }
  return true;
}

}  // namespace
}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolvane;
  using tolvane::fuzz::Check;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  std::vector<HiveOperation> operations;
  const Status parsed = ParseHive(bytes, &operations);
  if (!parsed.ok()) {
    Check(operations.empty(), "a refused file left operations behind");
    Check(parsed.error == StatusKind::kMalformed, "a refused file is not reported as malformed");
    return 0;
  }

  MemoryRegistryStore store;
  const Status applied = ApplyHive(operations, store);
  Check(store.OpenKeyCount() == 0, "applying the hive left a key open");
  if (!applied.ok()) return 0;  // the store refused a name or value: nothing to write back

  const std::vector<StoredKey> first = store.Snapshot();
  std::string written;
  const Status serialized = SerializeHiveUtf16(first, &written);
  if (!serialized.ok()) {
    Check(written.empty(), "a refused snapshot left bytes behind");
    return 0;  // a key name holding a line break cannot be written
  }

  std::vector<HiveOperation> again;
  const Status reparsed = ParseHive(written, &again);
  if (!reparsed.ok()) {
    std::fprintf(stderr, "line %zu: %s\n", reparsed.line, reparsed.message.c_str());
    fuzz::PropertyBroken("the writer's own output does not read back");
  }
  MemoryRegistryStore copy;
  Check(ApplyHive(again, copy).ok(), "the written hive does not apply");
  Check(copy.OpenKeyCount() == 0, "applying the written hive left a key open");
  Check(fuzz::SameSnapshot(first, copy.Snapshot()), "the round trip changed the registry");
  return 0;
}
