// The in-memory store's own behaviour: handles on deleted keys and
// snapshots. The semantics it shares with the system registry are covered by
// the contract suite.
#include "platform/memory/memory_registry_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>

#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::KeyExists;
using testing::ReadString;
using testing::WriteString;

TEST(MemoryRegistryStoreTest, HandleOnDeletedKeyAnswersKeyDeleted) {
  MemoryRegistryStore store;
  RegKey key = kNoKey;
  ASSERT_EQ(store.CreateKey(kHkeyCurrentUser, u"Gone\\Sub", kKeyAllAccess, &key, nullptr),
            kErrorSuccess);
  ASSERT_EQ(store.DeleteTree(kHkeyCurrentUser, u"Gone"), kErrorSuccess);
  const char16_t data[] = u"x";
  EXPECT_EQ(store.SetValue(key, nullptr, kRegSz, data, sizeof data), kErrorKeyDeleted);
  RegKey child = kNoKey;
  EXPECT_EQ(store.CreateKey(key, u"Again", kKeyAllAccess, &child, nullptr), kErrorKeyDeleted);
  // Keys made afterwards reuse the deleted keys' memory, never the one a
  // handle still holds.
  for (int i = 0; i < 200; ++i) {
    const Text path = u"New\\" + Text(1, char16_t(u'A' + i % 26)) + Text(i / 26 + 1, u'x');
    WriteString(store, kHkeyCurrentUser, path.c_str(), u"v", u"1");
  }
  EXPECT_EQ(store.SetValue(key, nullptr, kRegSz, data, sizeof data), kErrorKeyDeleted);
  EXPECT_EQ(store.CloseKey(key), kErrorSuccess);
  EXPECT_EQ(store.OpenKeyCount(), 0u);
  EXPECT_FALSE(KeyExists(store, kHkeyCurrentUser, u"Gone"));
}

// Many subkeys, added in and out of name order, deleted in another order:
// every remaining one is found under any case, listing stays in name order.
// The in-memory store refuses to make a subkey through a handle without the
// create right (the system registry under Wine makes it); a refused path
// leaves no partial keys behind.
TEST(MemoryRegistryStoreTest, CreateThroughAHandleWithoutTheCreateRightMakesNothing) {
  MemoryRegistryStore store;
  WriteString(store, kHkeyCurrentUser, u"K", u"V", u"v");
  RegKey reader = kNoKey;
  ASSERT_EQ(store.OpenKey(kHkeyCurrentUser, u"K", kKeyRead, &reader), kErrorSuccess);
  RegKey made = kNoKey;
  EXPECT_EQ(store.CreateKey(reader, u"New\\Deeper", kKeyRead, &made, nullptr), kErrorAccessDenied);
  EXPECT_EQ(made, kNoKey);
  EXPECT_FALSE(KeyExists(store, kHkeyCurrentUser, u"K\\New"));
  EXPECT_EQ(store.CloseKey(reader), kErrorSuccess);
  EXPECT_EQ(store.OpenKeyCount(), 0u);
}

TEST(MemoryRegistryStoreTest, ManySubkeysAreFoundAndListedWhateverTheOrder) {
  struct Case {
    const char* name;
    int count;
    bool shuffled;
    int deleteEvery;
  };
  const Case cases[] = {{"few, in order", 10, false, 3},
                        {"many, in order", 3000, false, 7},
                        {"many, shuffled", 3000, true, 2},
                        {"many, shuffled, all deleted", 5000, true, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryRegistryStore store;
    std::vector<Text> names;
    for (int i = 0; i < c.count; ++i) {
      const std::string digits = std::to_string(100000 + i);
      names.push_back(u"Key" + Text(digits.begin(), digits.end()));
    }
    std::vector<Text> order = names;
    if (c.shuffled) std::shuffle(order.begin(), order.end(), std::mt19937(7));
    for (const Text& n : order) {
      WriteString(store, kHkeyCurrentUser, (u"P\\" + n).c_str(), nullptr, n.c_str());
    }
    std::set<Text> left(names.begin(), names.end());
    for (std::size_t i = 0; i < order.size(); i += static_cast<std::size_t>(c.deleteEvery)) {
      ASSERT_EQ(store.DeleteKey(kHkeyCurrentUser, (u"P\\" + order[i]).c_str()), kErrorSuccess);
      left.erase(order[i]);
    }
    for (const Text& n : names) {
      Text upper = n;
      std::transform(upper.begin(), upper.end(), upper.begin(),
                     [](char16_t u) { return u >= u'a' && u <= u'z' ? char16_t(u - 32) : u; });
      EXPECT_EQ(KeyExists(store, kHkeyCurrentUser, (u"P\\" + upper).c_str()), left.count(n) > 0);
    }
    RegKey parent = kNoKey;
    ASSERT_EQ(store.OpenKey(kHkeyCurrentUser, u"P", kKeyRead, &parent), kErrorSuccess);
    std::vector<Text> listed;
    char16_t name[kMaxKeyNameUnits + 1];
    for (std::uint32_t i = 0;; ++i) {
      std::uint32_t units = kMaxKeyNameUnits + 1;
      if (store.EnumKey(parent, i, name, &units) != kErrorSuccess) break;
      listed.emplace_back(name, units);
    }
    EXPECT_EQ(store.CloseKey(parent), kErrorSuccess);
    EXPECT_EQ(listed, std::vector<Text>(left.begin(), left.end()));
  }
}

// Values keep the order they were first written through rewrites and
// deletions, however many a key holds.
TEST(MemoryRegistryStoreTest, ManyValuesKeepTheirOrderThroughRewritesAndDeletions) {
  const struct {
    int count;
    int deleteEvery;
  } kCases[] = {{10, 3}, {3000, 2}, {3000, 1}, {500, 7}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.count * 10 + c.deleteEvery);
    MemoryRegistryStore store;
    std::vector<Text> left;
    for (int i = 0; i < c.count; ++i) {
      const std::string digits = std::to_string(c.count - i);
      left.push_back(u"V" + Text(digits.begin(), digits.end()));
      WriteString(store, kHkeyCurrentUser, u"P", left.back().c_str(), u"1");
    }
    RegKey key = kNoKey;
    ASSERT_EQ(store.OpenKey(kHkeyCurrentUser, u"P", kKeyAllAccess, &key), kErrorSuccess);
    for (int i = 0; i < c.count; i += c.deleteEvery) {
      Text lower = left[static_cast<std::size_t>(i)];
      lower[0] = u'v';
      ASSERT_EQ(store.DeleteValue(key, lower.c_str()), kErrorSuccess);
      EXPECT_EQ(store.DeleteValue(key, lower.c_str()), kErrorFileNotFound);
      left[static_cast<std::size_t>(i)].clear();
    }
    ASSERT_EQ(store.CloseKey(key), kErrorSuccess);
    std::erase(left, Text());
    for (const Text& n : left) WriteString(store, kHkeyCurrentUser, u"P", n.c_str(), u"2");
    const std::vector<StoredKey> keys = store.Snapshot();
    std::vector<Text> listed;
    for (const StoredKey& key : keys) {
      for (const StoredValue& v : key.values) listed.push_back(v.name);
    }
    EXPECT_EQ(listed, left);
    EXPECT_EQ(ReadString(store, kHkeyCurrentUser, u"P", u"missing"), u"<missing>");
  }
}

TEST(MemoryRegistryStoreTest, SnapshotListsKeysDepthFirstInRegeditOrder) {
  MemoryRegistryStore store;
  for (const char16_t* path : {u"S\\Zeta", u"S\\beta", u"S\\Alpha\\Inner", u"S\\10", u"S\\9"}) {
    WriteString(store, kHkeyCurrentUser, path, nullptr, nullptr);
  }
  WriteString(store, kHkeyCurrentUser, u"S", u"second", u"2");
  WriteString(store, kHkeyCurrentUser, u"S", nullptr, u"default");
  const auto keys = store.Snapshot();
  std::vector<Text> paths;
  for (const StoredKey& k : keys) paths.push_back(k.path);
  const std::vector<Text> expected = {u"HKEY_CURRENT_USER\\S",
                                      u"HKEY_CURRENT_USER\\S\\10",
                                      u"HKEY_CURRENT_USER\\S\\9",
                                      u"HKEY_CURRENT_USER\\S\\Alpha",
                                      u"HKEY_CURRENT_USER\\S\\Alpha\\Inner",
                                      u"HKEY_CURRENT_USER\\S\\beta",
                                      u"HKEY_CURRENT_USER\\S\\Zeta"};
  EXPECT_EQ(paths, expected);
  ASSERT_EQ(keys[0].values.size(), 2u);
  EXPECT_EQ(keys[0].values[0].name, u"second");
  EXPECT_EQ(keys[0].values[1].name, u"");

  std::vector<StoredKey> tree;
  ASSERT_EQ(store.SnapshotTree(kHkeyCurrentUser, u"s\\alpha", &tree), kErrorSuccess);
  ASSERT_EQ(tree.size(), 2u);
  EXPECT_EQ(tree[0].path, u"HKEY_CURRENT_USER\\S\\Alpha");
  EXPECT_EQ(store.SnapshotTree(kHkeyCurrentUser, u"nope", &tree), kErrorFileNotFound);
}

}  // namespace
}  // namespace tolvane
