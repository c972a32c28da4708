#include "registration/custom_actions.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "registration/self_register_module.h"
#include "tests/installer_fakes.h"
#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::CountingNotice;
using testing::ReadString;
using testing::RecordingInstaller;
using testing::RecordingModules;
using testing::TestPlatform;

constexpr InstallerHandle kHandle = 42;
constexpr std::int32_t kLocal = 3;
constexpr RegistrationRecord kEnd{RecordKind::EndOfList, kNoKey, nullptr, nullptr, nullptr};

// A catalogue where the groups the entry points name exist: the common one
// succeeds, the word processor's fails, the others write their folder.
const RegistrationRecord kBrokenList[] = {
    {static_cast<RecordKind>(6), kHkeyClassesRoot, u"Never", nullptr, u"x"}, kEnd};
const RegistrationRecord kTabrixList[] = {
    {RecordKind::SetExpandedString, kHkeyClassesRoot, u"Out", u"Tabrix", u"${App}"}, kEnd};
const RegistrationRecord kShowraList[] = {
    {RecordKind::SetExpandedString, kHkeyClassesRoot, u"Out", u"Showra", u"${App}"}, kEnd};
const RegistrationRecord kKeltList[] = {
    {RecordKind::SetExpandedString, kHkeyClassesRoot, u"Out", u"Kelt", u"${App}"}, kEnd};
const RecordList kEmptyGroup[] = {nullptr};
const RecordList kBrokenGroup[] = {kBrokenList, nullptr};
const RecordList kTabrixGroup[] = {kTabrixList, nullptr};
const RecordList kShowraGroup[] = {kShowraList, nullptr};
const RecordList kKeltGroup[] = {kKeltList, nullptr};
const GroupCatalogueEntry kCatalogue[] = {
    {u"COMMON2007_MODULE", kEmptyGroup},  {u"ZDW2007_MODULE", kBrokenGroup},
    {u"TABRIX2007_MODULE", kTabrixGroup}, {u"SHOWRA2007_MODULE", kShowraGroup},
    {u"KELT_2005_COM", kKeltGroup},
};

const Text kLongDir = u"C:\\" + Text(256, u'd') + u"\\";  // 260 units

class CustomActionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    modules_.loadable = {u"C:\\Common\\GrafoChart.ocx"};
    modules_.withExport = modules_.loadable;
  }
  void Act(std::initializer_list<const char16_t*> features) {
    for (const char16_t* f : features) installer_.preset.SetFeatureAction(f, kLocal);
  }
  std::vector<std::string> PropertiesRead() const {
    std::vector<std::string> read;
    for (const std::string& line : installer_.log) {
      if (line.starts_with("property ")) read.push_back(line.substr(9));
    }
    return read;
  }
  Text Out(const char16_t* name) { return ReadString(t_.registry, kHkeyClassesRoot, u"Out", name); }
  void TearDown() override {
    EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
    EXPECT_EQ(modules_.loaded, 0);
  }

  TestPlatform t_;
  RecordingInstaller installer_;
  RecordingModules modules_;
  CountingNotice notice_;
  Platform platform_{t_.registry, t_.notifier, t_.files,   t_.paths, t_.resources,
                     t_.text,     t_.shell,    installer_, modules_, notice_};
};

// With the built-in catalogue the common group is unknown: any acting
// feature ends in one notice and 1; none reads nothing and answers 0.
TEST_F(CustomActionsTest, RegProductWithBuiltInCatalogue) {
  struct Case {
    std::vector<const char16_t*> acting;
    std::uint32_t result;
    std::vector<std::string> read;
  };
  const Case cases[] = {
      {{}, 0, {}},
      {{u"Postra"}, 1, {"CommonDir"}},
      {{u"Velmora", u"Showra"}, 1, {"CommonDir"}},
  };
  for (const Case& c : cases) {
    installer_ = {};
    notice_.count = 0;
    for (const char16_t* f : c.acting) installer_.preset.SetFeatureAction(f, kLocal);
    installer_.preset.SetFeatureAction(u"ZdwDic", kFeatureNoAction);
    EXPECT_EQ(RegProductAction(platform_, kHandle), c.result);
    EXPECT_EQ(PropertiesRead(), c.read);
    EXPECT_EQ(notice_.count, c.result == 1 ? 1 : 0);
    EXPECT_TRUE(modules_.log.empty());
    EXPECT_TRUE(t_.registry.Log().empty());
  }
}

// Every later step: common group, chart module, then each acting product
// from the first acting feature on; a failing product does not stop the
// next; a folder that does not fit fails its own registration only.
TEST_F(CustomActionsTest, RegProductSteps) {
  struct Case {
    std::vector<const char16_t*> acting;
    std::optional<Text> commonDir;
    Text tabrixDir;
    std::uint32_t result;
    int notices;
    std::vector<std::string> read;
    bool chartLoaded;
    Text tabrixOut;
    Text showraOut;
  };
  const Text missing = u"<missing>";
  const Case cases[] = {
      {{u"Velmora", u"Tabrix", u"Showra"},
       u"C:\\Common\\",
       u"C:\\T\\",
       0,
       1,
       {"CommonDir", "ZdwDir", "TabrixDir", "ShowraDir"},
       true,
       u"C:\\T",
       u"C:\\Setup\\Disk1"},
      {{u"Tabrix"},
       u"C:\\Common\\",
       u"C:\\T\\",
       0,
       0,
       {"CommonDir", "TabrixDir"},
       true,
       u"C:\\T",
       missing},
      {{u"ZdwDic", u"Showra"},
       u"C:\\Common\\",
       u"C:\\T\\",
       0,
       0,
       {"CommonDir", "ShowraDir"},
       true,
       missing,
       u"C:\\Setup\\Disk1"},
      {{u"Postra"}, u"C:\\Common\\", u"C:\\T\\", 0, 0, {"CommonDir"}, true, missing, missing},
      {{u"Tabrix", u"Showra"},
       u"C:\\Common\\",
       kLongDir,
       0,
       1,
       {"CommonDir", "TabrixDir", "ShowraDir"},
       true,
       missing,
       u"C:\\Setup\\Disk1"},
      {{u"Tabrix"}, kLongDir, u"C:\\T\\", 1, 1, {"CommonDir"}, false, missing, missing},
      {{u"Tabrix"},
       std::nullopt,
       u"C:\\T\\",
       0,
       0,
       {"CommonDir", "TabrixDir"},
       false,
       u"C:\\T",
       missing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.read.size());
    t_.memory.Clear();
    installer_ = {};
    modules_.log.clear();
    notice_.count = 0;
    for (const char16_t* f : c.acting) installer_.preset.SetFeatureAction(f, kLocal);
    if (c.commonDir) installer_.preset.SetProperty(u"CommonDir", *c.commonDir);
    installer_.preset.SetProperty(u"TabrixDir", c.tabrixDir);
    EXPECT_EQ(RegProductAction(platform_, kCatalogue, kHandle), c.result);
    EXPECT_EQ(notice_.count, c.notices);
    EXPECT_EQ(PropertiesRead(), c.read);
    EXPECT_EQ(modules_.log.size() == 5, c.chartLoaded);
    EXPECT_EQ(Out(u"Tabrix"), c.tabrixOut);
    EXPECT_EQ(Out(u"Showra"), c.showraOut);
  }
}

// _RegKorvo runs script 104 only where KORVOX.OCX lies.
// Each failure goes to the installer's log once, with its reason, and back
// to the caller; the notices stay one per failure.
TEST_F(CustomActionsTest, FailuresReachTheInstallersLogWithTheirReasons) {
  Act({u"Velmora", u"Tabrix"});
  installer_.preset.SetProperty(u"CommonDir", u"C:\\Common\\");
  installer_.preset.SetProperty(u"TabrixDir", kLongDir);
  Status failure;
  EXPECT_EQ(RegProductAction(platform_, kCatalogue, kHandle, &failure), 0u);
  const std::vector<std::string> logged = {
      "_RegProduct: group ZDW2007_MODULE: a record of kind 6 cannot run here",
      "_RegProduct: group TABRIX2007_MODULE: the property TabrixDir does not fit 259 characters"};
  EXPECT_EQ(installer_.preset.logged(), logged);
  EXPECT_EQ(failure.message, logged[0].substr(13) + "; " + logged[1].substr(13));
  EXPECT_EQ(notice_.count, 2);
}

TEST_F(CustomActionsTest, RegKorvo) {
  struct Case {
    std::optional<Text> directory;
    bool scriptPresent;
    std::uint32_t result;
    Text written;
  };
  const Case cases[] = {
      {u"C:\\Korvo\\", true, 0, u"C:\\Korvo\\"},
      {u"C:\\Elsewhere\\", true, 0, u"<missing>"},
      {std::nullopt, true, 0, u"C:\\Setup\\Disk1\\"},
      {u"C:\\Korvo\\", false, 1, u"<missing>"},
      {kLongDir, true, 1, u"<missing>"},
  };
  t_.files.Add(u"C:\\Korvo\\korvox.ocx");
  t_.files.Add(u"C:\\Setup\\Disk1\\KORVOX.OCX");
  for (const Case& c : cases) {
    t_.memory.Clear();
    installer_ = {};
    notice_.count = 0;
    t_.resources.Set(104, c.scriptPresent ? "HKCR\r\n{\r\n  Korvo.Test = s '%PATH%'\r\n}\r\n" : "");
    if (c.directory) installer_.preset.SetProperty(u"QmrOcxOldDir", *c.directory);
    EXPECT_EQ(RegKorvoAction(platform_, kHandle), c.result);
    EXPECT_EQ(notice_.count, static_cast<int>(c.result));
    EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u"Korvo.Test", nullptr), c.written);
    EXPECT_EQ(installer_.log, std::vector<std::string>{"property QmrOcxOldDir"});
  }
}

// RegProductIS appends "zdw65" as it stands; a null or too long directory
// is a failure that writes nothing.
TEST_F(CustomActionsTest, RegProductIsPath) {
  const Text fits = u"C:\\" + Text(251, u'd') + u"\\";  // 255 units + "zdw65" = 260
  struct Case {
    const char16_t* directory;
    std::int32_t result;
    Text written;
  };
  const Case cases[] = {
      {u"C:\\Suite\\", 1, u"C:\\Suite\\zdw65"},
      {u"C:\\Suite", 1, u"C:\\Suitezdw65"},
      {nullptr, 0, u"<missing>"},
      {fits.c_str() + 1, 1, fits.substr(1) + u"zdw65"},
      {fits.c_str(), 0, u"<missing>"},
  };
  for (const Case& c : cases) {
    t_.memory.Clear();
    notice_.count = 0;
    EXPECT_EQ(RegProductIS(platform_, kCatalogue, c.directory), c.result);
    EXPECT_EQ(notice_.count, 1 - c.result);
    EXPECT_EQ(Out(u"Kelt"), c.written);
  }
  t_.memory.Clear();
  t_.registry.ClearLog();
  notice_.count = 0;
  EXPECT_EQ(RegProductIS(platform_, u"C:\\Suite\\"), 0);
  EXPECT_EQ(notice_.count, 1);
  EXPECT_TRUE(t_.registry.Log().empty());
}

TEST_F(CustomActionsTest, SelfRegisterModuleOrder) {
  struct Case {
    bool oleFails;
    const char16_t* path;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {false,
       u"C:\\Common\\GrafoChart.ocx",
       {"ole", "load C:\\Common\\GrafoChart.ocx", "call", "free", "unole"}},
      {false, u"C:\\Plain.dll", {"ole", "load C:\\Plain.dll", "free", "unole"}},
      {false, u"C:\\Missing.ocx", {"ole", "load C:\\Missing.ocx", "unole"}},
      {true, u"C:\\Common\\GrafoChart.ocx", {"ole"}},
  };
  modules_.loadable.push_back(u"C:\\Plain.dll");
  for (const Case& c : cases) {
    modules_.log.clear();
    modules_.oleFails = c.oleFails;
    SelfRegisterModule(platform_, c.path);
    EXPECT_EQ(modules_.log, c.log);
  }
}

}  // namespace
}  // namespace tolvane
