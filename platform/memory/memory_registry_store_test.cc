// The in-memory store's own behaviour: handles on deleted keys and
// snapshots. The semantics it shares with the system registry are covered by
// the contract suite.
#include "platform/memory/memory_registry_store.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(store.CloseKey(key), kErrorSuccess);
  EXPECT_FALSE(KeyExists(store, kHkeyCurrentUser, u"Gone"));
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
