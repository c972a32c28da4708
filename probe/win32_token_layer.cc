// The token layer on Windows: the security interface, one call each.
#include <windows.h>

#include <cstddef>

#include "probe/platform_token_layer.h"

namespace tolvane::probe {
namespace {

// The group list the algorithm walks is the platform's own record.
static_assert(sizeof(SID_AND_ATTRIBUTES) == sizeof(GroupEntry));
static_assert(offsetof(TOKEN_GROUPS, Groups) == kFirstGroupOffset);

// The last error of a failed call; a failure that left no error number
// still must not read as success.
std::uint32_t LastFailure() {
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

}  // namespace

std::uint32_t PlatformTokenLayer::OpenThreadToken(TokenHandle* token) {
  HANDLE handle = nullptr;
  // Opened with the thread's own rights (not as self): an impersonated user
  // who may not read the token gets a failure, not the process's answer.
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, FALSE, &handle)) return LastFailure();
  *token = handle;
  return kErrorSuccess;
}

std::uint32_t PlatformTokenLayer::OpenProcessToken(TokenHandle* token) {
  HANDLE handle = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &handle)) return LastFailure();
  *token = handle;
  return kErrorSuccess;
}

void PlatformTokenLayer::CloseToken(TokenHandle token) { ::CloseHandle(token); }

std::uint32_t PlatformTokenLayer::ReadGroups(TokenHandle token, void* buffer, std::uint32_t size,
                                             std::uint32_t* needed) {
  DWORD length = 0;
  const BOOL read = ::GetTokenInformation(token, TokenGroups, buffer, size, &length);
  *needed = length;
  return read ? kErrorSuccess : LastFailure();
}

bool PlatformTokenLayer::BuildAdministratorsSid(SidPointer* sid) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID built = nullptr;
  if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &built)) {
    return false;
  }
  *sid = built;
  return true;
}

void PlatformTokenLayer::FreeSid(SidPointer sid) { ::FreeSid(sid); }

bool PlatformTokenLayer::EqualSids(SidPointer a, SidPointer b) { return ::EqualSid(a, b) != FALSE; }

}  // namespace tolvane::probe
