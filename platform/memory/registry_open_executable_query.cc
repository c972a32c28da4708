#include "platform/memory/registry_open_executable_query.h"

namespace tolvane {

// The resolution is not built yet: no association resolves to a program.
bool RegistryOpenExecutableQuery::QueryOpenExecutable(const char16_t* /*association*/,
                                                      Text* executable) {
  executable->clear();
  return false;
}

}  // namespace tolvane
