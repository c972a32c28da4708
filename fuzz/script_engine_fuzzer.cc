// The registrar script engine on untrusted text. Input bytes starting with
// the UTF-16LE byte-order mark are taken as UTF-16 units as they are (any
// unit, unpaired surrogates included); other bytes are widened with the
// platform's code page, as the script runner widens a resource, or byte by
// byte when they are not valid in it. The text is applied with the one
// replacement a RunScript record hands over; whatever it does, every key
// the engine opened must be closed again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/memory/counting_notifier.h"
#include "platform/memory/memory_registry_store.h"
#include "platform/memory/registry_open_executable_query.h"
#include "platform/platform.h"
#include "platform/portable/code_page_text_services.h"
#include "platform/portable/embedded_module_resources.h"
#include "platform/portable/host_process_paths.h"
#include "script/replacement_map.h"
#include "script/script_engine.h"

namespace tolvane::fuzz {
namespace {

class NoFiles final : public FileProbe {
 public:
  bool Exists(TextView) override { return false; }
};

// A fresh platform over an empty in-memory registry for each input.
struct FuzzPlatform {
  MemoryRegistryStore registry;
  CountingNotifier notifier;
  NoFiles files;
  HostProcessPaths paths;
  EmbeddedModuleResources resources{paths, files};
  CodePageTextServices text;
  RegistryOpenExecutableQuery shell{registry, [](TextView, Text*) { return false; }};
  Platform platform{registry, notifier, files, paths, resources, text, shell};
};

Text ScriptText(std::string_view bytes, TextServices& text) {
  Text script;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      script.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return script;
  }
  if (!bytes.empty() && text.WidenAnsi(bytes, &script) == kErrorSuccess) return script;
  script.clear();
  for (const char byte : bytes) script.push_back(static_cast<unsigned char>(byte));
  return script;
}

}  // namespace
}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolvane;
  fuzz::FuzzPlatform t;
  const Text script =
      fuzz::ScriptText(std::string_view(reinterpret_cast<const char*>(data), size), t.text);

  ReplacementMap replacements;
  fuzz::Check(replacements.Add(u"PATH", u"C:\\Suite\\Bin\\") == kSOk, "the map refused PATH");
  ScriptParser parser{replacements};
  ApplyScript(t.platform, parser, script.c_str());
  fuzz::Check(t.registry.OpenKeyCount() == 0, "the script engine left a key open");
  return 0;
}
