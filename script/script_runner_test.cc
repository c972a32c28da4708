#include "script/script_runner.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::Dump;
using testing::ReadString;
using testing::TestPlatform;

class ScriptRunnerTest : public ::testing::Test {
 protected:
  ScriptRunnerTest() { EXPECT_EQ(map_.Add(u"PATH", u"C:\\Suite\\Bin\\"), kSOk); }

  HResult Run(std::uint16_t id) {
    const HResult hr = RunScriptResource(t_.platform, map_, t_.paths.ownModule, id);
    EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
    return hr;
  }

  TestPlatform t_;
  ReplacementMap map_;
};

TEST_F(ScriptRunnerTest, RunsAScriptResource) {
  t_.resources.Set(130,
                   "HKCR\r\n{\r\n\tZdw.Document = s 'Doc'\r\n\t{\r\n"
                   "\t\tDefaultIcon = s '%path%Zdw.exe,1'\r\n\t}\r\n}\r\n");
  EXPECT_EQ(Run(130), kSOk);
  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u"Zdw.Document\\DefaultIcon", nullptr),
            u"C:\\Suite\\Bin\\Zdw.exe,1");
}

TEST_F(ScriptRunnerTest, ScriptEndsWithoutLineBreakOrAtItsFirstNul) {
  t_.resources.Set(1, "HKCU { A }");
  t_.resources.Set(2, std::string("HKCU { B }\0HKCU { C = q 'bad' }", 31));
  EXPECT_EQ(Run(1), kSOk);
  EXPECT_EQ(Run(2), kSOk);
  EXPECT_EQ(Dump(t_.memory),
            (std::vector<std::string>{"HKEY_CURRENT_USER\\A", "HKEY_CURRENT_USER\\B"}));
}

TEST_F(ScriptRunnerTest, WidensWithTheAnsiCodePage) {
  // Code page 949: C7 D1 and B1 DB are the two syllables U+D55C U+AE00.
  t_.resources.Set(7, "HKCU { Software { val Name = s '\xC7\xD1\xB1\xDB' } }");
  EXPECT_EQ(Run(7), kSOk);
  EXPECT_EQ(ReadString(t_.registry, kHkeyCurrentUser, u"Software", u"Name"), u"\xD55C\xAE00");
}

TEST_F(ScriptRunnerTest, FailuresBeforeTheScriptWriteNothing) {
  t_.resources.Set(5, "HKCU { A }");
  t_.resources.Set(6, "");
  struct Case {
    Text module;
    std::uint16_t id;
    HResult status;
  };
  const Case cases[] = {
      {u"C:\\Elsewhere\\missing.dll", 5, HResultFromError(kErrorFileNotFound)},
      {t_.paths.ownModule, 99, static_cast<HResult>(0x80070716u)},        // resource not found
      {t_.paths.ownModule, 6, HResultFromError(kErrorInvalidParameter)},  // nothing to widen
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(RunScriptResource(t_.platform, map_, c.module, c.id), c.status);
    EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);
    EXPECT_TRUE(Dump(t_.memory).empty());
    EXPECT_TRUE(t_.registry.Log().empty());
  }
}

TEST_F(ScriptRunnerTest, ScriptFaultIsReportedAfterTheUndo) {
  t_.resources.Set(9, "HKCU { Kept }\r\nHKCU { Undone { val v = s 'x' } Bad = s '%MISSING' }");
  // The replacement pass refuses the whole text before anything is written.
  EXPECT_EQ(Run(9), kDispEException);
  EXPECT_TRUE(Dump(t_.memory).empty());

  t_.resources.Set(10, "HKCU { Kept }\r\nHKCU { Undone { val v = s 'x' } Bad = b 'abc' }");
  EXPECT_EQ(Run(10), kEFail);
  EXPECT_EQ(Dump(t_.memory), (std::vector<std::string>{"HKEY_CURRENT_USER\\Kept"}));
}

}  // namespace
}  // namespace tolvane
