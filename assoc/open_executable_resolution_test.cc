// The open-executable query as the association operations see it, answered
// by the registry-backed resolver of the portable build.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "assoc/file_ext_association.h"
#include "platform/memory/registry_open_executable_query.h"
#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::TestPlatform;

// One value to put into HKEY_CLASSES_ROOT before the query.
struct ClassValue {
  const char16_t* path;
  const char16_t* name;  // null: the default value
  std::uint32_t type;
  const char16_t* data;  // null: only the key is created
};

struct ResolutionCase {
  const char* name;
  std::vector<ClassValue> classes;
  const char16_t* association;
  const char16_t* expected;  // null: no executable
};

// A failing case is reported by its name, not as a dump of its bytes.
void PrintTo(const ResolutionCase& c, std::ostream* os) { *os << c.name; }

constexpr char16_t kCmd[] = u"Zdw.Document.8\\shell\\open\\command";
constexpr char16_t kExtCmd[] = u".zdw\\shell\\open\\command";

// The environment the expanded commands see.
bool FakeEnvironment(TextView name, Text* value) {
  if (name == u"SUITEDIR") {
    *value = u"C:\\Program Files\\Suite";
    return true;
  }
  return false;
}

Text Long(std::size_t units) { return u"C:\\" + Text(units - 7, u'a') + u".exe"; }
const Text kFitsExecutable = Long(kMaxPathChars);
const Text kFits = u"\"" + kFitsExecutable + u"\" \"%1\"";
const Text kTooLong = u"\"" + Long(kMaxPathChars + 1) + u"\" \"%1\"";

const ResolutionCase kCases[] = {
    {"QuotedPathWithBlanks",
     {{kCmd, nullptr, kRegSz, u"\"C:\\Program Files\\Suite\\Zdw.exe\" \"%1\""}},
     u"Zdw.Document.8",
     u"C:\\Program Files\\Suite\\Zdw.exe"},
    {"UnquotedEndsAtFirstBlank",
     {{kCmd, nullptr, kRegSz, u"C:\\Suite\\Zdw.exe /open \"%1\""}},
     u"Zdw.Document.8",
     u"C:\\Suite\\Zdw.exe"},
    {"LeadingBlanksSkipped",
     {{kCmd, nullptr, kRegSz, u" \tC:\\Suite\\Zdw.exe"}},
     u"Zdw.Document.8",
     u"C:\\Suite\\Zdw.exe"},
    {"UnclosedQuoteRunsToTheEnd",
     {{kCmd, nullptr, kRegSz, u"\"C:\\Program Files\\Zdw.exe"}},
     u"Zdw.Document.8",
     u"C:\\Program Files\\Zdw.exe"},
    {"ExpandStringUsesEnvironment",
     {{kCmd, nullptr, kRegExpandSz, u"\"%SUITEDIR%\\Zdw.exe\" \"%1\""}},
     u"Zdw.Document.8",
     u"C:\\Program Files\\Suite\\Zdw.exe"},
    {"UnsetVariableStaysAsWritten",
     {{kCmd, nullptr, kRegExpandSz, u"%NOPE%\\Zdw.exe"}},
     u"Zdw.Document.8",
     u"%NOPE%\\Zdw.exe"},
    {"PlainStringIsNotExpanded",
     {{kCmd, nullptr, kRegSz, u"%SUITEDIR%\\Zdw.exe"}},
     u"Zdw.Document.8",
     u"%SUITEDIR%\\Zdw.exe"},
    {"ExtensionUsesItsProgId",
     {{u".zdw", nullptr, kRegSz, u"Zdw.Document.8"},
      {kExtCmd, nullptr, kRegSz, u"C:\\Own\\Ext.exe"},
      {kCmd, nullptr, kRegSz, u"C:\\Suite\\Zdw.exe"}},
     u".zdw",
     u"C:\\Suite\\Zdw.exe"},
    {"ExtensionWithoutProgIdUsesItsOwnCommand",
     {{kExtCmd, nullptr, kRegSz, u"C:\\Own\\Ext.exe"}},
     u".zdw",
     u"C:\\Own\\Ext.exe"},
    {"ProgIdWithoutOpenFallsBackToExtension",
     {{u".zdw", nullptr, kRegSz, u"Zdw.Document.8"},
      {u"Zdw.Document.8\\shell\\print\\command", nullptr, kRegSz, u"C:\\Suite\\Print.exe"},
      {kExtCmd, nullptr, kRegSz, u"C:\\Own\\Ext.exe"}},
     u".zdw",
     u"C:\\Own\\Ext.exe"},
    {"MissingProgIdKeyFallsBackToExtension",
     {{u".zdw", nullptr, kRegSz, u"Gone.Document"},
      {kExtCmd, nullptr, kRegSz, u"C:\\Own\\Ext.exe"}},
     u".zdw",
     u"C:\\Own\\Ext.exe"},
    {"ProgIdDoesNotFollowItsDefaultValue",
     {{u"Zdw.Document.8", nullptr, kRegSz, u"Other.Document"},
      {u"Other.Document\\shell\\open\\command", nullptr, kRegSz, u"C:\\Other.exe"}},
     u"Zdw.Document.8",
     nullptr},
    {"ExtensionWithNoCommandAnywhere",
     {{u".zdw", nullptr, kRegSz, u"Zdw.Document.8"}, {u"Zdw.Document.8", nullptr, kRegSz, u"Doc"}},
     u".zdw",
     nullptr},
    {"UnknownAssociation", {}, u".nope", nullptr},
    {"CommandKeyWithoutValue", {{kCmd, nullptr, kRegSz, nullptr}}, u"Zdw.Document.8", nullptr},
    {"CommandOfAnotherType",
     {{kCmd, nullptr, kRegBinary, u"C:\\x.exe"}},
     u"Zdw.Document.8",
     nullptr},
    {"EmptyCommand", {{kCmd, nullptr, kRegSz, u""}}, u"Zdw.Document.8", nullptr},
    {"EmptyQuotedExecutable", {{kCmd, nullptr, kRegSz, u"\"\" x.exe"}}, u"Zdw.Document.8", nullptr},
    {"BlanksOnly", {{kCmd, nullptr, kRegSz, u"   "}}, u"Zdw.Document.8", nullptr},
    {"LongestPathThatFits",
     {{kCmd, nullptr, kRegSz, kFits.c_str()}},
     u"Zdw.Document.8",
     kFitsExecutable.c_str()},
    {"PathTooLong", {{kCmd, nullptr, kRegSz, kTooLong.c_str()}}, u"Zdw.Document.8", nullptr},
    {"NullAssociation", {{kCmd, nullptr, kRegSz, u"C:\\x.exe"}}, nullptr, nullptr},
    {"EmptyAssociation", {{kCmd, nullptr, kRegSz, u"C:\\x.exe"}}, u"", nullptr},
};

class OpenExecutableResolutionTest : public ::testing::TestWithParam<ResolutionCase> {};

TEST_P(OpenExecutableResolutionTest, Resolves) {
  const ResolutionCase& c = GetParam();
  TestPlatform t;
  RegistryOpenExecutableQuery shell(t.registry, FakeEnvironment);
  Platform platform{t.registry, t.notifier, t.files, t.paths, t.resources, t.text, shell};
  for (const ClassValue& v : c.classes) {
    ScopedKey key(t.registry);
    ASSERT_EQ(t.registry.CreateKey(kHkeyClassesRoot, v.path, kKeyAllAccess, key.Receive(), nullptr),
              kErrorSuccess);
    if (v.data != nullptr) {
      const auto bytes = static_cast<std::uint32_t>((TextLength(v.data) + 1) * sizeof(char16_t));
      ASSERT_EQ(t.registry.SetValue(key.get(), v.name, v.type, v.data, bytes), kErrorSuccess);
    }
  }

  Text executable = u"stale";
  EXPECT_EQ(QueryOpenExecutable(platform, c.association, &executable), c.expected != nullptr);
  EXPECT_EQ(Utf16ToUtf8(executable), Utf16ToUtf8(ViewOf(c.expected)));
  EXPECT_EQ(t.registry.OpenKeyCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenExecutableResolutionTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OpenExecutableResolution, ReadsAValueStoredWithoutTerminator) {
  TestPlatform t;
  ScopedKey key(t.registry);
  ASSERT_EQ(t.registry.CreateKey(kHkeyClassesRoot, kCmd, kKeyAllAccess, key.Receive(), nullptr),
            kErrorSuccess);
  const char16_t data[] = {u'C', u':', u'\\', u'z', u'.', u'e', u'x', u'e'};
  ASSERT_EQ(t.registry.SetValue(key.get(), nullptr, kRegSz, data, sizeof data), kErrorSuccess);
  key.Reset();

  Text executable;
  EXPECT_TRUE(QueryOpenExecutable(t.platform, u"Zdw.Document.8", &executable));
  EXPECT_EQ(Utf16ToUtf8(executable), "C:\\z.exe");
  EXPECT_EQ(t.registry.OpenKeyCount(), 0u);
}

}  // namespace
}  // namespace tolvane
