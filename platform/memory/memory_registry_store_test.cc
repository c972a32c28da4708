// The in-memory store's own controls: restrictions, injected faults, open
// key counting, handles on deleted keys and snapshots. The semantics it
// shares with the system registry are covered by the contract suite.
#include "platform/memory/memory_registry_store.h"

#include <gtest/gtest.h>

#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::KeyExists;
using testing::ReadString;
using testing::WriteString;
using Restriction = MemoryRegistryStore::Restriction;

TEST(MemoryRegistryStoreTest, ReadOnlyKeyOpensForReadingOnly) {
  MemoryRegistryStore store;
  WriteString(store, kHkeyClassesRoot, u"Locked\\Child", u"v", u"1");
  ASSERT_EQ(store.Restrict(kHkeyClassesRoot, u"locked", Restriction::kReadOnly), kErrorSuccess);

  RegKey key = kNoKey;
  EXPECT_EQ(store.OpenKey(kHkeyClassesRoot, u"Locked", kKeyAllAccess, &key), kErrorAccessDenied);
  EXPECT_EQ(key, kNoKey);
  ASSERT_EQ(store.OpenKey(kHkeyClassesRoot, u"Locked", kKeyRead, &key), kErrorSuccess);
  const char16_t data[] = u"x";
  EXPECT_EQ(store.SetValue(key, u"n", kRegSz, data, sizeof data), kErrorAccessDenied);
  RegKey child = kNoKey;
  EXPECT_EQ(store.CreateKey(key, u"New", kKeyAllAccess, &child, nullptr), kErrorAccessDenied);
  EXPECT_EQ(store.CreateKey(kHkeyClassesRoot, u"Locked\\New\\Deeper", kKeyAllAccess, &child, nullptr),
            kErrorAccessDenied);
  EXPECT_FALSE(KeyExists(store, kHkeyClassesRoot, u"Locked\\New"));
  EXPECT_EQ(store.CloseKey(key), kErrorSuccess);
  // Its child is not restricted; deleting the tree stops at the locked key.
  EXPECT_EQ(store.DeleteTree(kHkeyClassesRoot, u"Locked"), kErrorAccessDenied);
  EXPECT_FALSE(KeyExists(store, kHkeyClassesRoot, u"Locked\\Child"));
  EXPECT_TRUE(KeyExists(store, kHkeyClassesRoot, u"Locked"));
  EXPECT_EQ(store.OpenKeyCount(), 0u);
}

TEST(MemoryRegistryStoreTest, UnopenableKeyRefusesEveryOpen) {
  MemoryRegistryStore store;
  WriteString(store, kHkeyCurrentUser, u"Hidden", nullptr, nullptr);
  ASSERT_EQ(store.Restrict(kHkeyCurrentUser, u"Hidden", Restriction::kUnopenable), kErrorSuccess);
  RegKey key = kNoKey;
  EXPECT_EQ(store.OpenKey(kHkeyCurrentUser, u"Hidden", kKeyRead, &key), kErrorAccessDenied);
  EXPECT_EQ(store.CreateKey(kHkeyCurrentUser, u"Hidden", kKeyRead, &key, nullptr),
            kErrorAccessDenied);
  EXPECT_EQ(store.Restrict(kHkeyCurrentUser, u"Missing", Restriction::kReadOnly),
            kErrorFileNotFound);
  EXPECT_EQ(store.OpenKeyCount(), 0u);
}

TEST(MemoryRegistryStoreTest, InjectedFaultHitsExactlyTheNthCallOfItsKind) {
  MemoryRegistryStore store;
  store.FailNth(StoreOperation::kSetValue, 2, kErrorAccessDenied);
  WriteString(store, kHkeyCurrentUser, u"A", u"first", u"1");
  RegKey key = kNoKey;
  ASSERT_EQ(store.OpenKey(kHkeyCurrentUser, u"A", kKeyAllAccess, &key), kErrorSuccess);
  const char16_t data[] = u"2";
  EXPECT_EQ(store.SetValue(key, u"second", kRegSz, data, sizeof data), kErrorAccessDenied);
  EXPECT_EQ(store.SetValue(key, u"third", kRegSz, data, sizeof data), kErrorSuccess);
  store.CloseKey(key);
  EXPECT_EQ(ReadString(store, kHkeyCurrentUser, u"A", u"second"), u"<missing>");
  EXPECT_EQ(ReadString(store, kHkeyCurrentUser, u"A", u"third"), u"2");

  // kAny counts every call but closes.
  store.FailNth(StoreOperation::kAny, 1, 1234);
  EXPECT_EQ(store.OpenKey(kHkeyCurrentUser, u"A", kKeyRead, &key), 1234);
  EXPECT_EQ(key, kNoKey);
  EXPECT_EQ(store.OpenKeyCount(), 0u);
}

TEST(MemoryRegistryStoreTest, FailedCloseStillReleasesTheHandle) {
  MemoryRegistryStore store;
  RegKey key = kNoKey;
  ASSERT_EQ(store.CreateKey(kHkeyCurrentUser, u"A", kKeyAllAccess, &key, nullptr), kErrorSuccess);
  EXPECT_EQ(store.OpenKeyCount(), 1u);
  store.FailNth(StoreOperation::kCloseKey, 1, kErrorInvalidHandle);
  EXPECT_EQ(store.CloseKey(key), kErrorInvalidHandle);
  EXPECT_EQ(store.OpenKeyCount(), 0u);
  EXPECT_EQ(store.CloseKey(key), kErrorInvalidHandle);
}

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
  const std::vector<Text> expected = {
      u"HKEY_CURRENT_USER\\S",        u"HKEY_CURRENT_USER\\S\\10",
      u"HKEY_CURRENT_USER\\S\\9",     u"HKEY_CURRENT_USER\\S\\Alpha",
      u"HKEY_CURRENT_USER\\S\\Alpha\\Inner", u"HKEY_CURRENT_USER\\S\\beta",
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

TEST(MemoryRegistryStoreTest, LogRecordsPathsAndAccess) {
  MemoryRegistryStore store;
  RegKey key = kNoKey;
  store.CreateKey(kHkeyClassesRoot, u"X\\Y", kKeyReadWrite, &key, nullptr);
  store.CloseKey(key);
  store.OpenKey(kHkeyClassesRoot, u"X\\Missing", kKeyRead, &key);
  ASSERT_EQ(store.Log().size(), 3u);
  EXPECT_EQ(store.Log()[0].operation, StoreOperation::kCreateKey);
  EXPECT_EQ(store.Log()[0].path, u"HKEY_CLASSES_ROOT\\X\\Y");
  EXPECT_EQ(store.Log()[0].access, kKeyReadWrite);
  EXPECT_EQ(store.Log()[2].result, kErrorFileNotFound);
}

}  // namespace
}  // namespace tolvane
