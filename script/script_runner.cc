#include "script/script_runner.h"

#include <new>
#include <string>

#include "script/script_engine.h"
#include "script/script_language.h"
#include "script/script_place.h"

namespace tolvane {
namespace {

enum class RunMode { kRegister, kUnregister };

Status RunScript(Platform& platform, const ReplacementMap& map, TextView modulePath,
                 std::uint16_t id, RunMode mode, std::string* place) {
  // Words are made only for a failure: a run of many scripts stays cheap.
  const auto script = [&] {
    return "script " + std::to_string(id) + " of " + Utf16ToUtf8(modulePath);
  };
  try {
    // The platform loads the module as data, copies the resource and
    // releases the module again, whatever the outcome.
    std::string bytes;
    ErrorCode code = platform.resources.LoadRegistryScript(modulePath, id, &bytes);
    if (code != kErrorSuccess) {
      return Status::FromResult(HResultFromError(code), "cannot load " + script());
    }

    // Widening fails for a resource of zero bytes as for undecodable text.
    Text text;
    code = platform.text.WidenAnsi(bytes, &text);
    if (code != kErrorSuccess) {
      return Status::FromResult(HResultFromError(code), "cannot widen " + script());
    }
    if (mode == RunMode::kRegister) {
      const Status applied = ApplyScriptText(platform, map, text, place);
      return applied.ok() ? applied : applied.Within(script());
    }
    // The script ends at its first NUL, wherever the resource put one.
    ScriptParser parser{map};
    const HResult status = UnregisterScript(platform, parser, text.c_str());
    if (Succeeded(status)) return Status::Ok();
    return Status::FromResult(status, "cannot unregister " + script());
  } catch (const std::bad_alloc&) {
    return Status::FromResult(kEOutOfMemory, script());
  }
}

}  // namespace

Status ApplyScriptText(Platform& platform, const ReplacementMap& map, TextView script,
                       std::string* placeOut) {
  // The script ends at its first NUL, wherever the text put one.
  const Text text(script.substr(0, script.find(u'\0')));
  ScriptParser parser{map};
  std::size_t stopOffset = kNoStopOffset;
  const HResult status = ApplyScript(platform, parser, text.c_str(), &stopOffset);
  if (Succeeded(status)) return Status::Ok();
  const std::string place = ScriptFailurePlace(text, map, stopOffset);
  std::string reason = "the script failed with " + ResultText(status);
  if (!place.empty()) reason += " at " + place;
  if (placeOut != nullptr) *placeOut = place;
  return {StatusKind::kMalformed, std::move(reason), 0, status};
}

Status RunRegistryScript(Platform& platform, const ReplacementMap& map, TextView modulePath,
                         std::uint16_t id, std::string* place) {
  return RunScript(platform, map, modulePath, id, RunMode::kRegister, place);
}

Status UnregisterRegistryScript(Platform& platform, const ReplacementMap& map, TextView modulePath,
                                std::uint16_t id) {
  return RunScript(platform, map, modulePath, id, RunMode::kUnregister, nullptr);
}

HResult RunScriptResource(Platform& platform, const ReplacementMap& map, TextView modulePath,
                          std::uint16_t id) {
  return RunRegistryScript(platform, map, modulePath, id).code;
}

}  // namespace tolvane
