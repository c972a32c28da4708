// The entry into the script engine: applies a registrar script stored as a
// "REGISTRY" resource of a module file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "script/replacement_map.h"

namespace tolvane {

// Reads the "REGISTRY" resource id of the module at modulePath, widens it
// with the platform's ANSI code page and registers it with the replacements
// of map (borrowed). Answers 0 on success, a negative result code on
// failure (module or resource missing, text not widened, script fault after
// the failing root block was undone). With stopOffset, a script fault also
// tells where reading stopped, as ApplyScript tells it.
HResult RunScriptResource(Platform& platform, const ReplacementMap& map, TextView modulePath,
                          std::uint16_t id, std::size_t* stopOffset = nullptr);

// The same script read the same way, unregistered (see UnregisterScript):
// what it names is taken out of the registry again.
HResult UnregisterScriptResource(Platform& platform, const ReplacementMap& map, TextView modulePath,
                                 std::uint16_t id);

}  // namespace tolvane
