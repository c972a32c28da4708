// The few token and security-identifier operations the administrator check
// needs, as one small interface: the Windows security interface on Windows,
// the process's credentials on the portable build, a fake in the tests.
//
// Contract: a token or identifier a call hands out stays valid until it is
// given back with CloseToken or FreeSid, exactly once. Failures come back as
// the platform's error numbers (never 0); nothing is written to the out
// parameter of a failed open or build.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/status_codes.h"

namespace tolvane::probe {

using TokenHandle = void*;
using SidPointer = void*;

// The group list record of a token, as the platform lays it out: a 32-bit
// group count, then that many entries, each an identifier pointer and a
// 32-bit attribute word, at pointer alignment.
struct GroupEntry {
  SidPointer sid;
  std::uint32_t attributes;
};
struct GroupList {
  std::uint32_t count;
  GroupEntry groups[1];
};
constexpr std::size_t kFirstGroupOffset = offsetof(GroupList, groups);

class TokenLayer {
 public:
  // The calling thread's token, opened for query with the thread's own
  // (impersonated) rights. kErrorNoToken when the thread is not
  // impersonating.
  virtual std::uint32_t OpenThreadToken(TokenHandle* token) = 0;
  // The process's token, opened for query.
  virtual std::uint32_t OpenProcessToken(TokenHandle* token) = 0;
  virtual void CloseToken(TokenHandle token) = 0;

  // Reads token's group list into buffer (size bytes; null when size is 0)
  // and sets needed to the bytes the whole list takes, on success and when
  // the buffer is too small (kErrorInsufficientBuffer).
  virtual std::uint32_t ReadGroups(TokenHandle token, void* buffer, std::uint32_t size,
                                   std::uint32_t* needed) = 0;

  // Builds the identifier of the local Administrators group, S-1-5-32-544.
  virtual bool BuildAdministratorsSid(SidPointer* sid) = 0;
  virtual void FreeSid(SidPointer sid) = 0;
  virtual bool EqualSids(SidPointer a, SidPointer b) = 0;

 protected:
  ~TokenLayer() = default;
};

}  // namespace tolvane::probe
