#include "script/script_runner.h"

#include <new>
#include <string>

#include "script/script_engine.h"
#include "script/script_language.h"

namespace tolvane {
namespace {

enum class RunMode { kRegister, kUnregister };

HResult RunScript(Platform& platform, const ReplacementMap& map, TextView modulePath,
                  std::uint16_t id, RunMode mode, std::size_t* stopOffset) {
  try {
    // The platform loads the module as data, copies the resource and
    // releases the module again, whatever the outcome.
    std::string bytes;
    ErrorCode code = platform.resources.LoadRegistryScript(modulePath, id, &bytes);
    if (code != kErrorSuccess) return HResultFromError(code);

    // Widening fails for a resource of zero bytes as for undecodable text.
    Text script;
    code = platform.text.WidenAnsi(bytes, &script);
    if (code != kErrorSuccess) return HResultFromError(code);

    // The script ends at its first NUL, wherever the resource put one.
    ScriptParser parser{map};
    return mode == RunMode::kRegister ? ApplyScript(platform, parser, script.c_str(), stopOffset)
                                      : UnregisterScript(platform, parser, script.c_str());
  } catch (const std::bad_alloc&) {
    return kEOutOfMemory;
  }
}

}  // namespace

HResult RunScriptResource(Platform& platform, const ReplacementMap& map, TextView modulePath,
                          std::uint16_t id, std::size_t* stopOffset) {
  return RunScript(platform, map, modulePath, id, RunMode::kRegister, stopOffset);
}

HResult UnregisterScriptResource(Platform& platform, const ReplacementMap& map, TextView modulePath,
                                 std::uint16_t id) {
  return RunScript(platform, map, modulePath, id, RunMode::kUnregister, nullptr);
}

}  // namespace tolvane
