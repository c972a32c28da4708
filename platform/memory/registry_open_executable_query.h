// The open-verb executable query of the portable build, answered from the
// registry store (the shell's own resolution exists only on Windows).
#pragma once

#include "platform/open_executable_query.h"
#include "platform/registry_store.h"

namespace tolvane {

class RegistryOpenExecutableQuery final : public OpenExecutableQuery {
 public:
  explicit RegistryOpenExecutableQuery(RegistryStore& registry) : registry_(registry) {}
  bool QueryOpenExecutable(const char16_t* association, Text* executable) override;

 private:
  RegistryStore& registry_;
};

}  // namespace tolvane
