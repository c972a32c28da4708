#include "registration/unreg_product.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/hive/hive_format.h"
#include "platform/portable/embedded_resources.h"
#include "registration/group_catalogue.h"
#include "registration/reg_product.h"
#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::ReadString;
using testing::WriteString;

constexpr const char16_t* kDir = u"C:\\Suite\\Bin\\";
constexpr const char16_t* kFileExts =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";

// A store with the suite's modules installed and other programs' and the
// user's entries, some inside keys the suite writes to.
class UnregProductTest : public ::testing::Test {
 protected:
  UnregProductTest() {
    for (const EmbeddedResource& script : EmbeddedRegistryResources()) {
      t_.resources.Set(script.id, std::string(script.bytes));
    }
    for (const char16_t* module :
         {u"Zdw.exe", u"ZdwAutomation.DLL", u"PackagerQMR.DLL", u"ZDWCTRL.OCX", u"ZDWEQ5X.OCX",
          u"PivraCtrl.ocx", u"Tabrix.exe", u"Showra.exe", u"QMRXML80.DLL", u"QmrAccessible.DLL",
          u"KORVOX.OCX"}) {
      t_.files.Add(Text(kDir) + module);
    }
    RegistryStore& r = t_.registry;
    WriteString(r, kHkeyClassesRoot, u"Other.Doc\\shell\\open\\command", nullptr, u"o.exe %1");
    WriteString(r, kHkeyClassesRoot, u"CLSID\\{0A0A0A0A-0000-0000-0000-000000000001}\\ProgID",
                nullptr, u"Other.Doc");
    WriteString(r, kHkeyClassesRoot, u"TypeLib\\{0A0A0A0A-0000-0000-0000-000000000002}", nullptr,
                u"Other types");
    WriteString(r, kHkeyClassesRoot, u"Interface\\{0A0A0A0A-0000-0000-0000-000000000003}", nullptr,
                u"IOther");
    WriteString(r, kHkeyClassesRoot, u"AppID\\other.exe", u"AppID", u"{0A0A}");
    WriteString(r, kHkeyClassesRoot, u".txt", nullptr, u"txtfile");
    WriteString(r, kHkeyClassesRoot, u"MIME\\Database\\Content Type\\text/plain", u"Extension",
                u".txt");
    WriteString(r, kHkeyCurrentUser, (Text(kFileExts) + u"\\.txt\\UserChoice").c_str(), u"ProgId",
                u"txtfile");
    WriteString(r, kHkeyClassesRoot, u".zdw", u"PerceivedType", u"document");
    WriteString(r, kHkeyCurrentUser, (Text(kFileExts) + u"\\.zdw\\OpenWithList").c_str(), u"a",
                u"Other.exe");
    t_.registry.ClearLog();
  }

  std::string Hive() {
    std::string bytes;
    EXPECT_TRUE(SerializeHiveUtf16(t_.memory.Snapshot(), &bytes).ok());
    return bytes;
  }

  std::int32_t Unregister(const char16_t* group, UndoNotes* notes = nullptr) {
    const std::int32_t result = UnregProduct(t_.platform, group, kDir, notes);
    EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
    return result;
  }

  testing::TestPlatform t_;
};

// Never registered: nothing changes. Registered, then unregistered: the
// store is what it was, byte for byte, and the shell hears of it when an
// association went. Again: nothing changes, nobody is told.
TEST_F(UnregProductTest, UnregisteringRestoresTheStoreExactlyAndOnlyOnce) {
  const std::string pristine = Hive();
  std::vector<const char16_t*> all;
  for (const GroupCatalogueEntry& entry : BuiltInCatalogue()) all.push_back(entry.name);
  for (std::size_t n = 0; n <= all.size(); ++n) {
    // One group at a time, then every group registered and taken back last first.
    const std::vector<const char16_t*> groups =
        n < all.size() ? std::vector<const char16_t*>{all[n]} : all;
    SCOPED_TRACE(Utf16ToUtf8(ViewOf(groups.front())) + " and " + std::to_string(groups.size() - 1) +
                 " more");
    for (const char16_t* group : groups) ASSERT_EQ(Unregister(group), 0);
    EXPECT_EQ(Hive(), pristine);
    EXPECT_EQ(t_.notifier.count(), 0u);

    for (const char16_t* group : groups) ASSERT_EQ(RegProduct(t_.platform, group, kDir), 0);
    EXPECT_EQ(Hive() != pristine, groups.size() > 1 || *FindGroup(groups.front()) != nullptr);
    // Only the extension groups take associations away.
    const auto associations =
        static_cast<std::size_t>(std::count_if(groups.begin(), groups.end(), [](const char16_t* g) {
          return ViewOf(g).ends_with(u"_FILE_EXT");
        }));
    const std::size_t told = t_.notifier.count();
    for (auto g = groups.rbegin(); g != groups.rend(); ++g) ASSERT_EQ(Unregister(*g), 0);
    EXPECT_EQ(Hive(), pristine);
    EXPECT_EQ(t_.notifier.count() - told, associations);

    t_.registry.ClearLog();
    for (const char16_t* group : groups) ASSERT_EQ(Unregister(group), 0);
    for (const StoreCall& call : t_.registry.Log()) {
      EXPECT_TRUE(call.operation != StoreOperation::kDeleteKey &&
                  call.operation != StoreOperation::kDeleteValue &&
                  call.operation != StoreOperation::kSetValue &&
                  call.operation != StoreOperation::kCreateKey)
          << Utf16ToUtf8(call.path);
    }
    EXPECT_EQ(t_.notifier.count() - told, associations);
    t_.notifier.Reset();
  }
}

// A value that holds anything but what registration writes (other text,
// other letter case, the same text as another type) stays, with its key,
// and is reported; the rest of the group still goes.
TEST_F(UnregProductTest, ValuesChangedSinceRegistrationStay) {
  struct Changed {
    RegKey root;
    Text path;
    const char16_t* name;
    std::uint32_t type;
    const char16_t* data;
  };
  const Changed changes[] = {
      {kHkeyClassesRoot, u".zdw", nullptr, kRegSz, u"Other.Document"},
      {kHkeyClassesRoot, u"Zdw.Document.8\\DefaultIcon", nullptr, kRegExpandSz,
       u"C:\\Suite\\Bin\\Zdw.exe,1"},
      {kHkeyClassesRoot, u"MIME\\Database\\Content Type\\application/zdw", u"Extension", kRegSz,
       u".ZDW"},
      {kHkeyCurrentUser, Text(kFileExts) + u"\\.zdt", u"ProgID", kRegSz, u"Other.Template"},
  };
  ASSERT_EQ(RegProduct(t_.platform, u"ZDW2008_FILE_EXT", kDir), 0);
  for (const Changed& change : changes) {
    ScopedKey key(t_.registry);
    ASSERT_EQ(t_.registry.OpenKey(change.root, change.path.c_str(), kKeyAllAccess, key.Receive()),
              kErrorSuccess);
    ASSERT_EQ(t_.registry.SetValue(key.get(), change.name, change.type, change.data,
                                   (TextLength(change.data) + 1) * 2),
              kErrorSuccess);
  }
  const std::size_t told = t_.notifier.count();
  UndoNotes notes;
  ASSERT_EQ(Unregister(u"ZDW2008_FILE_EXT", &notes), 0);
  EXPECT_EQ(t_.notifier.count() - told, 1u);  // .zdw's content type went
  ASSERT_EQ(notes.kept.size(), std::size(changes));
  for (const Changed& change : changes) {
    SCOPED_TRACE(Utf16ToUtf8(change.path));
    std::uint32_t type = 0;
    ScopedKey key(t_.registry);
    ASSERT_EQ(t_.registry.OpenKey(change.root, change.path.c_str(), kKeyRead, key.Receive()),
              kErrorSuccess);
    EXPECT_EQ(t_.registry.QueryValue(key.get(), change.name, &type, nullptr, nullptr),
              kErrorSuccess);
    EXPECT_EQ(type, change.type);
    EXPECT_TRUE(std::any_of(notes.kept.begin(), notes.kept.end(), [&](const KeptValue& kept) {
      // Names compare as text: the record's constant and the row's literal
      // are different arrays wherever the compiler keeps literals apart.
      const bool sameName = kept.valueName == nullptr || change.name == nullptr
                                ? kept.valueName == change.name
                                : Text(kept.valueName) == change.name;
      return kept.root == change.root && kept.keyPath == change.path && sameName;
    }));
  }
  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u".zdw", nullptr), u"Other.Document");
  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u".zdw", u"Content Type"), u"<missing>");
  EXPECT_FALSE(testing::KeyExists(t_.registry, kHkeyClassesRoot, u".zqs"));
}

}  // namespace
}  // namespace tolvane
