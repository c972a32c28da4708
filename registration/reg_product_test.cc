#include "registration/reg_product.h"

#include <gtest/gtest.h>

#include "registration/group_catalogue.h"
#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::KeyExists;
using testing::ReadString;
using testing::TestPlatform;

constexpr RegistrationRecord kEnd{RecordKind::EndOfList, kNoKey, nullptr, nullptr, nullptr};

const RegistrationRecord kIconList[] = {{RecordKind::SetExpandedString, kHkeyClassesRoot,
                                         u"Doc\\DefaultIcon", nullptr, u"${App}\\Doc.exe,1"},
                                        kEnd};
const RegistrationRecord kBrokenList[] = {
    {static_cast<RecordKind>(6), kHkeyClassesRoot, u"Never", nullptr, u"x"}, kEnd};
const RecordList kIconGroup[] = {kIconList, nullptr};
const RecordList kBrokenThenIconGroup[] = {kBrokenList, kIconList, nullptr};
const RecordList kEmptyGroup[] = {nullptr};
const RegistrationRecord kScriptList[] = {
    {RecordKind::RunScript, kNoKey, ScriptIdPointer(7), nullptr, nullptr}, kEnd};
const RecordList kScriptGroup[] = {kScriptList, nullptr};

const GroupCatalogueEntry kTestCatalogue[] = {
    {u"Empty", kEmptyGroup},
    {u"Icon", kIconGroup},
    {u"Broken", kBrokenThenIconGroup},
    {u"Script", kScriptGroup},
};

class RegProductTest : public ::testing::Test {
 protected:
  std::int32_t Register(const char16_t* group, const char16_t* directory) {
    const std::int32_t result = RegProduct(t_.platform, kTestCatalogue, group, directory);
    EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
    return result;
  }
  Text Icon() { return ReadString(t_.registry, kHkeyClassesRoot, u"Doc\\DefaultIcon", nullptr); }

  TestPlatform t_;
};

TEST_F(RegProductTest, BuiltInCleanOpenAlwaysTouchesNothing) {
  EXPECT_EQ(RegProduct(t_.platform, u"CleanOpenAlways", u"C:\\Suite\\Bin\\"), 0);
  EXPECT_EQ(RegProduct(t_.platform, u"CleanOpenAlways", nullptr), 0);
  EXPECT_TRUE(t_.registry.Log().empty());
  EXPECT_EQ(t_.notifier.count(), 0u);
}

TEST_F(RegProductTest, GroupNamesMatchExactly) {
  for (const char16_t* name : {u"cleanopenalways", u"CleanOpenAlways ", u" CleanOpenAlways",
                               u"COMMON2007_MODULE", u"KELT_2005_COM", u""}) {
    EXPECT_EQ(RegProduct(t_.platform, name, u"C:\\"), kErrorRegistryIoFailed) << Utf16ToUtf8(name);
  }
  EXPECT_EQ(RegProduct(t_.platform, nullptr, u"C:\\"), kErrorRegistryIoFailed);
  EXPECT_EQ(FindGroup(nullptr), nullptr);
  EXPECT_NE(FindGroup(u"CleanOpenAlways"), nullptr);
  EXPECT_TRUE(t_.registry.Log().empty());
  EXPECT_EQ(t_.notifier.count(), 0u);
}

TEST_F(RegProductTest, SecondRunWithNothingDifferentSendsNoNotification) {
  EXPECT_EQ(Register(u"Icon", u"C:\\Suite\\Bin\\"), 0);
  EXPECT_EQ(t_.notifier.count(), 1u);
  EXPECT_EQ(Icon(), u"C:\\Suite\\Bin\\Doc.exe,1");
  EXPECT_EQ(Register(u"Icon", u"C:\\Suite\\Bin"), 0);
  EXPECT_EQ(t_.notifier.count(), 1u);
  EXPECT_EQ(Register(u"Empty", u"C:\\Suite\\Bin"), 0);
  EXPECT_EQ(t_.notifier.count(), 1u);
}

TEST_F(RegProductTest, FailedRecordGives1016WithoutNotificationAndKeepsWrites) {
  EXPECT_EQ(Register(u"Broken", u"C:\\Suite\\Bin\\"), kErrorRegistryIoFailed);
  EXPECT_EQ(t_.notifier.count(), 0u);
  EXPECT_EQ(Icon(), u"C:\\Suite\\Bin\\Doc.exe,1");
  EXPECT_FALSE(KeyExists(t_.registry, kHkeyClassesRoot, u"Never"));
}

TEST_F(RegProductTest, NullOrEmptyDirectoryMeansTheHostExecutablesDirectory) {
  t_.paths.hostExecutable = u"D:\\Setup\\Disk1\\setup.exe";
  for (const char16_t* directory : {static_cast<const char16_t*>(nullptr), u""}) {
    t_.registry.DeleteTree(kHkeyClassesRoot, u"Doc");
    EXPECT_EQ(Register(u"Icon", directory), 0);
    EXPECT_EQ(Icon(), u"D:\\Setup\\Disk1\\Doc.exe,1");
  }
}

TEST_F(RegProductTest, DirectoryThatDoesNotFitIsRefusedBeforeAnythingIsWritten) {
  const Text tooLong = u"C:\\" + Text(297, u'd');
  EXPECT_EQ(Register(u"Icon", tooLong.c_str()), kErrorRegistryIoFailed);
  EXPECT_TRUE(t_.registry.Log().empty());

  t_.paths.hostExecutable = u"C:\\" + Text(300, u'x') + u"\\setup.exe";
  EXPECT_EQ(Register(u"Icon", nullptr), kErrorRegistryIoFailed);
  t_.paths.hostExecutableKnown = false;
  EXPECT_EQ(Register(u"Icon", u""), kErrorRegistryIoFailed);
  EXPECT_TRUE(t_.registry.Log().empty());
  EXPECT_EQ(t_.notifier.count(), 0u);
}

TEST_F(RegProductTest, EachFailureSaysWhatFailedOnWhichKeyWithTheStoresWords) {
  struct Case {
    const char* what;
    const char16_t* group;
    StoreOperation failing;  // kAny: no fault
    const char* reason;
  };
  const Case cases[] = {
      {"unknown group", u"icn", StoreOperation::kAny,
       "no group named icn (the groups are: Empty, Icon, Broken, Script; did you mean Icon?)"},
      {"refused write", u"Icon", StoreOperation::kSetValue,
       "group Icon: cannot set HKCR\\Doc\\DefaultIcon (default): access denied (5)"},
      {"refused create", u"Icon", StoreOperation::kCreateKey,
       "group Icon: cannot create HKCR\\Doc\\DefaultIcon: access denied (5)"},
      {"record of no kind", u"Broken", StoreOperation::kAny,
       "group Broken: a record of kind 6 cannot run here"},
      {"script fault", u"Script", StoreOperation::kAny,
       "group Script: script 7 of C:\\Program Files\\Suite\\tolvane.dll: the script failed with "
       "0x80020009 (a script fault) at line 2, column 7, at 'q'"},
  };
  t_.resources.Set(7, "HKCR {\n  A = q x\n}");
  for (const Case& c : cases) {
    t_.registry.DeleteTree(kHkeyClassesRoot, u"Doc");
    if (c.failing != StoreOperation::kAny) t_.registry.FailNth(c.failing, 1, kErrorAccessDenied);
    const Status status = RegisterProduct(t_.platform, kTestCatalogue, c.group, u"C:\\Suite\\");
    t_.registry.ClearFault();
    EXPECT_FALSE(status.ok()) << c.what;
    EXPECT_EQ(status.message, c.reason) << c.what;
    EXPECT_EQ(t_.registry.OpenKeyCount(), 0u) << c.what;
  }
}

TEST(ExecutableDirectoryTest, KeepsDriveAndFoldersAndDropsTheFileName) {
  struct Case {
    const char16_t* path;
    bool ok;
    const char16_t* directory;
  };
  const Text longFolders = u"C:\\" + Text(253, u'f') + u"\\x";     // 255 folder units
  const Text tooLongFolders = u"C:\\" + Text(254, u'f') + u"\\x";  // 256 folder units
  const Case cases[] = {
      {u"C:\\Suite\\Bin\\setup.exe", true, u"C:\\Suite\\Bin\\"},
      {u"Z:\\usr\\bin\\tolvane", true, u"Z:\\usr\\bin\\"},
      {u"\\\\server\\share\\setup.exe", true, u"\\\\server\\share\\"},
      {u"C:setup.exe", true, u"C:"},
      {longFolders.c_str(), true, nullptr},
      {tooLongFolders.c_str(), false, nullptr},
  };
  for (const Case& c : cases) {
    Text directory;
    EXPECT_EQ(ExecutableDirectory(c.path, &directory), c.ok) << Utf16ToUtf8(c.path);
    if (c.ok && c.directory != nullptr) {
      EXPECT_EQ(directory, c.directory);
    }
  }
}

}  // namespace
}  // namespace tolvane
