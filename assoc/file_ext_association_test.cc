#include "assoc/file_ext_association.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::Dump;
using testing::KeyExists;
using testing::ReadString;
using testing::TestPlatform;
using testing::WriteString;

constexpr char16_t kTree[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";
constexpr char16_t kPerUserZdw[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.zdw";
constexpr char16_t kZdwCommand[] = u"\"C:\\Suite\\Bin\\Zdw.exe\" \"%1\"";

void AddClass(RegistryStore& registry, const Text& progId, const char16_t* command) {
  WriteString(registry, kHkeyClassesRoot, progId.c_str(), nullptr, u"Document");
  if (command != nullptr) {
    const Text path = progId + u"\\shell\\open\\command";
    WriteString(registry, kHkeyClassesRoot, path.c_str(), nullptr, command);
  }
}

// The stored value name of the key with full path, if there is one.
std::optional<StoredValue> FindValue(const MemoryRegistryStore& store, const Text& path,
                                     const Text& name) {
  for (const StoredKey& key : store.Snapshot()) {
    if (key.path != path) continue;
    for (const StoredValue& value : key.values) {
      if (value.name == name) return value;
    }
  }
  return std::nullopt;
}

class FileExtAssociationTest : public ::testing::Test {
 protected:
  void SetUp() override { AddClass(t_.registry, u"Zdw.Document.8", kZdwCommand); }

  void ExpectNothingWrittenOrSent(const std::vector<std::string>& before) {
    EXPECT_EQ(Dump(t_.memory), before);
    EXPECT_EQ(t_.notifier.count(), 0u);
    EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
  }

  TestPlatform t_;
};

TEST_F(FileExtAssociationTest, SameExecutableThroughAnotherProgIdIsAlreadyAssociated) {
  AddClass(t_.registry, u"Zdw.Document.7", u"\"C:\\Suite\\Bin\\Zdw.exe\" /compat \"%1\"");
  WriteString(t_.registry, kHkeyClassesRoot, u".zdw", nullptr, u"Zdw.Document.7");
  WriteString(t_.registry, kHkeyCurrentUser, kTree, nullptr, nullptr);
  const auto before = Dump(t_.memory);

  EXPECT_EQ(ChangeFileExtAssociation(t_.platform, u".zdw", u"Zdw.Document.8"), kAssocChanged);
  ExpectNothingWrittenOrSent(before);
}

struct AssociatedCase {
  const char* name;
  const char16_t* extensionCommand;  // null: the extension has no open verb
  const char16_t* progIdCommand;     // null: the ProgID has no open verb
  bool associated;
};

// A failing case is reported by its name, not as a dump of its bytes.
void PrintTo(const AssociatedCase& c, std::ostream* os) { *os << c.name; }

class IsExtAssociatedWithTest : public ::testing::TestWithParam<AssociatedCase> {};

TEST_P(IsExtAssociatedWithTest, ComparesOpenExecutables) {
  const AssociatedCase& c = GetParam();
  TestPlatform t;
  AddClass(t.registry, u"Other.Document", c.extensionCommand);
  AddClass(t.registry, u"Zdw.Document.8", c.progIdCommand);
  WriteString(t.registry, kHkeyClassesRoot, u".zdw", nullptr, u"Other.Document");

  EXPECT_EQ(IsExtAssociatedWith(t.platform, u".zdw", u"Zdw.Document.8"), c.associated);
  EXPECT_EQ(t.registry.OpenKeyCount(), 0u);
}

const AssociatedCase kAssociatedCases[] = {
    {"SamePath", u"C:\\Suite\\Zdw.exe \"%1\"", u"\"C:\\Suite\\Zdw.exe\"", true},
    {"AsciiCaseDiffers", u"c:\\suite\\ZDW.EXE", u"C:\\Suite\\zdw.exe", true},
    {"NonAsciiCaseDiffers", u"C:\\\u00c9t\u00e9\\Zdw.exe", u"C:\\\u00e9t\u00e9\\Zdw.exe", false},
    {"OtherProgram", u"C:\\Suite\\Zdw.exe", u"C:\\Suite\\Zdx.exe", false},
    {"ExtensionOpensWithNothing", nullptr, u"C:\\Suite\\Zdw.exe", false},
    {"ProgIdOpensWithNothing", u"C:\\Suite\\Zdw.exe", nullptr, false},
    {"NeitherOpens", nullptr, nullptr, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, IsExtAssociatedWithTest, ::testing::ValuesIn(kAssociatedCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
  const char* name;
  const char16_t* extension;
  const char16_t* progId;
};

// A failing case is reported by its name, not as a dump of its bytes.
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class RefusedAssociationTest : public ::testing::TestWithParam<RefusalCase> {};

const Text kLongExtension = u"." + Text(199, u'x');  // 200 characters: one too many

TEST_P(RefusedAssociationTest, AnswersFiveAndWritesNothing) {
  const RefusalCase& c = GetParam();
  TestPlatform t;
  AddClass(t.registry, u"Zdw.Document.8", kZdwCommand);
  WriteString(t.registry, kHkeyClassesRoot, u"Zdw.Document.8\\sub", nullptr, nullptr);
  WriteString(t.registry, kHkeyCurrentUser, kTree, nullptr, nullptr);
  const auto before = Dump(t.memory);

  EXPECT_EQ(ChangeFileExtAssociation(t.platform, c.extension, c.progId), kAssocRefused);
  EXPECT_EQ(Dump(t.memory), before);
  EXPECT_EQ(t.notifier.count(), 0u);
  EXPECT_EQ(t.registry.OpenKeyCount(), 0u);
}

const RefusalCase kRefusalCases[] = {
    {"NoDot", u"zdw", u"Zdw.Document.8"},
    {"NullExtension", nullptr, u"Zdw.Document.8"},
    {"EmptyExtension", u"", u"Zdw.Document.8"},
    {"ExtensionWithBackslash", u".zdw\\shell", u"Zdw.Document.8"},
    {"ExtensionTooLongForPerUserPath", kLongExtension.c_str(), u"Zdw.Document.8"},
    {"MissingProgIdKey", u".zdw", u"Zdw.Document.9"},
    {"NullProgId", u".zdw", nullptr},
    {"EmptyProgId", u".zdw", u""},
    {"ProgIdWithBackslash", u".zdw", u"Zdw.Document.8\\sub"},
};

INSTANTIATE_TEST_SUITE_P(Cases, RefusedAssociationTest, ::testing::ValuesIn(kRefusalCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileExtAssociationTest, ProgIdNotOpenableWithFullAccessIsRefused) {
  ASSERT_EQ(t_.registry.Restrict(kHkeyClassesRoot, u"Zdw.Document.8",
                                 FaultInjectingRegistryStore::Restriction::kReadOnly),
            kErrorSuccess);
  const auto before = Dump(t_.memory);
  EXPECT_EQ(ChangeFileExtAssociation(t_.platform, u".zdw", u"Zdw.Document.8"), kAssocRefused);
  ExpectNothingWrittenOrSent(before);
}

TEST_F(FileExtAssociationTest, LongestExtensionThatFitsThePerUserPathIsWritten) {
  WriteString(t_.registry, kHkeyCurrentUser, kTree, nullptr, nullptr);
  const Text extension = u"." + Text(198, u'x');  // 199 characters
  EXPECT_EQ(ChangeFileExtAssociation(t_.platform, extension.c_str(), u"Zdw.Document.8"),
            kAssocChanged);
  const Text perUser = Text(kTree) + u"\\" + extension;
  EXPECT_EQ(ReadString(t_.registry, kHkeyCurrentUser, perUser.c_str(), u"ProgID"),
            u"Zdw.Document.8");
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
}

TEST_F(FileExtAssociationTest, WithoutPerUserTreeOnlyClassesRootIsWritten) {
  EXPECT_EQ(ChangeFileExtAssociation(t_.platform, u".zdw", u"Zdw.Document.8"), kAssocChanged);
  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u".zdw", nullptr), u"Zdw.Document.8");
  std::vector<StoredKey> currentUser;
  EXPECT_EQ(t_.memory.SnapshotTree(kHkeyCurrentUser, u"Software", &currentUser),
            kErrorFileNotFound);
  EXPECT_EQ(t_.notifier.count(), 1u);
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
}

TEST_F(FileExtAssociationTest, PerUserTreeWithoutFullAccessIsSkipped) {
  WriteString(t_.registry, kHkeyCurrentUser, kTree, nullptr, nullptr);
  ASSERT_EQ(t_.registry.Restrict(kHkeyCurrentUser, kTree,
                                 FaultInjectingRegistryStore::Restriction::kReadOnly),
            kErrorSuccess);
  EXPECT_EQ(ChangeFileExtAssociation(t_.platform, u".zdw", u"Zdw.Document.8"), kAssocChanged);
  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u".zdw", nullptr), u"Zdw.Document.8");
  EXPECT_FALSE(KeyExists(t_.registry, kHkeyCurrentUser, kPerUserZdw));
  EXPECT_EQ(t_.notifier.count(), 1u);
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
}

TEST_F(FileExtAssociationTest, OnlyApplicationGoesFromThePerUserKey) {
  WriteString(t_.registry, kHkeyClassesRoot, u".zdw", nullptr, u"Old.Document");
  WriteString(t_.registry, kHkeyCurrentUser, kPerUserZdw, u"Application", u"other.exe");
  WriteString(t_.registry, kHkeyCurrentUser, kPerUserZdw, u"ProgID", u"Old.Document");
  WriteString(t_.registry, kHkeyCurrentUser, kPerUserZdw, u"Kept", u"yes");
  const Text child = Text(kPerUserZdw) + u"\\OpenWithList";
  WriteString(t_.registry, kHkeyCurrentUser, child.c_str(), u"a", u"other.exe");

  EXPECT_EQ(ChangeFileExtAssociation(t_.platform, u".zdw", u"Zdw.Document.8"), kAssocChanged);

  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u".zdw", nullptr), u"Zdw.Document.8");
  EXPECT_EQ(ReadString(t_.registry, kHkeyCurrentUser, kPerUserZdw, u"Application"), u"<missing>");
  EXPECT_EQ(ReadString(t_.registry, kHkeyCurrentUser, kPerUserZdw, u"ProgID"), u"Zdw.Document.8");
  EXPECT_EQ(ReadString(t_.registry, kHkeyCurrentUser, kPerUserZdw, u"Kept"), u"yes");
  EXPECT_EQ(ReadString(t_.registry, kHkeyCurrentUser, child.c_str(), u"a"), u"other.exe");
  EXPECT_EQ(t_.notifier.count(), 1u);
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
}

TEST_F(FileExtAssociationTest, MissingPerUserSubkeyIsCreated) {
  WriteString(t_.registry, kHkeyCurrentUser, kTree, nullptr, nullptr);
  EXPECT_EQ(ChangeFileExtAssociation(t_.platform, u".zdw", u"Zdw.Document.8"), kAssocChanged);
  EXPECT_EQ(ReadString(t_.registry, kHkeyCurrentUser, kPerUserZdw, u"ProgID"), u"Zdw.Document.8");
  EXPECT_EQ(t_.notifier.count(), 1u);
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
}

TEST_F(FileExtAssociationTest, WritesStringsWithTerminatorInOrderWithFullAccess) {
  WriteString(t_.registry, kHkeyCurrentUser, kPerUserZdw, u"Application", u"other.exe");
  t_.registry.ClearLog();
  ASSERT_TRUE(WriteFileExtAssociation(t_.platform, u"Zdw.Document.8", u".zdw").ok());

  const Text hkcr = u"HKEY_CLASSES_ROOT\\";
  const Text perUser = u"HKEY_CURRENT_USER\\" + Text(kPerUserZdw);
  const std::vector<std::pair<StoreOperation, Text>> expected = {
      {StoreOperation::kOpenKey, hkcr + u"Zdw.Document.8"},
      {StoreOperation::kCloseKey, hkcr + u"Zdw.Document.8"},
      {StoreOperation::kCreateKey, hkcr + u".zdw"},
      {StoreOperation::kSetValue, hkcr + u".zdw"},
      {StoreOperation::kCloseKey, hkcr + u".zdw"},
      {StoreOperation::kOpenKey, u"HKEY_CURRENT_USER\\" + Text(kTree)},
      {StoreOperation::kCloseKey, u"HKEY_CURRENT_USER\\" + Text(kTree)},
      {StoreOperation::kOpenKey, perUser},
      {StoreOperation::kDeleteValue, perUser},
      {StoreOperation::kCloseKey, perUser},
      {StoreOperation::kCreateKey, perUser},
      {StoreOperation::kSetValue, perUser},
      {StoreOperation::kCloseKey, perUser},
  };
  const auto& log = t_.registry.Log();
  ASSERT_EQ(log.size(), expected.size());
  for (std::size_t i = 0; i < log.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(log[i].operation, expected[i].first);
    EXPECT_EQ(log[i].path, expected[i].second);
    EXPECT_EQ(log[i].result, kErrorSuccess);
    if (log[i].operation == StoreOperation::kOpenKey ||
        log[i].operation == StoreOperation::kCreateKey) {
      EXPECT_EQ(log[i].access, kKeyAllAccess);
    }
  }
  EXPECT_EQ(log[8].name, u"Application");
  EXPECT_EQ(log[11].name, u"ProgID");

  // Both strings are REG_SZ with the terminator counted: 2 x (14 + 1) bytes.
  const std::vector<std::pair<Text, Text>> written = {{hkcr + u".zdw", u""}, {perUser, u"ProgID"}};
  for (const auto& [path, name] : written) {
    const std::optional<StoredValue> value = FindValue(t_.memory, path, name);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, kRegSz);
    EXPECT_EQ(value->data, std::string("Z\0d\0w\0.\0D\0o\0c\0u\0m\0e\0n\0t\0.\08\0\0\0", 30));
  }
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
}

TEST_F(FileExtAssociationTest, FailingPerUserWriteKeepsClassesRootValueAndSendsNothing) {
  WriteString(t_.registry, kHkeyCurrentUser, kTree, nullptr, nullptr);
  t_.registry.FailNth(StoreOperation::kSetValue, 2, kErrorAccessDenied);
  EXPECT_EQ(ChangeFileExtAssociation(t_.platform, u".zdw", u"Zdw.Document.8"), kAssocRefused);
  t_.registry.ClearFault();
  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u".zdw", nullptr), u"Zdw.Document.8");
  EXPECT_EQ(ReadString(t_.registry, kHkeyCurrentUser, kPerUserZdw, u"ProgID"), u"<missing>");
  EXPECT_EQ(t_.notifier.count(), 0u);
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
}

TEST_F(FileExtAssociationTest, PerUserKeyNotWritableFailsAfterClassesRoot) {
  WriteString(t_.registry, kHkeyCurrentUser, kPerUserZdw, u"Application", u"other.exe");
  ASSERT_EQ(t_.registry.Restrict(kHkeyCurrentUser, kPerUserZdw,
                                 FaultInjectingRegistryStore::Restriction::kReadOnly),
            kErrorSuccess);
  EXPECT_EQ(ChangeFileExtAssociation(t_.platform, u".zdw", u"Zdw.Document.8"), kAssocRefused);
  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u".zdw", nullptr), u"Zdw.Document.8");
  EXPECT_EQ(ReadString(t_.registry, kHkeyCurrentUser, kPerUserZdw, u"Application"), u"other.exe");
  EXPECT_EQ(t_.notifier.count(), 0u);
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
}

TEST_F(FileExtAssociationTest, FailingClassesRootWriteAnswersFiveBeforePerUserSteps) {
  WriteString(t_.registry, kHkeyCurrentUser, kTree, nullptr, nullptr);
  t_.registry.FailNth(StoreOperation::kSetValue, 1, kErrorAccessDenied);
  EXPECT_EQ(ChangeFileExtAssociation(t_.platform, u".zdw", u"Zdw.Document.8"), kAssocRefused);
  t_.registry.ClearFault();
  EXPECT_FALSE(KeyExists(t_.registry, kHkeyCurrentUser, kPerUserZdw));
  EXPECT_EQ(t_.notifier.count(), 0u);
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
}

TEST_F(FileExtAssociationTest, SecondChangeFindsTheAssociationInPlace) {
  EXPECT_EQ(ChangeFileExtAssociation(t_.platform, u".zdw", u"Zdw.Document.8"), kAssocChanged);
  const auto after = Dump(t_.memory);
  EXPECT_EQ(ChangeFileExtAssociation(t_.platform, u".zdw", u"Zdw.Document.8"), kAssocChanged);
  EXPECT_EQ(Dump(t_.memory), after);
  EXPECT_EQ(t_.notifier.count(), 1u);
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
}

TEST_F(FileExtAssociationTest, SendAssocChangedNotifyAlwaysAnswersZero) {
  EXPECT_EQ(SendAssocChangedNotify(t_.platform), 0);
  EXPECT_EQ(SendAssocChangedNotify(t_.platform), 0);
  EXPECT_EQ(t_.notifier.count(), 2u);
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
}

}  // namespace
}  // namespace tolvane
