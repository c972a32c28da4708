// Hive lines read into operations. Internal to platform/hive.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/hive/hive_applier.h"
#include "platform/hive/hive_format.h"
#include "platform/hive/hive_lines.h"

namespace tolvane::hive_text {

// Reads the lines of a text CheckEncoding accepted (bytes from the first
// line on). Each operation read goes to *operations, or with `applier` to
// it at once; with neither the text is only checked. *count, when given,
// is how many operations the lines read made. `text` widens a REGEDIT4
// file's 8-bit text. Stops at the first bad line (kMalformed) or refusal
// of the applier.
Status ParseLines(std::string_view bytes, Encoding encoding, std::vector<HiveOperation> *operations,
                  HiveApplier *applier, TextServices *text, std::size_t *count);

}  // namespace tolvane::hive_text
