#include "probe/admin_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::probe {
namespace {

const std::string kAdmins = "S-1-5-32-544";
const std::string kUsers = "S-1-5-32-545";
const std::string kEveryone = "S-1-1-0";
constexpr std::uint32_t kEnabled = 0x4, kDenyOnly = 0x10;

struct Group {
  const std::string* sid;
  std::uint32_t attributes;
};

// Tokens are the group lists themselves; identifiers are strings compared by
// text, never by address. Counts every open and build against its release.
class FakeTokenLayer final : public TokenLayer {
 public:
  std::uint32_t threadError = kErrorNoToken, processError = kErrorSuccess;
  std::vector<Group> threadGroups, processGroups;
  std::optional<std::uint32_t> sizeQueryError, reportedSize, countInRecord;
  std::uint32_t readError = kErrorSuccess;
  bool buildFails = false;
  int open = 0, sids = 0, processTries = 0;
  std::uint32_t readSize = 0;

  std::uint32_t OpenThreadToken(TokenHandle* token) override {
    return Open(threadError, &threadGroups, token);
  }
  std::uint32_t OpenProcessToken(TokenHandle* token) override {
    ++processTries;
    return Open(processError, &processGroups, token);
  }
  void CloseToken(TokenHandle token) override {
    EXPECT_NE(token, nullptr);
    --open;
  }
  std::uint32_t ReadGroups(TokenHandle token, void* buffer, std::uint32_t size,
                           std::uint32_t* needed) override {
    const auto& groups = *static_cast<std::vector<Group>*>(token);
    const auto length =
        static_cast<std::uint32_t>(kFirstGroupOffset + groups.size() * sizeof(GroupEntry));
    *needed = reportedSize.value_or(length);
    if (buffer == nullptr) return sizeQueryError.value_or(kErrorInsufficientBuffer);
    readSize = size;
    if (readError != kErrorSuccess) return readError;
    if (size < length) return kErrorInsufficientBuffer;
    const std::uint32_t count = countInRecord.value_or(static_cast<std::uint32_t>(groups.size()));
    std::memcpy(buffer, &count, sizeof count);
    for (std::size_t i = 0; i < groups.size(); ++i) {
      const GroupEntry entry{const_cast<std::string*>(groups[i].sid), groups[i].attributes};
      std::memcpy(static_cast<char*>(buffer) + kFirstGroupOffset + i * sizeof entry, &entry,
                  sizeof entry);
    }
    return kErrorSuccess;
  }
  bool BuildAdministratorsSid(SidPointer* sid) override {
    if (buildFails) return false;
    ++sids;
    *sid = new std::string(kAdmins);
    return true;
  }
  void FreeSid(SidPointer sid) override {
    --sids;
    delete static_cast<std::string*>(sid);
  }
  bool EqualSids(SidPointer a, SidPointer b) override {
    return *static_cast<std::string*>(a) == *static_cast<std::string*>(b);
  }

 private:
  std::uint32_t Open(std::uint32_t error, std::vector<Group>* groups, TokenHandle* token) {
    if (error != kErrorSuccess) return error;
    ++open;
    *token = groups;
    return kErrorSuccess;
  }
};

void ExpectReleased(const FakeTokenLayer& layer) {
  EXPECT_EQ(layer.open, 0) << "token left open";
  EXPECT_EQ(layer.sids, 0) << "identifier not freed";
}

// Which token is asked, and that only identifiers count.
TEST(AmIAdministratorTest, JudgesTheRightTokenByIdentifierAlone) {
  const struct {
    const char* name;
    std::uint32_t threadError;
    std::vector<Group> threadGroups;
    std::uint32_t processError;
    std::vector<Group> processGroups;
    std::int32_t expected;
    int processTries;
  } kCases[] = {
      {"member", kErrorNoToken, {}, 0, {{&kEveryone, kEnabled}, {&kAdmins, kEnabled}}, 1, 1},
      {"standard user", kErrorNoToken, {}, 0, {{&kEveryone, kEnabled}, {&kUsers, kEnabled}}, 0, 1},
      {"deny-only Administrators", kErrorNoToken, {}, 0, {{&kAdmins, kDenyOnly}}, 1, 1},
      {"disabled Administrators", kErrorNoToken, {}, 0, {{&kUsers, kEnabled}, {&kAdmins, 0}}, 1, 1},
      {"no groups", kErrorNoToken, {}, 0, {}, 0, 1},
      {"process token fails", kErrorNoToken, {}, 5, {}, 0, 1},
      {"impersonating a standard user", 0, {{&kUsers, kEnabled}}, 0, {{&kAdmins, kEnabled}}, 0, 0},
      {"impersonating an administrator", 0, {{&kAdmins, kEnabled}}, 0, {{&kUsers, kEnabled}}, 1, 0},
      {"thread token access denied", 5, {}, 0, {{&kAdmins, kEnabled}}, 0, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeTokenLayer layer;
    layer.threadError = c.threadError;
    layer.threadGroups = c.threadGroups;
    layer.processError = c.processError;
    layer.processGroups = c.processGroups;
    EXPECT_EQ(AmIAdministrator(layer), c.expected);
    EXPECT_EQ(layer.processTries, c.processTries);
    ExpectReleased(layer);
  }
}

// Reading the group list: the size query, the stack bound, and failures.
TEST(AmIAdministratorTest, ReadsTheGroupListOnlyWhenItMaySafely) {
  const std::uint32_t fits = kFirstGroupOffset + 2 * sizeof(GroupEntry);
  const struct {
    const char* name;
    std::optional<std::uint32_t> sizeQueryError, reportedSize, countInRecord;
    std::uint32_t readError;
    bool buildFails;
    std::int32_t expected;
    std::uint32_t readSize;  // 0: the list is never read
  } kCases[] = {
      {"plain", {}, {}, {}, 0, false, 1, fits},
      {"size query succeeds", kErrorSuccess, {}, {}, 0, false, 0, 0},
      {"size query fails otherwise", 87, {}, {}, 0, false, 0, 0},
      {"read fails", {}, {}, {}, 5, false, 0, fits},
      {"identifier cannot be built", {}, {}, {}, 0, true, 0, fits},
      {"size rounded up to 4", {}, fits + 1, {}, 0, false, 1, fits + 4},
      {"size at the bound", {}, kGroupListLimit, {}, 0, false, 1, kGroupListLimit},
      {"size above the bound", {}, kGroupListLimit + 1, {}, 0, false, 0, 0},
      {"count beyond the bytes read", {}, {}, 3, 0, false, 0, fits},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeTokenLayer layer;
    layer.processGroups = {{&kUsers, kEnabled}, {&kAdmins, kEnabled}};
    layer.sizeQueryError = c.sizeQueryError;
    layer.reportedSize = c.reportedSize;
    layer.countInRecord = c.countInRecord;
    layer.readError = c.readError;
    layer.buildFails = c.buildFails;
    EXPECT_EQ(AmIAdministrator(layer), c.expected);
    EXPECT_EQ(layer.readSize, c.readSize);
    ExpectReleased(layer);
  }
}

}  // namespace
}  // namespace tolvane::probe
