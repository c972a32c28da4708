// The token layer of the build: the Windows security interface
// (win32_token_layer.cc) or the process's credentials on the portable build
// (portable_token_layer.cc). It holds nothing; one lives for one call.
#pragma once

#include "probe/token_layer.h"

namespace tolvane::probe {

class PlatformTokenLayer final : public TokenLayer {
 public:
  std::uint32_t OpenThreadToken(TokenHandle* token) override;
  std::uint32_t OpenProcessToken(TokenHandle* token) override;
  void CloseToken(TokenHandle token) override;
  std::uint32_t ReadGroups(TokenHandle token, void* buffer, std::uint32_t size,
                           std::uint32_t* needed) override;
  bool BuildAdministratorsSid(SidPointer* sid) override;
  void FreeSid(SidPointer sid) override;
  bool EqualSids(SidPointer a, SidPointer b) override;
};

}  // namespace tolvane::probe
