// Reading a tree past the keys that cannot be read: each is named with the
// store's code and the rest is read; without a list to name them in, the
// read gives up as before. Every key opened is closed.
#include "platform/registry_snapshot.h"

#include <gtest/gtest.h>

#include "tests/fault_injecting_registry_store.h"
#include "tests/test_platform.h"

namespace tolvane {
namespace {

using Restriction = FaultInjectingRegistryStore::Restriction;

TEST(RegistrySnapshotTest, ReadsPastKeysThatCannotBeRead) {
  const Text top = u"HKEY_CURRENT_USER\\T";
  const struct {
    StoreOperation failing;  // kAny: the key T\B cannot be opened instead
    int nth;                 // which call of it fails (the root's listing comes first)
    std::vector<Text> read;
    std::vector<Text> unread;
  } kCases[] = {
      {StoreOperation::kAny,
       0,
       {top, top + u"\\A", top + u"\\A\\Inner", top + u"\\C"},
       {top + u"\\B"}},
      {StoreOperation::kEnumKey, 3, {top}, {top}},
      {StoreOperation::kEnumValue,
       1,
       {top, top + u"\\A", top + u"\\A\\Inner", top + u"\\B", top + u"\\C"},
       {top}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.failing));
    MemoryRegistryStore memory;
    for (const char16_t* path : {u"T\\A\\Inner", u"T\\B", u"T\\C"}) {
      testing::WriteString(memory, kHkeyCurrentUser, path, u"v", u"1");
    }
    FaultInjectingRegistryStore store(memory);
    if (c.failing == StoreOperation::kAny) {
      ASSERT_EQ(store.Restrict(kHkeyCurrentUser, u"T\\B", Restriction::kUnopenable), 0);
    }
    for (const bool passOver : {false, true}) {
      if (c.failing != StoreOperation::kAny) store.FailNth(c.failing, c.nth, 5);
      std::vector<StoredKey> keys;
      std::vector<UnreadKey> unread;
      const ErrorCode code =
          ReadRegistryTree(store, kHkeyCurrentUser, u"T", &keys, passOver ? &unread : nullptr);
      EXPECT_EQ(store.OpenKeyCount(), 0u);
      if (!passOver) {
        EXPECT_EQ(code, 5u);
        EXPECT_TRUE(keys.empty());
        continue;
      }
      ASSERT_EQ(code, 0u);
      std::vector<Text> paths;
      for (const StoredKey& key : keys) paths.push_back(key.path);
      EXPECT_EQ(paths, c.read);
      std::vector<Text> named;
      for (const UnreadKey& key : unread) named.push_back(key.path);
      EXPECT_EQ(named, c.unread);
      for (const UnreadKey& key : unread) EXPECT_EQ(key.code, 5u);
    }
  }
}

}  // namespace
}  // namespace tolvane
