// Every export and every group of the catalogue under registry faults. A
// clean run counts the store calls a call makes and the keys it addresses;
// then the call runs again once per store call with that call failing, with
// not found (2), access denied (5) and a registry I/O failure (1016). Each
// faulted run must answer a result its export has, leave no key open, send
// no notification when it failed, and change nothing outside the keys the
// clean run addressed.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "assoc/file_ext_association.h"
#include "platform/hive/hive_format.h"
#include "platform/portable/embedded_resources.h"
#include "platform/memory/preset_installer_session.h"
#include "registration/custom_actions.h"
#include "registration/group_catalogue.h"
#include "registration/reg_product.h"
#include "registration/unreg_product.h"
#include "tests/installer_fakes.h"
#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::TestPlatform;

constexpr const char16_t* kModules[] = {
    u"Zdw.exe",      u"ZdwAutomation.DLL", u"PackagerQMR.DLL", u"ZDWCTRL.OCX",
    u"ZDWEQ5X.OCX",  u"PivraCtrl.ocx",     u"Tabrix.exe",      u"Showra.exe",
    u"QMRXML80.DLL", u"QmrAccessible.DLL", u"KORVOX.OCX"};
constexpr ErrorCode kFaults[] = {kErrorFileNotFound, kErrorAccessDenied, kErrorRegistryIoFailed};

struct SweptCall {
  std::string name;
  std::function<std::int32_t(Platform&)> call;
  std::vector<std::int32_t> results;  // every result the export has; the first is success
};

std::unique_ptr<TestPlatform> NewPlatform(const std::vector<HiveOperation>& seed) {
  auto t = std::make_unique<TestPlatform>();
  for (const EmbeddedResource& script : EmbeddedRegistryResources()) {
    t->resources.Set(script.id, std::string(script.bytes));
  }
  for (const char16_t* module : kModules) t->files.Add(Text(u"C:\\Suite\\Bin\\") + module);
  EXPECT_TRUE(ApplyHive(seed, t->registry).ok());
  t->registry.ClearLog();
  return t;
}

Text Folded(TextView text) {
  Text folded(text);
  for (char16_t& unit : folded) {
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
  }
  return folded;
}

// The key of a Dump line ("path" or "path|name=data"), folded.
Text KeyOfLine(const std::string& line) {
  return Folded(Utf8ToUtf16(line.substr(0, line.find('|'))));
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

// The lines of one state that the other lacks, both ways.
std::vector<std::string> Changed(const std::vector<std::string>& sortedBefore,
                                 const std::vector<std::string>& after) {
  const std::vector<std::string> sortedAfter = Sorted(after);
  std::vector<std::string> changed;
  std::set_symmetric_difference(sortedBefore.begin(), sortedBefore.end(), sortedAfter.begin(),
                                sortedAfter.end(), std::back_inserter(changed));
  return changed;
}

// A registry that holds what the calls do not address, the suite's classes
// (so that associations resolve) and a per-user override tree.
std::vector<HiveOperation> Seed() {
  std::unique_ptr<TestPlatform> t = NewPlatform({});
  testing::WriteString(t->registry, kHkeyCurrentUser, u"Software\\Unrelated", u"keep", u"1");
  testing::WriteString(t->registry, kHkeyClassesRoot, u".unrelated", nullptr, u"Other.Doc");
  testing::WriteString(t->registry, kHkeyCurrentUser, kPerUserFileExtsPath.data(), nullptr,
                       nullptr);
  testing::WriteString(t->registry, kHkeyClassesRoot, u"Zdw.Document.8\\shell\\open\\command",
                       nullptr, u"\"C:\\Suite\\Bin\\Zdw.exe\" \"%1\"");
  EXPECT_EQ(RegProduct(t->platform, u"ZDW2008_FILE_EXT", u"C:\\Suite\\Bin\\"), 0);
  std::string bytes;
  EXPECT_TRUE(SerializeHiveUtf16(t->memory.Snapshot(), &bytes).ok());
  std::vector<HiveOperation> operations;
  EXPECT_TRUE(ParseHive(bytes, &operations).ok());
  return operations;
}

std::vector<SweptCall> Calls() {
  std::vector<SweptCall> calls;
  for (const GroupCatalogueEntry& entry : BuiltInCatalogue()) {
    const char16_t* group = entry.name;
    calls.push_back({"RegProduct " + Utf16ToUtf8(ViewOf(group)),
                     [group](Platform& p) { return RegProduct(p, group, u"C:\\Suite\\Bin\\"); },
                     {0, kErrorRegistryIoFailed}});
    calls.push_back({"UnregProduct " + Utf16ToUtf8(ViewOf(group)),
                     [group](Platform& p) { return UnregProduct(p, group, u"C:\\Suite\\Bin\\"); },
                     {0, kErrorRegistryIoFailed}});
  }
  calls.push_back(
      {"ChangeFileExtAssociation",
       [](Platform& p) { return ChangeFileExtAssociation(p, u".zdx", u"Zdw.Document.8"); },
       {kAssocChanged, kAssocRefused}});
  // The installer entry points, with an installation that names the suite's
  // folder: _RegKorvo registers SELECT_KORVO there; the others' groups are
  // not in the catalogue and must fail before touching the store.
  const auto withInstaller = [](Platform& p, InstallerSession& installer, UserNotice& notice) {
    return Platform{p.registry, p.notifier, p.files,   p.paths,   p.resources,
                    p.text,     p.shell,    installer, p.modules, notice};
  };
  calls.push_back({"_RegKorvo",
                   [withInstaller](Platform& p) {
                     PresetInstallerSession installer;
                     installer.SetProperty(u"QmrOcxOldDir", u"C:\\Suite\\Bin\\");
                     testing::CountingNotice notice;
                     Platform with = withInstaller(p, installer, notice);
                     return static_cast<std::int32_t>(RegKorvoAction(with, 1));
                   },
                   {0, 1}});
  calls.push_back({"_RegProduct",
                   [withInstaller](Platform& p) {
                     PresetInstallerSession installer;
                     installer.SetFeatureAction(u"Velmora", 3);
                     installer.SetProperty(u"CommonDir", u"C:\\Suite\\Bin\\");
                     testing::CountingNotice notice;
                     Platform with = withInstaller(p, installer, notice);
                     return static_cast<std::int32_t>(RegProductAction(with, 1));
                   },
                   {1}});
  calls.push_back(
      {"RegProductIS", [](Platform& p) { return RegProductIS(p, u"C:\\Suite\\"); }, {0}});
  calls.push_back(
      {"SendAssocChangedNotify", [](Platform& p) { return SendAssocChangedNotify(p); }, {0}});
  return calls;
}

TEST(FaultSweepTest, EveryStoreFaultOfEveryCallFailsCleanly) {
  const std::vector<HiveOperation> seed = Seed();
  const std::vector<std::string> seeded = Sorted(testing::Dump(NewPlatform(seed)->memory));
  std::size_t runs = 0;
  for (const SweptCall& swept : Calls()) {
    SCOPED_TRACE(swept.name);
    // The clean run: its result, its store calls and the keys they address.
    std::unique_ptr<TestPlatform> clean = NewPlatform(seed);
    ASSERT_EQ(swept.call(clean->platform), swept.results.front());
    // Addressed: every key a clean call named, every key the clean run
    // changed, and everything inside a tree it deleted.
    std::set<Text> addressed;
    std::set<Text> trees;
    std::size_t count = 0;
    for (const StoreCall& call : clean->registry.Log()) {
      addressed.insert(Folded(call.path));
      if (call.operation == StoreOperation::kDeleteTree) trees.insert(Folded(call.path));
      if (call.operation != StoreOperation::kCloseKey) ++count;
    }
    for (const std::string& line : Changed(seeded, testing::Dump(clean->memory))) {
      addressed.insert(KeyOfLine(line));
    }
    const auto isAddressed = [&](const Text& key) {
      if (addressed.count(key) > 0) return true;
      return std::any_of(trees.begin(), trees.end(), [&](const Text& tree) {
        return key.size() > tree.size() && key.compare(0, tree.size(), tree) == 0 &&
               key[tree.size()] == u'\\';
      });
    };

    for (std::size_t n = 1; n <= count; ++n) {
      for (const ErrorCode fault : kFaults) {
        SCOPED_TRACE("call " + std::to_string(n) + " fails with " + std::to_string(fault));
        ++runs;
        std::unique_ptr<TestPlatform> t = NewPlatform(seed);
        t->registry.FailNth(StoreOperation::kAny, n, fault);
        const std::int32_t result = swept.call(t->platform);
        t->registry.ClearFault();
        EXPECT_NE(std::find(swept.results.begin(), swept.results.end(), result),
                  swept.results.end())
            << result;
        EXPECT_EQ(t->registry.OpenKeyCount(), 0u);
        if (result != swept.results.front()) {
          EXPECT_EQ(t->notifier.count(), 0u);
        }
        for (const std::string& line : Changed(seeded, testing::Dump(t->memory))) {
          EXPECT_TRUE(isAddressed(KeyOfLine(line))) << "changed outside the call: " << line;
        }
        if (::testing::Test::HasFailure()) return;  // one report per fault class is enough
      }
    }
  }
  std::printf("fault sweep: %zu faulted runs\n", runs);
}

}  // namespace
}  // namespace tolvane
