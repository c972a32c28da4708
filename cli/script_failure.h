// What a person needs to hear when a script fails, besides where reading
// stopped (script/script_place.h): what the failed run left changed.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cli/change_journal.h"
#include "platform/text.h"
#include "script/script_place.h"

namespace tolvane::cli {

// How many of a run's changes still stand at its end: a key created and
// deleted again, and a new value set and deleted again, cancel out (the undo
// of a failed root block), everything else remains. A deletion that stands
// removed something that was there before the run: it is not counted but
// named in *lost ("HKEY_...\\Key", or "HKEY_...\\Key: value \"Name\"").
std::size_t RemainingChanges(const std::vector<Change>& changes,
                             std::vector<std::string>* lost = nullptr);

}  // namespace tolvane::cli
