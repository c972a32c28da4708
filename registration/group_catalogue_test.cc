// The built-in groups that need no registrar script: associations, document
// classes and MIME entries, as an installer runs them.
#include "registration/group_catalogue.h"

#include <gtest/gtest.h>

#include "platform/portable/embedded_resources.h"
#include "registration/reg_product.h"
#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::Dump;
using testing::KeyExists;
using testing::ReadString;
using testing::TestPlatform;
using testing::WriteString;

constexpr const char16_t* kFileExts =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";

class GroupCatalogueTest : public ::testing::Test {
 protected:
  std::int32_t Register(const char16_t* group, const char16_t* directory = u"C:\\Suite\\Bin\\") {
    const std::int32_t result = RegProduct(t_.platform, group, directory);
    EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
    return result;
  }
  Text Classes(const char16_t* path, const char16_t* name = nullptr) {
    return ReadString(t_.registry, kHkeyClassesRoot, path, name);
  }
  Text User(const Text& path, const char16_t* name) {
    return ReadString(t_.registry, kHkeyCurrentUser, path.c_str(), name);
  }

  TestPlatform t_;
};

TEST_F(GroupCatalogueTest, CatalogueHoldsTheNineGroupsInLookupOrder) {
  std::vector<Text> names;
  for (const GroupCatalogueEntry& entry : BuiltInCatalogue()) names.emplace_back(entry.name);
  const std::vector<Text> expected = {
      u"CleanOpenAlways",     u"COMMON2008_MODULE",   u"ZDW2008_MODULE",
      u"TABRIX2008_MODULE",   u"SHOWRA2008_MODULE",   u"ZDW2008_FILE_EXT",
      u"TABRIX2008_FILE_EXT", u"SHOWRA2008_FILE_EXT", u"SELECT_KORVO"};
  EXPECT_EQ(names, expected);
  for (const char16_t* unknown : {u"COMMON2007_MODULE", u"ZDW2007_MODULE", u"TABRIX2007_MODULE",
                                  u"SHOWRA2007_MODULE", u"KELT_2005_COM"}) {
    EXPECT_EQ(Register(unknown), kErrorRegistryIoFailed);
  }
  EXPECT_TRUE(t_.registry.Log().empty());
}

TEST_F(GroupCatalogueTest, WordProcessorFileExtWritesClassesMimeAndAssociations) {
  EXPECT_EQ(Register(u"ZDW2008_FILE_EXT"), 0);
  EXPECT_EQ(t_.notifier.count(), 1u);
  EXPECT_EQ(Classes(u".zdw"), u"Zdw.Document.8");
  EXPECT_EQ(Classes(u".zdt"), u"Zdt.Document.8");
  EXPECT_EQ(Classes(u".zqs"), u"Zdw.Document.8");
  EXPECT_EQ(Classes(u".zml"), u"Zdw.Document.8");
  EXPECT_EQ(Classes(u"Zdw.Document.8\\shell\\open\\command"), u"C:\\Suite\\Bin\\Zdw.exe \"%1\"");
  EXPECT_EQ(Classes(u"Zdw.Document.8\\shell\\print\\command"),
            u"C:\\Suite\\Bin\\ZdwPrnMng.exe /p \"%1\"");
  EXPECT_EQ(Classes(u"Zdt.Document.8\\shell\\print\\command"),
            u"C:\\Suite\\Bin\\Zdw.exe /p \"%1\"");
  EXPECT_EQ(Classes(u"Zdt.Document.8\\DefaultIcon"), u"C:\\Suite\\Bin\\Zdw.exe,2");
  EXPECT_EQ(Classes(u".zdw", u"Content Type"), u"application/zdw");
  EXPECT_EQ(Classes(u"MIME\\Database\\Content Type\\application/zdw", u"CLSID"),
            u"{5B0C2E11-7D3A-4C1E-9F2B-6A4D8E1C3F70}");
  // Without the per-user FileExts key nothing is created for the user.
  EXPECT_FALSE(KeyExists(t_.registry, kHkeyCurrentUser, u"Software"));

  // A second run finds everything in place.
  const auto before = Dump(t_.memory);
  EXPECT_EQ(Register(u"ZDW2008_FILE_EXT"), 0);
  EXPECT_EQ(t_.notifier.count(), 1u);
  EXPECT_EQ(Dump(t_.memory), before);
}

TEST_F(GroupCatalogueTest, PerUserOverrideNamingAnApplicationIsReplacedByTheProgId) {
  const Text zdw = Text(kFileExts) + u"\\.zdw";
  const Text zdt = Text(kFileExts) + u"\\.zdt";
  WriteString(t_.registry, kHkeyCurrentUser, (zdw + u"\\OpenWithList").c_str(), u"a", u"x.exe");
  WriteString(t_.registry, kHkeyCurrentUser, zdw.c_str(), u"Application", u"Other.exe");
  WriteString(t_.registry, kHkeyCurrentUser, zdt.c_str(), u"Keep", u"1");

  EXPECT_EQ(Register(u"ZDW2008_FILE_EXT"), 0);
  EXPECT_EQ(t_.notifier.count(), 1u);
  EXPECT_EQ(User(zdw, u"ProgID"), u"Zdw.Document.8");
  EXPECT_EQ(User(zdw, u"Application"), u"<missing>");
  EXPECT_FALSE(KeyExists(t_.registry, kHkeyCurrentUser, (zdw + u"\\OpenWithList").c_str()));
  // An override without "Application" keeps its other values.
  EXPECT_EQ(User(zdt, u"ProgID"), u"Zdt.Document.8");
  EXPECT_EQ(User(zdt, u"Keep"), u"1");
  EXPECT_EQ(User(Text(kFileExts) + u"\\.zml", u"ProgID"), u"Zdw.Document.8");
}

TEST_F(GroupCatalogueTest, SpreadsheetAndPresentationGroups) {
  WriteString(t_.registry, kHkeyCurrentUser, kFileExts, nullptr, nullptr);
  EXPECT_EQ(Register(u"TABRIX2008_MODULE", u"C:\\Suite\\Bin\\"), 0);
  EXPECT_EQ(Classes(u"Tabrix.Document.8\\DefaultIcon"), u"C:\\Suite\\Bin\\Tabrix.exe,1");
  EXPECT_FALSE(KeyExists(t_.registry, kHkeyClassesRoot, u"Tabrix.Template.8\\shell\\print"));

  EXPECT_EQ(Register(u"SHOWRA2008_FILE_EXT"), 0);
  EXPECT_EQ(Classes(u".shw"), u"Showra.Document.8");
  EXPECT_EQ(User(Text(kFileExts) + u"\\.shw", u"ProgID"), u"Showra.Document.8");
  EXPECT_EQ(Classes(u".shw", u"Content Type"), u"application/quenloshowra");
  EXPECT_EQ(Classes(u"MIME\\Database\\Content Type\\application/shw", u"Extension"), u".shw");
  EXPECT_FALSE(KeyExists(t_.registry, kHkeyClassesRoot,
                         u"MIME\\Database\\Content Type\\application/quenloshowra"));

  EXPECT_EQ(Register(u"TABRIX2008_FILE_EXT"), 0);
  EXPECT_EQ(Classes(u"MIME\\Database\\Content Type\\application/quenlotabrix", u"CLSID"),
            u"<missing>");
  EXPECT_EQ(User(Text(kFileExts) + u"\\.tbt", u"ProgID"), u"Tabrix.Template.8");
}

TEST_F(GroupCatalogueTest, ModuleGroupsSkipScriptsOfModulesThatAreNotInstalled) {
  // No module file exists: every script record is skipped as a success and
  // only string records write anything.
  EXPECT_EQ(Register(u"SELECT_KORVO"), 0);
  EXPECT_EQ(Register(u"COMMON2008_MODULE"), 0);
  EXPECT_TRUE(t_.memory.Snapshot().empty());
  EXPECT_EQ(t_.notifier.count(), 0u);
  EXPECT_EQ(Register(u"ZDW2008_MODULE"), 0);
  EXPECT_EQ(t_.notifier.count(), 1u);
  EXPECT_EQ(Classes(u"Zdw.Document.8\\DefaultIcon"), u"C:\\Suite\\Bin\\Zdw.exe,1");
}

// The module groups with the library's own registrar scripts.
class ModuleGroupTest : public GroupCatalogueTest {
 protected:
  void SetUp() override {
    for (const EmbeddedResource& script : EmbeddedRegistryResources()) {
      t_.resources.Set(script.id, std::string(script.bytes));
    }
  }
  void Install(std::initializer_list<const char16_t*> modules) {
    for (const char16_t* module : modules) t_.files.Add(Text(u"C:\\Suite\\Bin\\") + module);
  }
};

TEST_F(ModuleGroupTest, EveryModuleGroupRegistersWithAllModulesPresent) {
  Install({u"Zdw.exe", u"ZdwAutomation.DLL", u"PackagerQMR.DLL", u"ZDWCTRL.OCX", u"ZDWEQ5X.OCX",
           u"PivraCtrl.ocx", u"Tabrix.exe", u"Showra.exe", u"QMRXML80.DLL", u"QmrAccessible.DLL",
           u"KORVOX.OCX"});
  for (const char16_t* group : {u"COMMON2008_MODULE", u"ZDW2008_MODULE", u"TABRIX2008_MODULE",
                                u"SHOWRA2008_MODULE", u"SELECT_KORVO"}) {
    EXPECT_EQ(Register(group), 0) << Utf16ToUtf8(group);
  }
  // Scripts ran: a class of each module is there.
  EXPECT_EQ(Classes(u"QmrMod.Zdw.QMRXML7\\CLSID").size(), 38u);
  EXPECT_EQ(Classes(u"KORVOX.KorvoXCtrl.1"), u"KorvoX Control");
  EXPECT_EQ(Classes(u"Tabrix.Document.8\\shell\\open\\command"),
            u"C:\\Suite\\Bin\\Tabrix.exe \"%1\"");
  // The string records run after the document-class script and point the
  // word processor's print verb at its print manager.
  EXPECT_EQ(Classes(u"Zdw.Document.8\\shell\\print\\command"),
            u"C:\\Suite\\Bin\\ZdwPrnMng.exe /p \"%1\"");

  // Running everything again leaves the same registry.
  const auto before = Dump(t_.memory);
  for (const char16_t* group : {u"COMMON2008_MODULE", u"ZDW2008_MODULE", u"TABRIX2008_MODULE",
                                u"SHOWRA2008_MODULE", u"SELECT_KORVO"}) {
    EXPECT_EQ(Register(group), 0);
  }
  EXPECT_EQ(Dump(t_.memory), before);
}

TEST_F(ModuleGroupTest, LaterControlScriptTakesOverTheSharedProgIdKey) {
  Install({u"ZdwCtrl.ocx", u"PivraCtrl.ocx"});
  EXPECT_EQ(Register(u"ZDW2008_MODULE"), 0);
  const Text embeddingClass = Classes(u"ZDWCONTROL.ZdwCtrlCtrl.1\\CLSID");
  EXPECT_EQ(Classes(u"ZDWCONTROL.ZdwCtrlCtrl.1"), u"Pivra.Control");
  EXPECT_EQ(Classes((u"CLSID\\" + embeddingClass + u"\\ProgID").c_str()),
            u"ZDWCONTROL.ZdwCtrlCtrl_Pivra.1");
  // The word-processor control's class key stays registered.
  bool controlClassFound = false;
  for (const StoredKey& key : t_.memory.Snapshot()) {
    if (key.path.ends_with(u"\\ProgID") && key.path.starts_with(u"HKEY_CLASSES_ROOT\\CLSID\\")) {
      for (const StoredValue& value : key.values) {
        if (value.name.empty() && value.data.size() >= 2 &&
            Text(reinterpret_cast<const char16_t*>(value.data.data()), value.data.size() / 2 - 1) ==
                u"ZDWCONTROL.ZdwCtrlCtrl.1") {
          controlClassFound = true;
        }
      }
    }
  }
  EXPECT_TRUE(controlClassFound);
}

TEST_F(ModuleGroupTest, MissingModulesSkipOnlyTheirOwnScripts) {
  Install({u"Zdw.exe", u"ZdwAutomation.DLL"});
  EXPECT_EQ(Register(u"ZDW2008_MODULE"), 0);
  EXPECT_EQ(Classes(u"Zdw.Document.8\\CLSID"), u"{5B0C2E11-7D3A-4C1E-9F2B-6A4D8E1C3F70}");
  EXPECT_EQ(Classes(u"ZdwAutomationApp2.ZdwAutomation\\CurVer"),
            u"ZdwAutomationApp2.ZdwAutomation.2");
  EXPECT_FALSE(KeyExists(t_.registry, kHkeyClassesRoot, u"ZDWCONTROL.ZdwCtrlCtrl.1"));
  EXPECT_FALSE(KeyExists(t_.registry, kHkeyClassesRoot, u"ZDWEQ5X.Zdweq5XCtrl.1"));
  EXPECT_FALSE(KeyExists(t_.registry, kHkeyClassesRoot, u"PackagerQMR.Packager.1"));
}

TEST_F(ModuleGroupTest, ScriptThatCannotBeLoadedFailsTheGroup) {
  Install({u"KORVOX.OCX"});
  t_.resources.Set(104, "");  // an empty resource cannot be widened
  EXPECT_EQ(Register(u"SELECT_KORVO"), kErrorRegistryIoFailed);
  EXPECT_EQ(t_.notifier.count(), 0u);
}

}  // namespace
}  // namespace tolvane
