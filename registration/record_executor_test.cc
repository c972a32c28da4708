#include "registration/record_executor.h"

#include <gtest/gtest.h>

#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::KeyExists;
using testing::ReadString;
using testing::TestPlatform;
using testing::WriteString;

constexpr RegistrationRecord kEnd{RecordKind::EndOfList, kNoKey, nullptr, nullptr, nullptr};

RegistrationRecord Set(const char16_t* path, const char16_t* name, const char16_t* data) {
  return {RecordKind::SetString, kHkeyClassesRoot, path, name, data};
}
RegistrationRecord Expanded(const char16_t* path, const char16_t* data) {
  return {RecordKind::SetExpandedString, kHkeyClassesRoot, path, nullptr, data};
}
RegistrationRecord IfExists(const char16_t* path, const char16_t* name = nullptr) {
  return {RecordKind::IfExists, kHkeyClassesRoot, path, name, nullptr};
}
RegistrationRecord SubDirectory(const char16_t* text) {
  return {RecordKind::SubDirectory, kNoKey, text, nullptr, nullptr};
}
RegistrationRecord Delete(const char16_t* path, const char16_t* name = nullptr) {
  return {RecordKind::DeleteEntry, kHkeyClassesRoot, path, name, nullptr};
}
RegistrationRecord Script(std::uint16_t id, const char16_t* module) {
  return {RecordKind::RunScript, kNoKey, ScriptIdPointer(id), module, nullptr};
}

class RecordExecutorTest : public ::testing::Test {
 protected:
  RunResult Run(std::vector<RegistrationRecord> list, TextView directory = u"C:\\Suite\\Bin\\") {
    list.push_back(kEnd);
    const RunResult result = RunRecordList(t_.platform, list.data(), directory);
    EXPECT_EQ(t_.registry.OpenKeyCount(), 0u) << "a key was left open";
    return result;
  }
  Text Read(const char16_t* path, const char16_t* name = nullptr) {
    return ReadString(t_.registry, kHkeyClassesRoot, path, name);
  }

  TestPlatform t_;
};

TEST_F(RecordExecutorTest, SetStringCreatesKeyWritesValueAndReportsChange) {
  const RunResult first = Run({Set(u"Zdw.Document.8\\shell", u"Name", u"Open")});
  EXPECT_TRUE(first.ok);
  EXPECT_TRUE(first.changed);
  EXPECT_EQ(Read(u"Zdw.Document.8\\shell", u"Name"), u"Open");

  const RunResult second = Run({Set(u"Zdw.Document.8\\shell", u"Name", u"Open")});
  EXPECT_TRUE(second.ok);
  EXPECT_FALSE(second.changed);

  // Same text in other letter case is different and rewritten.
  const RunResult third = Run({Set(u"Zdw.Document.8\\shell", u"Name", u"OPEN")});
  EXPECT_TRUE(third.changed);
  EXPECT_EQ(Read(u"Zdw.Document.8\\shell", u"Name"), u"OPEN");
}

TEST_F(RecordExecutorTest, ExistingKeyWithEqualValueIsNotWritten) {
  WriteString(t_.registry, kHkeyClassesRoot, u".zdw", nullptr, u"Zdw.Document.8");
  t_.registry.ClearLog();
  const RunResult result = Run({Set(u".zdw", nullptr, u"Zdw.Document.8")});
  EXPECT_TRUE(result.ok);
  EXPECT_FALSE(result.changed);
  for (const StoreCall& call : t_.registry.Log()) {
    EXPECT_NE(call.operation, StoreOperation::kSetValue);
    EXPECT_NE(call.operation, StoreOperation::kCreateKey);
  }
}

TEST_F(RecordExecutorTest, NewKeyIsWrittenWithoutReadingItFirst) {
  const RunResult result = Run({Set(u".new", nullptr, u"Zdw.Document.8")});
  EXPECT_TRUE(result.changed);
  for (const StoreCall& call : t_.registry.Log()) {
    EXPECT_NE(call.operation, StoreOperation::kQueryValue);
  }
  EXPECT_EQ(Read(u".new", nullptr), u"Zdw.Document.8");
}

TEST_F(RecordExecutorTest, StoredValuesThatDoNotFitTheReadBufferCompareAsDifferent) {
  // A value longer than 259 characters and one of exactly 260 units with no
  // terminator must both be rewritten, and nothing is read past the buffer.
  const Text longText(300, u'x');
  WriteString(t_.registry, kHkeyClassesRoot, u"K", u"long", longText.c_str());
  RegKey key = kNoKey;
  ASSERT_EQ(t_.registry.OpenKey(kHkeyClassesRoot, u"K", kKeyAllAccess, &key), kErrorSuccess);
  const Text full(kPathBufferUnits, u'y');
  ASSERT_EQ(t_.registry.SetValue(key, u"full", kRegSz, full.data(),
                                 static_cast<std::uint32_t>(full.size() * 2)),
            kErrorSuccess);
  t_.registry.CloseKey(key);

  const Text wanted(kMaxPathChars, u'y');
  const RunResult result = Run({Set(u"K", u"long", u"short"), Set(u"K", u"full", wanted.c_str())});
  EXPECT_TRUE(result.ok);
  EXPECT_TRUE(result.changed);
  EXPECT_EQ(Read(u"K", u"long"), u"short");
  EXPECT_EQ(Read(u"K", u"full"), wanted);
}

TEST_F(RecordExecutorTest, ValueOfAnotherTypeComparesByItsBytes) {
  RegKey key = kNoKey;
  ASSERT_EQ(t_.registry.CreateKey(kHkeyClassesRoot, u"K", kKeyAllAccess, &key, nullptr),
            kErrorSuccess);
  const char16_t text[] = u"same";
  ASSERT_EQ(t_.registry.SetValue(key, nullptr, kRegExpandSz, text, sizeof text), kErrorSuccess);
  t_.registry.CloseKey(key);
  const RunResult result = Run({Set(u"K", nullptr, u"same")});
  EXPECT_FALSE(result.changed);
}

TEST_F(RecordExecutorTest, FailedWriteFailsTheRecordAndIsNoChange) {
  // A write the store refuses must not be reported as a change or a success.
  WriteString(t_.registry, kHkeyClassesRoot, u"K", nullptr, u"old");
  t_.registry.FailNth(StoreOperation::kSetValue, 1, kErrorAccessDenied);
  const RunResult result = Run({Set(u"K", nullptr, u"new")});
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.changed);
  EXPECT_EQ(Read(u"K"), u"old");
}

TEST_F(RecordExecutorTest, KeyThatCanBeNeitherOpenedNorCreatedFailsAndTheListGoesOn) {
  WriteString(t_.registry, kHkeyClassesRoot, u"Locked", nullptr, nullptr);
  t_.registry.Restrict(kHkeyClassesRoot, u"Locked",
                       FaultInjectingRegistryStore::Restriction::kReadOnly);
  const RunResult result = Run({Set(u"Locked", nullptr, u"x"), Set(u"Free", nullptr, u"y")});
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.changed);
  EXPECT_EQ(Read(u"Free"), u"y");
}

TEST_F(RecordExecutorTest, ExpandedStringUsesTheCollapsedDirectoryWithoutTrailingBackslash) {
  struct Case {
    const char16_t* directory;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"C:\\Suite\\Bin\\", u"C:\\Suite\\Bin\\Zdw.exe,1"},
      {u"C:\\Suite\\Bin", u"C:\\Suite\\Bin\\Zdw.exe,1"},
      {u"C:\\Suite\\Bin\\..\\", u"C:\\Suite\\Zdw.exe,1"},
      {u"C:\\Suite\\\\", u"C:\\Suite\\\\Zdw.exe,1"},
  };
  for (const Case& c : cases) {
    const RunResult result = Run({Expanded(u"Icon", u"${App}\\Zdw.exe,1")}, c.directory);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(Read(u"Icon"), c.expected) << Utf16ToUtf8(c.directory);
  }
}

TEST_F(RecordExecutorTest, ExpandedValueThatDoesNotFitFailsAndWritesNothing) {
  const Text directory = u"C:\\" + Text(250, u'd');
  const RunResult result = Run({Expanded(u"Too\\Long", u"${App}\\Zdw.exe \"%1\"")}, directory);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.changed);
  EXPECT_FALSE(KeyExists(t_.registry, kHkeyClassesRoot, u"Too"));
}

TEST_F(RecordExecutorTest, IfExistsSkipsExactlyTheNextRecord) {
  WriteString(t_.registry, kHkeyClassesRoot, u"Present", u"Here", u"1");
  struct Case {
    const char* what;
    std::vector<RegistrationRecord> list;
    const char16_t* expectedX;
  };
  const Case cases[] = {
      {"missing key skips one", {IfExists(u"Absent"), Set(u"X", nullptr, u"1")}, u"<missing>"},
      {"missing key skips a second condition, not what follows it",
       {IfExists(u"Absent"), IfExists(u"Present"), Set(u"X", nullptr, u"2")},
       u"2"},
      {"present key runs the next", {IfExists(u"Present"), Set(u"X", nullptr, u"3")}, u"3"},
      {"present value runs the next",
       {IfExists(u"Present", u"here"), Set(u"X", nullptr, u"4")},
       u"4"},
      {"missing value skips",
       {IfExists(u"Present", u"Gone"), Set(u"X", nullptr, u"5")},
       u"<missing>"},
  };
  for (const Case& c : cases) {
    t_.registry.DeleteTree(kHkeyClassesRoot, u"X");
    const RunResult result = Run(c.list);
    EXPECT_TRUE(result.ok) << c.what;
    EXPECT_EQ(Read(u"X"), c.expectedX) << c.what;
  }
}

TEST_F(RecordExecutorTest, IfExistsNeedsFullAccessToTheKey) {
  WriteString(t_.registry, kHkeyClassesRoot, u"ReadOnly", nullptr, nullptr);
  t_.registry.Restrict(kHkeyClassesRoot, u"ReadOnly",
                       FaultInjectingRegistryStore::Restriction::kReadOnly);
  Run({IfExists(u"ReadOnly"), Set(u"X", nullptr, u"1")});
  EXPECT_EQ(Read(u"X"), u"<missing>");
}

TEST_F(RecordExecutorTest, PrefixDirectlyBeforeEndOfListEndsTheList) {
  for (const RegistrationRecord& prefix : {IfExists(u"Absent"), SubDirectory(u"..\\")}) {
    const RunResult result = Run({prefix});
    EXPECT_TRUE(result.ok);
    EXPECT_FALSE(result.changed);
  }
}

TEST_F(RecordExecutorTest, SubDirectoryAppliesToTheNextRecordOnly) {
  const RunResult result =
      Run({SubDirectory(u"Shared"), Expanded(u"A", u"${App}"), Expanded(u"B", u"${App}")},
          u"C:\\Suite\\Bin");
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(Read(u"A"), u"C:\\Suite\\Bin\\Shared");
  EXPECT_EQ(Read(u"B"), u"C:\\Suite\\Bin");
}

TEST_F(RecordExecutorTest, EmptySubDirectoryFailsAndTheNextRecordRunsUnchanged) {
  const RunResult result = Run({SubDirectory(u""), Expanded(u"A", u"${App}")}, u"C:\\Suite\\Bin\\");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(Read(u"A"), u"C:\\Suite\\Bin");
}

TEST_F(RecordExecutorTest, RecordsWithoutMeaningAtTheirPlaceFail) {
  const RegistrationRecord undefined{static_cast<RecordKind>(6), kHkeyClassesRoot, u"X", nullptr,
                                     u"1"};
  const std::vector<RegistrationRecord> lists[] = {
      {undefined},
      {SubDirectory(u"..\\"), IfExists(u"Absent"), Set(u"X", nullptr, u"1")},
      {SubDirectory(u"..\\"), Delete(u"Absent")},
  };
  for (const auto& list : lists) {
    const RunResult result = Run(list);
    EXPECT_FALSE(result.ok);
  }
}

TEST_F(RecordExecutorTest, DeleteEntryRemovesTreesOrValuesAndNeverFails) {
  WriteString(t_.registry, kHkeyCurrentUser, u"F\\.zdw\\OpenWithList", u"a", u"x.exe");
  WriteString(t_.registry, kHkeyCurrentUser, u"F\\.zdw", u"Application", u"x.exe");
  WriteString(t_.registry, kHkeyCurrentUser, u"F\\.zdw", u"Other", u"keep");
  const RegistrationRecord deleteValue{RecordKind::DeleteEntry, kHkeyCurrentUser, u"F\\.zdw",
                                       u"Application", nullptr};
  const RegistrationRecord deleteTree{RecordKind::DeleteEntry, kHkeyCurrentUser, u"F\\.zdw",
                                      nullptr, nullptr};

  RunResult result = Run({deleteValue});
  EXPECT_TRUE(result.ok);
  EXPECT_TRUE(result.changed);
  EXPECT_EQ(ReadString(t_.registry, kHkeyCurrentUser, u"F\\.zdw", u"Other"), u"keep");
  EXPECT_EQ(ReadString(t_.registry, kHkeyCurrentUser, u"F\\.zdw", u"Application"), u"<missing>");

  result = Run({deleteValue});
  EXPECT_TRUE(result.ok);
  EXPECT_FALSE(result.changed);

  result = Run({deleteTree});
  EXPECT_TRUE(result.changed);
  EXPECT_FALSE(KeyExists(t_.registry, kHkeyCurrentUser, u"F\\.zdw"));
  EXPECT_TRUE(KeyExists(t_.registry, kHkeyCurrentUser, u"F"));

  result = Run({deleteTree});
  EXPECT_TRUE(result.ok);
  EXPECT_FALSE(result.changed);
}

TEST_F(RecordExecutorTest, TreeDeletionWithoutKeyPathIsRefused) {
  // An empty key path would name the root itself and empty it.
  WriteString(t_.registry, kHkeyClassesRoot, u"Keep", nullptr, u"1");
  const RunResult result = Run({Delete(u""), Delete(nullptr)});
  EXPECT_FALSE(result.changed);
  EXPECT_EQ(Read(u"Keep"), u"1");
}

TEST_F(RecordExecutorTest, ScriptOfAbsentModuleIsSkippedAsSuccess) {
  const RunResult result = Run({Script(130, u"Zdw.exe")});
  EXPECT_TRUE(result.ok);
  EXPECT_FALSE(result.changed);
  EXPECT_EQ(t_.files.queries(), 1u);
  EXPECT_TRUE(t_.registry.Log().empty());
}

TEST_F(RecordExecutorTest, ScriptModuleIsLookedUpBesideTheCollapsedDirectory) {
  // The record after "..\" looks for its module one folder up; a script
  // that cannot run there fails the record.
  t_.files.Add(u"C:\\Suite\\ZDW.EXE");
  const RunResult skipped = Run({Script(130, u"Zdw.exe")}, u"C:\\Suite\\Bin");
  EXPECT_TRUE(skipped.ok);
  const RunResult ran = Run({SubDirectory(u"..\\"), Script(130, u"Zdw.exe")}, u"C:\\Suite\\Bin");
  EXPECT_FALSE(ran.ok) << "script 130 is not in the test table, so running it must fail";
  EXPECT_FALSE(ran.changed);
}

TEST_F(RecordExecutorTest, ScriptRecordFailsWhenItsPathsDoNotFit) {
  t_.paths.ownModule = u"C:\\" + Text(300, u'm');
  EXPECT_FALSE(Run({Script(130, nullptr)}).ok);
  t_.paths.ownModule = u"C:\\Suite\\tolvane.dll";
  const Text directory = u"C:\\" + Text(250, u'd');
  EXPECT_FALSE(Run({Script(130, u"AVeryLongModuleName.dll")}, directory).ok);
  EXPECT_EQ(t_.files.queries(), 0u);
}

TEST(RunGroupTest, FoldsEveryListAndAFailedListDoesNotStopTheNext) {
  TestPlatform t;
  const RegistrationRecord failing[] = {
      {static_cast<RecordKind>(9), kNoKey, nullptr, nullptr, nullptr}, kEnd};
  const RegistrationRecord writing[] = {Set(u"After", nullptr, u"1"), kEnd};
  const RecordList group[] = {failing, writing, nullptr};
  const RunResult result = RunGroup(t.platform, group, u"C:\\");
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.changed);
  EXPECT_EQ(ReadString(t.registry, kHkeyClassesRoot, u"After", nullptr), u"1");

  const RecordList empty[] = {nullptr};
  const RunResult none = RunGroup(t.platform, empty, u"C:\\");
  EXPECT_TRUE(none.ok);
  EXPECT_FALSE(none.changed);
  EXPECT_EQ(t.registry.OpenKeyCount(), 0u);
}

}  // namespace
}  // namespace tolvane
