#include "cli/change_journal.h"

#include <gtest/gtest.h>

#include "platform/memory/memory_registry_store.h"
#include "tests/test_platform.h"

namespace tolvane::cli {
namespace {

std::vector<std::string> Describe(const std::vector<Change>& changes) {
  static const char* const kNames[] = {"create", "set", "delete-value", "delete-key"};
  std::vector<std::string> lines;
  for (const Change& c : changes) {
    std::string line = std::string(kNames[static_cast<int>(c.kind)]) + " " + Utf16ToUtf8(c.key);
    if (c.kind == ChangeKind::kSetValue || c.kind == ChangeKind::kDeleteValue) {
      line += c.hasName ? " [" + Utf16ToUtf8(c.name) + "]" : " [@]";
    }
    lines.push_back(line);
  }
  return lines;
}

TEST(JournalingRegistryStoreTest, RecordsEveryChangeInOrderWithFullPaths) {
  MemoryRegistryStore memory;
  testing::WriteString(memory, kHkeyClassesRoot, u"A", nullptr, nullptr);
  JournalingRegistryStore journal(memory);

  RegKey key = kNoKey;
  bool created = false;
  ASSERT_EQ(journal.CreateKey(kHkeyClassesRoot, u"a\\B\\C", kKeyAllAccess, &key, &created),
            kErrorSuccess);
  EXPECT_TRUE(created);
  const char16_t text[] = u"v";
  journal.SetValue(key, nullptr, kRegSz, text, sizeof text);
  journal.SetValue(key, u"Named", kRegSz, text, sizeof text);
  journal.DeleteValue(key, u"Named");
  EXPECT_EQ(journal.DeleteValue(key, u"Named"), kErrorFileNotFound);  // no change: not recorded
  RegKey child = kNoKey;
  ASSERT_EQ(journal.CreateKey(key, u"D", kKeyAllAccess, &child, nullptr), kErrorSuccess);
  journal.CloseKey(child);
  ASSERT_EQ(journal.CreateKey(key, u"D", kKeyAllAccess, &child, nullptr), kErrorSuccess);  // exists
  journal.CloseKey(child);
  journal.CloseKey(key);
  journal.DeleteTree(kHkeyClassesRoot, u"A\\B");
  journal.DeleteKey(kHkeyClassesRoot, u"A");

  const std::vector<std::string> expected = {
      "create HKEY_CLASSES_ROOT\\a\\B",
      "create HKEY_CLASSES_ROOT\\a\\B\\C",
      "set HKEY_CLASSES_ROOT\\a\\B\\C [@]",
      "set HKEY_CLASSES_ROOT\\a\\B\\C [Named]",
      "delete-value HKEY_CLASSES_ROOT\\a\\B\\C [Named]",
      "create HKEY_CLASSES_ROOT\\a\\B\\C\\D",
      "delete-key HKEY_CLASSES_ROOT\\A\\B",
      "delete-key HKEY_CLASSES_ROOT\\A",
  };
  EXPECT_EQ(Describe(journal.changes()), expected);
  EXPECT_EQ(journal.changes()[3].data, std::string("v\0\0\0", 4));
  EXPECT_EQ(memory.OpenKeyCount(), 0u);
}

TEST(JournalingRegistryStoreTest, FailedCallsRecordNothing) {
  MemoryRegistryStore memory;
  FaultInjectingRegistryStore faults(memory);
  JournalingRegistryStore journal(faults);
  faults.FailNth(StoreOperation::kCreateKey, 1, kErrorAccessDenied);
  RegKey key = kNoKey;
  EXPECT_EQ(journal.CreateKey(kHkeyCurrentUser, u"X", kKeyAllAccess, &key, nullptr),
            kErrorAccessDenied);
  EXPECT_EQ(journal.DeleteTree(kHkeyCurrentUser, u"Missing"), kErrorFileNotFound);
  EXPECT_TRUE(journal.changes().empty());
  EXPECT_EQ(memory.OpenKeyCount(), 0u);
}

}  // namespace
}  // namespace tolvane::cli
