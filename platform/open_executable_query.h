// The shell's answer to "which program does the open verb of this extension
// or document class run".
#pragma once

#include "platform/text.h"

namespace tolvane {

class OpenExecutableQuery {
 public:
  virtual ~OpenExecutableQuery() = default;
  // For an extension (".zdw") or a ProgID, the full path of the executable
  // that its "open" verb runs. False when there is none, or when the path
  // does not fit kMaxPathChars; *executable is then empty.
  virtual bool QueryOpenExecutable(const char16_t* association, Text* executable) = 0;
};

}  // namespace tolvane
