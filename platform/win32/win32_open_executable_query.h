// The shell's own resolution of the program an "open" verb runs.
#pragma once

#include "platform/open_executable_query.h"

namespace tolvane {

class Win32OpenExecutableQuery final : public OpenExecutableQuery {
 public:
  bool QueryOpenExecutable(const char16_t* association, Text* executable) override;
};

}  // namespace tolvane
