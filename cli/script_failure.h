// What a person needs to hear when a script fails: where in the script
// reading stopped (line, column, the token, the replacement it came from)
// and what the failed run left changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/change_journal.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "script/replacement_map.h"

namespace tolvane::cli {

// Where a failed ApplyScript stopped, in words: "line 3, column 5, at
// 'Vall'", "line 2, column 9: %NOPE% is not defined", or "line 4, column 1,
// at 'x' (from the value of %PATH% at line 4, column 7)". stopOffset is what
// ApplyScript gave (kNoStopOffset when the replacement pass failed). Empty
// when nothing can be said.
std::string ScriptFailurePlace(TextView script, const ReplacementMap& replacements,
                               std::size_t stopOffset);

// The same for embedded script id of the module at modulePath, read again
// as the runner read it (up to its first NUL). Empty when the script cannot
// be read (then the failure was reading it).
std::string EmbeddedScriptFailurePlace(Platform& platform, const ReplacementMap& replacements,
                                       TextView modulePath, std::uint16_t id,
                                       std::size_t stopOffset);

// How many of a run's changes still stand at its end: a key created and
// deleted again, and a new value set and deleted again, cancel out (the undo
// of a failed root block), everything else remains. A deletion that stands
// removed something that was there before the run: it is not counted but
// named in *lost ("HKEY_...\\Key", or "HKEY_...\\Key: value \"Name\"").
std::size_t RemainingChanges(const std::vector<Change>& changes,
                             std::vector<std::string>* lost = nullptr);

}  // namespace tolvane::cli
