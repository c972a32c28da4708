// The entry into the script engine: applies a registrar script stored as a
// "REGISTRY" resource of a module file, or given as text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "platform/status.h"
#include "script/replacement_map.h"

namespace tolvane {

// Reads the "REGISTRY" resource id of the module at modulePath, widens it
// with the platform's ANSI code page and registers it with the replacements
// of map (borrowed). Answers success, or a failure whose code is the
// negative result code (module or resource missing, text not widened,
// script fault after the failing root block was undone) and whose reason
// names the script, its module and, for a fault, where reading stopped.
// With place given, a fault also leaves the place alone there, as
// ApplyScriptText does.
Status RunRegistryScript(Platform& platform, const ReplacementMap& map, TextView modulePath,
                         std::uint16_t id, std::string* place = nullptr);

// The same, answering the result code alone (0 on success).
HResult RunScriptResource(Platform& platform, const ReplacementMap& map, TextView modulePath,
                          std::uint16_t id);

// The same script read the same way, unregistered (see UnregisterScript):
// what it names is taken out of the registry again. A failure names the
// script and its module.
Status UnregisterRegistryScript(Platform& platform, const ReplacementMap& map, TextView modulePath,
                                std::uint16_t id);

// Registers script (widened text) with the replacements of map. A failure's
// code is ApplyScript's result code; its reason is the code in words and
// where reading stopped ("0x80020009 (a script fault) at line 3, column 5,
// at 'Vall'"). With place given, a failure also leaves the place alone there
// (empty when nothing can be said).
Status ApplyScriptText(Platform& platform, const ReplacementMap& map, TextView script,
                       std::string* place = nullptr);

}  // namespace tolvane
