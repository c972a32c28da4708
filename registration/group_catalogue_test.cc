// The built-in groups that need no registrar script: associations, document
// classes and MIME entries, as an installer runs them.
#include "registration/group_catalogue.h"

#include <gtest/gtest.h>

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
      u"CleanOpenAlways",     u"COMMON2008_MODULE",  u"ZDW2008_MODULE",
      u"TABRIX2008_MODULE",   u"SHOWRA2008_MODULE",  u"ZDW2008_FILE_EXT",
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
  EXPECT_EQ(Classes(u"Zdt.Document.8\\shell\\print\\command"), u"C:\\Suite\\Bin\\Zdw.exe /p \"%1\"");
  EXPECT_EQ(Classes(u"Zdt.Document.8\\DefaultIcon"), u"C:\\Suite\\Bin\\Zdw.exe,2");
  EXPECT_EQ(Classes(u".zdw", u"Content Type"), u"application/zdw");
  EXPECT_EQ(Classes(u"MIME\\Database\\Content Type\\application/zdw", u"CLSID"),
            u"{5B0C2E11-7D3A-4C1E-9F2B-6A4D8E1C3F70}");
  // Without the per-user FileExts key nothing is created for the user.
  EXPECT_FALSE(KeyExists(t_.registry, kHkeyCurrentUser, u"Software"));

  // A second run finds everything in place.
  const auto before = Dump(t_.registry);
  EXPECT_EQ(Register(u"ZDW2008_FILE_EXT"), 0);
  EXPECT_EQ(t_.notifier.count(), 1u);
  EXPECT_EQ(Dump(t_.registry), before);
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
  EXPECT_TRUE(t_.registry.Snapshot().empty());
  EXPECT_EQ(t_.notifier.count(), 0u);
  EXPECT_EQ(Register(u"ZDW2008_MODULE"), 0);
  EXPECT_EQ(t_.notifier.count(), 1u);
  EXPECT_EQ(Classes(u"Zdw.Document.8\\DefaultIcon"), u"C:\\Suite\\Bin\\Zdw.exe,1");
}

}  // namespace
}  // namespace tolvane
