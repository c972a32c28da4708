// Where in a registrar script reading stopped, in words a person finds the
// fault by: line, column, the token, the replacement it came from.
#pragma once

#include <cstddef>
#include <string>

#include "platform/text.h"
#include "script/replacement_map.h"

namespace tolvane {

// Where a failed ApplyScript stopped, in words: "line 3, column 5, at
// 'Vall'", "line 2, column 9: %NOPE% is not defined", or "line 4, column 1,
// at 'x' (from the value of %PATH% at line 4, column 7)". stopOffset is what
// ApplyScript gave (kNoStopOffset when the replacement pass failed). Empty
// when nothing can be said.
std::string ScriptFailurePlace(TextView script, const ReplacementMap& replacements,
                               std::size_t stopOffset);

}  // namespace tolvane
