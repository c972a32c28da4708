// The test decorator's controls: restrictions, injected faults, open key
// counting and the call log, over the in-memory store.
#include "tests/fault_injecting_registry_store.h"

#include <gtest/gtest.h>

#include "platform/memory/memory_registry_store.h"
#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::KeyExists;
using testing::ReadString;
using testing::WriteString;
using Restriction = FaultInjectingRegistryStore::Restriction;

TEST(FaultInjectingRegistryStoreTest, ReadOnlyKeyOpensForReadingOnly) {
  MemoryRegistryStore memory;
  FaultInjectingRegistryStore store(memory);
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
  EXPECT_EQ(
      store.CreateKey(kHkeyClassesRoot, u"Locked\\New\\Deeper", kKeyAllAccess, &child, nullptr),
      kErrorAccessDenied);
  EXPECT_FALSE(KeyExists(store, kHkeyClassesRoot, u"Locked\\New"));
  EXPECT_EQ(store.CloseKey(key), kErrorSuccess);
  // Its child is not restricted; deleting the tree stops at the locked key.
  EXPECT_EQ(store.DeleteTree(kHkeyClassesRoot, u"Locked"), kErrorAccessDenied);
  EXPECT_FALSE(KeyExists(store, kHkeyClassesRoot, u"Locked\\Child"));
  EXPECT_TRUE(KeyExists(store, kHkeyClassesRoot, u"Locked"));
  EXPECT_EQ(store.OpenKeyCount(), 0u);
}

TEST(FaultInjectingRegistryStoreTest, UnopenableKeyRefusesEveryOpen) {
  MemoryRegistryStore memory;
  FaultInjectingRegistryStore store(memory);
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

TEST(FaultInjectingRegistryStoreTest, InjectedFaultHitsExactlyTheNthCallOfItsKind) {
  MemoryRegistryStore memory;
  FaultInjectingRegistryStore store(memory);
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

TEST(FaultInjectingRegistryStoreTest, FailedCloseStillReleasesTheHandle) {
  MemoryRegistryStore memory;
  FaultInjectingRegistryStore store(memory);
  RegKey key = kNoKey;
  ASSERT_EQ(store.CreateKey(kHkeyCurrentUser, u"A", kKeyAllAccess, &key, nullptr), kErrorSuccess);
  EXPECT_EQ(store.OpenKeyCount(), 1u);
  store.FailNth(StoreOperation::kCloseKey, 1, kErrorInvalidHandle);
  EXPECT_EQ(store.CloseKey(key), kErrorInvalidHandle);
  EXPECT_EQ(store.OpenKeyCount(), 0u);
  EXPECT_EQ(store.CloseKey(key), kErrorInvalidHandle);
}

TEST(FaultInjectingRegistryStoreTest, LogRecordsPathsAndAccess) {
  MemoryRegistryStore memory;
  FaultInjectingRegistryStore store(memory);
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
