// The shell's own resolution of the program an "open" verb runs.
#pragma once

#include "platform/open_executable_query.h"

namespace tolvane {

// Finds a program as the shell does when it reads an open command: the
// system's search path for a bare name, the file itself for a path; its
// full path. The locator of a hive's open-executable query on Windows.
bool LocateOnSearchPath(TextView name, Text* fullPath);

class Win32OpenExecutableQuery final : public OpenExecutableQuery {
 public:
  bool QueryOpenExecutable(const char16_t* association, Text* executable) override;
};

}  // namespace tolvane
