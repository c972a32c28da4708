// The token layer on the portable build. There is no impersonation: the
// thread never has a token of its own. The process's token stands for the
// process's credentials; its groups are Everyone (S-1-1-0) and, when the
// effective user is root or the process holds the group sudo, wheel or
// admin, Administrators (S-1-5-32-544). As with a token, the credentials
// are those the process started with: a user added to sudo since logging
// in is not a member yet. Identifiers are the platform's binary form.
#include <grp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "probe/platform_token_layer.h"

namespace tolvane::probe {
namespace {

// Revision, sub-authority count, six authority bytes (big-endian), then the
// sub-authorities as little-endian 32-bit words.
constexpr unsigned char kEveryone[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
constexpr unsigned char kAdministrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
constexpr const char* kAdministratorGroups[] = {"sudo", "wheel", "admin"};
// A group record larger than this (some million members) is taken as not
// held rather than grown further.
constexpr std::size_t kLargestGroupRecord = std::size_t{256} << 20;

// Stands for the process's token; nothing is opened behind it.
constexpr unsigned char kProcessToken = 0;

std::size_t SidLength(const unsigned char* sid) { return 8 + 4 * std::size_t{sid[1]}; }

// The group's record is read into a buffer that grows until the record
// (with its member list, of any length) fits. The process holds the group
// as its effective group or as one of its supplementary groups.
bool HoldsGroupNamed(const char* name) {
  std::vector<char> record(4096);
  group entry;
  group* found = nullptr;
  // Too small a buffer is ERANGE, returned; some group sources return -1
  // and leave ERANGE in errno instead.
  const auto tooSmall = [](int error) {
    return error == ERANGE || (error == -1 && errno == ERANGE);
  };
  int error = 0;
  while (tooSmall(error = ::getgrnam_r(name, &entry, record.data(), record.size(), &found))) {
    if (record.size() >= kLargestGroupRecord) return false;
    record.resize(record.size() * 2);
  }
  if (error != 0 || found == nullptr) return false;
  return found->gr_gid == ::getegid() || ::group_member(found->gr_gid) != 0;
}

bool IsAdministrator() {
  if (::geteuid() == 0) return true;
  for (const char* name : kAdministratorGroups) {
    if (HoldsGroupNamed(name)) return true;
  }
  return false;
}

}  // namespace

std::uint32_t PlatformTokenLayer::OpenThreadToken(TokenHandle* /*token*/) { return kErrorNoToken; }

std::uint32_t PlatformTokenLayer::OpenProcessToken(TokenHandle* token) {
  *token = const_cast<unsigned char*>(&kProcessToken);
  return kErrorSuccess;
}

void PlatformTokenLayer::CloseToken(TokenHandle /*token*/) {}

std::uint32_t PlatformTokenLayer::ReadGroups(TokenHandle /*token*/, void* buffer,
                                             std::uint32_t size, std::uint32_t* needed) {
  const unsigned char* sids[] = {kEveryone, kAdministrators};
  const std::uint32_t count = IsAdministrator() ? 2 : 1;
  std::size_t length = kFirstGroupOffset + count * sizeof(GroupEntry);
  for (std::uint32_t i = 0; i < count; ++i) length += SidLength(sids[i]);
  *needed = static_cast<std::uint32_t>(length);
  if (size < length) return kErrorInsufficientBuffer;

  // The identifiers follow the entries inside the same buffer, as the
  // platform's own record keeps them.
  auto* out = static_cast<unsigned char*>(buffer);
  std::memcpy(out, &count, sizeof count);
  unsigned char* next = out + kFirstGroupOffset + count * sizeof(GroupEntry);
  for (std::uint32_t i = 0; i < count; ++i) {
    const GroupEntry entry{next, 0};
    std::memcpy(out + kFirstGroupOffset + i * sizeof(GroupEntry), &entry, sizeof entry);
    std::memcpy(next, sids[i], SidLength(sids[i]));
    next += SidLength(sids[i]);
  }
  return kErrorSuccess;
}

bool PlatformTokenLayer::BuildAdministratorsSid(SidPointer* sid) {
  *sid = const_cast<unsigned char*>(kAdministrators);
  return true;
}

// The identifier built is constant data: nothing to release.
void PlatformTokenLayer::FreeSid(SidPointer /*sid*/) {}

bool PlatformTokenLayer::EqualSids(SidPointer a, SidPointer b) {
  const auto* left = static_cast<const unsigned char*>(a);
  const auto* right = static_cast<const unsigned char*>(b);
  return SidLength(left) == SidLength(right) && std::memcmp(left, right, SidLength(left)) == 0;
}

}  // namespace tolvane::probe
