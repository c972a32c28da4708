// The registrar scripts the library carries: their stored bytes, how the
// portable build serves them by id, and what each one registers when the
// runner applies it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/memory_registry_store.h"
#include "platform/portable/embedded_resources.h"
#include "platform/text.h"
#include "script/replacement_map.h"
#include "script/script_runner.h"
#include "tests/test_platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/portable/code_page_text_services.h"
#include "platform/portable/embedded_module_resources.h"
#endif

namespace tolvane {
namespace {

constexpr std::uint16_t kScriptIds[] = {103, 104, 117, 121, 125, 126, 128, 130, 131, 132, 133};

std::string_view ScriptBytes(std::uint16_t id) {
  for (const EmbeddedResource& resource : EmbeddedRegistryResources()) {
    if (resource.id == id) return resource.bytes;
  }
  ADD_FAILURE() << "script " << id << " is not embedded";
  return {};
}

// Decodes code page 949 text; false when the bytes are not valid in it.
bool DecodeKorean(std::string_view bytes, Text* text) {
#ifdef _WIN32
  const int length = ::MultiByteToWideChar(949, MB_ERR_INVALID_CHARS, bytes.data(),
                                           static_cast<int>(bytes.size()), nullptr, 0);
  if (length <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(949, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                        wide.data(), length);
  text->assign(wide.begin(), wide.end());
  return true;
#else
  CodePageTextServices cp949(949);
  return cp949.WidenAnsi(bytes, text) == kErrorSuccess;
#endif
}

std::size_t Occurrences(TextView text, TextView part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != TextView::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

TEST(EmbeddedScriptsTest, TableHoldsTheElevenScriptsOrderedById) {
  std::vector<std::uint16_t> ids;
  for (const EmbeddedResource& resource : EmbeddedRegistryResources()) ids.push_back(resource.id);
  EXPECT_EQ(ids, std::vector<std::uint16_t>(std::begin(kScriptIds), std::end(kScriptIds)));
}

TEST(EmbeddedScriptsTest, EveryScriptIsPlainCrLfTextWithoutMarkOrTerminator) {
  for (const std::uint16_t id : kScriptIds) {
    SCOPED_TRACE(id);
    const std::string_view bytes = ScriptBytes(id);
    ASSERT_FALSE(bytes.empty());
    EXPECT_FALSE(bytes.starts_with("\xEF\xBB\xBF")) << "byte-order mark";
    EXPECT_FALSE(bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) << "UTF-16 mark";
    EXPECT_EQ(bytes.find('\0'), std::string_view::npos) << "NUL byte";
    EXPECT_TRUE(bytes.starts_with("HKCR\r\n{\r\n"));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\n') {
        ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at byte " << i;
      } else if (bytes[i] == '\r') {
        ASSERT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "bare CR at byte " << i;
      }
    }
    // Indentation is by tabs only.
    EXPECT_EQ(bytes.find("\n "), std::string_view::npos);
  }
}

TEST(EmbeddedScriptsTest, OnlyTheDisplayTextsOfFourScriptsLeaveAscii) {
  for (const std::uint16_t id : kScriptIds) {
    SCOPED_TRACE(id);
    const std::string_view bytes = ScriptBytes(id);
    const bool hasKorean = id == 126 || id == 130 || id == 131 || id == 132;
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    EXPECT_EQ(ascii, !hasKorean);
    Text text;
    EXPECT_TRUE(DecodeKorean(bytes, &text)) << "not valid code page 949 text";
  }
}

TEST(EmbeddedScriptsTest, KoreanTextsDecodeFromCodePage949) {
  struct Expected {
    std::uint16_t id;
    TextView text;
    std::size_t occurrences;
  };
  const Expected cases[] = {
      {126, u"'ZdwAutomationApp 1.0 형식 라이브러리'", 1},
      {130, u"'Mirvale오피스 Velmora 문서'", 2},
      {131, u"'Mirvale오피스 Lumera 문서'", 2},
      {132, u"'Mirvale오피스 Vantor 문서'", 2},
      {130, u"ForceRemove open = s '열기(&O)'", 1},
      {131, u"ForceRemove open = s '열기(&O)'", 1},
      {132, u"ForceRemove open = s '열기(&O)'", 1},
      {130, u"ForceRemove print = s '인쇄(&P)'", 1},
      {131, u"ForceRemove print = s '인쇄(&P)'", 1},
      {132, u"ForceRemove print = s '인쇄(&P)'", 1},
  };
  for (const Expected& expected : cases) {
    SCOPED_TRACE(expected.id);
    Text text;
    ASSERT_TRUE(DecodeKorean(ScriptBytes(expected.id), &text));
    EXPECT_EQ(Occurrences(text, expected.text), expected.occurrences) << Utf16ToUtf8(expected.text);
  }
}

TEST(EmbeddedScriptsTest, DocumentCommandsDoubleThePercentSign) {
  for (const std::uint16_t id : {130, 131, 132}) {
    SCOPED_TRACE(id);
    const std::string_view bytes = ScriptBytes(static_cast<std::uint16_t>(id));
    // Each command once for open and once for print, and no other percent
    // sign than those of %PATH% and "%%1".
    std::size_t commands = 0;
    for (std::size_t at = bytes.find("\"%%1\"'"); at != std::string_view::npos;
         at = bytes.find("\"%%1\"'", at + 1)) {
      ++commands;
    }
    EXPECT_EQ(commands, 2u);
    std::size_t paths = 0;
    for (std::size_t at = bytes.find("%PATH%"); at != std::string_view::npos;
         at = bytes.find("%PATH%", at + 1)) {
      ++paths;
    }
    EXPECT_EQ(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '%')),
              2 * paths + 2 * commands);
  }
}

#ifndef _WIN32
// The portable library serves the table as the resources of its own module.
TEST(EmbeddedScriptsTest, OwnModuleServesEveryScriptByIdWithItsExactBytes) {
  testing::FixedProcessPaths paths;
  testing::ListFileProbe files;
  EmbeddedModuleResources resources(paths, files);
  for (const std::uint16_t id : kScriptIds) {
    SCOPED_TRACE(id);
    std::string bytes;
    ASSERT_EQ(resources.LoadRegistryScript(u"c:\\program files\\suite\\TOLVANE.DLL", id, &bytes),
              kErrorSuccess);
    EXPECT_EQ(bytes, ScriptBytes(id));
  }
  std::string bytes = "stale";
  EXPECT_EQ(resources.LoadRegistryScript(paths.ownModule, 129, &bytes), kErrorResourceNameNotFound);
  EXPECT_TRUE(bytes.empty());
}

// Other paths fail with the codes loading them as data gives on Windows.
TEST(EmbeddedScriptsTest, OtherPathsFailAsLoadingThemAsDataDoes) {
  testing::FixedProcessPaths paths;
  testing::ListFileProbe files;
  files.Add(u"C:\\Suite\\Bin\\ReadMe.txt");
  EmbeddedModuleResources resources(paths, files);
  const struct {
    const char16_t* path;
    ErrorCode code;
  } kCases[] = {
      {u"C:\\Suite\\Bin\\Zdw.exe", kErrorFileNotFound},
      {u"C:\\No\\Such\\Directory\\Zdw.exe", kErrorFileNotFound},
      {u"", kErrorFileNotFound},
      {u"c:\\suite\\bin\\readme.TXT", kErrorBadExeFormat},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(Utf16ToUtf8(c.path));
    std::string bytes = "stale";
    EXPECT_EQ(resources.LoadRegistryScript(c.path, 130, &bytes), c.code);
    EXPECT_TRUE(bytes.empty());
  }
}
#endif

// Each script applied through the runner, as a RunScript record applies it:
// the library's own module, "PATH" the installation directory.
class AppliedScriptTest : public ::testing::Test {
 protected:
  static constexpr const char16_t* kDirectory = u"C:\\Suite\\Bin\\";

  AppliedScriptTest() {
    EXPECT_EQ(map_.Add(u"PATH", kDirectory), kSOk);
    for (const std::uint16_t id : kScriptIds) t_.resources.Set(id, std::string(ScriptBytes(id)));
  }

  HResult Run(std::uint16_t id) {
    const HResult hr = RunScriptResource(t_.platform, map_, t_.paths.ownModule, id);
    EXPECT_EQ(t_.registry.OpenKeyCount(), 0u) << "a key was left open";
    return hr;
  }
  Text Read(const Text& path, const char16_t* name = nullptr) {
    return testing::ReadString(t_.registry, kHkeyClassesRoot, path.c_str(), name);
  }
  bool Exists(const Text& path) {
    return testing::KeyExists(t_.registry, kHkeyClassesRoot, path.c_str());
  }

  testing::TestPlatform t_;
  ReplacementMap map_;
};

constexpr TextView kClassesRoot = u"HKEY_CLASSES_ROOT\\";

// A stored REG_SZ value as text, up to its terminator.
Text StringData(const StoredValue& value) {
  Text text(value.data.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(value.data[2 * i]) |
                                    (static_cast<unsigned char>(value.data[2 * i + 1]) << 8));
  }
  text.resize(TextLength(text.c_str()));
  return text;
}

// The last component of a key path and the path of its parent.
TextView LeafOf(TextView path) { return path.substr(path.rfind(u'\\') + 1); }
TextView ParentOf(TextView path) { return path.substr(0, path.rfind(u'\\')); }

TEST_F(AppliedScriptTest, EveryScriptWritesItsKeysAndStringValuesAndRerunsToTheSameState) {
  struct Expected {
    std::uint16_t id;
    std::size_t keys;
    std::size_t values;
  };
  const Expected cases[] = {{103, 32, 27}, {104, 35, 28}, {117, 51, 47}, {121, 100, 99},
                            {125, 44, 42}, {126, 22, 19}, {128, 48, 47}, {130, 23, 19},
                            {131, 23, 19}, {132, 23, 19}, {133, 7, 5}};
  for (const Expected& expected : cases) {
    SCOPED_TRACE(expected.id);
    t_.memory.Clear();
    ASSERT_EQ(Run(expected.id), kSOk);
    const std::vector<StoredKey> keys = t_.memory.Snapshot();
    std::size_t values = 0;
    for (const StoredKey& key : keys) {
      EXPECT_TRUE(key.path.starts_with(kClassesRoot)) << Utf16ToUtf8(key.path);
      for (const StoredValue& value : key.values) {
        ++values;
        EXPECT_EQ(value.type, kRegSz);
        // Every replacement was made; the only percent sign left is the
        // document argument "%1" of a shell command.
        const Text data = StringData(value);
        if (data.find(u'%') != Text::npos) {
          EXPECT_EQ(LeafOf(key.path), u"command");
          EXPECT_TRUE(data.ends_with(u" \"%1\"")) << Utf16ToUtf8(data);
          EXPECT_EQ(data.find(u'%'), data.size() - 3) << Utf16ToUtf8(data);
        }
        if (value.name == u"" &&
            (LeafOf(key.path) == u"InprocServer32" || LeafOf(key.path) == u"LocalServer32" ||
             LeafOf(key.path) == u"win32" || LeafOf(key.path) == u"HELPDIR")) {
          EXPECT_TRUE(data.starts_with(kDirectory)) << Utf16ToUtf8(data);
        }
      }
    }
    EXPECT_EQ(keys.size(), expected.keys);
    EXPECT_EQ(values, expected.values);

    const std::vector<std::string> first = testing::Dump(t_.memory);
    EXPECT_EQ(Run(expected.id), kSOk);
    EXPECT_EQ(testing::Dump(t_.memory), first);
  }
}

TEST_F(AppliedScriptTest, DocumentClassesPointAtTheirExecutable) {
  struct Expected {
    std::uint16_t id;
    const char16_t* progId;
    const char16_t* executable;
  };
  const Expected cases[] = {{130, u"Zdw.Document.8", u"Zdw.exe"},
                            {131, u"Tabrix.Document.8", u"Tabrix.exe"},
                            {132, u"Showra.Document.8", u"Showra.exe"}};
  for (const Expected& expected : cases) {
    SCOPED_TRACE(expected.id);
    ASSERT_EQ(Run(expected.id), kSOk);
    const Text progId = expected.progId;
    const Text program = Text(kDirectory) + expected.executable;
    EXPECT_EQ(Read(progId + u"\\shell\\open\\command"), program + u" \"%1\"");
    EXPECT_EQ(Read(progId + u"\\shell\\print\\command"), program + u" /p \"%1\"");
    EXPECT_EQ(Read(progId + u"\\DefaultIcon"), program + u",1");
    EXPECT_EQ(Read(progId + u"\\shell"), u"Open");
    const Text classKey = u"CLSID\\" + Read(progId + u"\\CLSID");
    EXPECT_EQ(Read(classKey + u"\\ProgID"), progId);
    EXPECT_EQ(Read(classKey + u"\\LocalServer32"), program);
    EXPECT_EQ(Read(classKey + u"\\DefaultIcon"), program + u",0");
    EXPECT_EQ(Read(classKey + u"\\Verb\\1"), u"&Open,0,2");
  }
  // The word processor's document class is the one its MIME type names.
  EXPECT_EQ(Read(u"Zdw.Document.8\\CLSID"), u"{5B0C2E11-7D3A-4C1E-9F2B-6A4D8E1C3F70}");
  EXPECT_NE(Read(u"Tabrix.Document.8\\CLSID"), Read(u"Showra.Document.8\\CLSID"));
}

#ifndef _WIN32
// The portable text services widen with code page 949, as a Korean Windows
// thread does, so the display texts arrive as written.
TEST_F(AppliedScriptTest, KoreanDisplayTextsAreStoredAsWritten) {
  for (const std::uint16_t id : {126, 130, 131, 132}) {
    ASSERT_EQ(Run(static_cast<std::uint16_t>(id)), kSOk);
  }
  EXPECT_EQ(Read(u"Zdw.Document.8"), u"Mirvale오피스 Velmora 문서");
  EXPECT_EQ(Read(u"Tabrix.Document.8"), u"Mirvale오피스 Lumera 문서");
  EXPECT_EQ(Read(u"Showra.Document.8"), u"Mirvale오피스 Vantor 문서");
  EXPECT_EQ(Read(u"CLSID\\" + Read(u"Zdw.Document.8\\CLSID")), u"Mirvale오피스 Velmora 문서");
  EXPECT_EQ(Read(u"Showra.Document.8\\shell\\open"), u"열기(&O)");
  EXPECT_EQ(Read(u"Showra.Document.8\\shell\\print"), u"인쇄(&P)");
  const Text typeLib =
      u"TypeLib\\" +
      Read(u"CLSID\\" + Read(u"ZdwAutomationApp2.ZdwAutomation\\CLSID") + u"\\TypeLib");
  EXPECT_EQ(Read(typeLib + u"\\1.0"), u"ZdwAutomationApp 1.0 형식 라이브러리");
}
#endif

TEST_F(AppliedScriptTest, RerunReplacesTheVerbKeysButKeepsForeignValuesElsewhere) {
  ASSERT_EQ(Run(130), kSOk);
  testing::WriteString(t_.registry, kHkeyClassesRoot, u"Zdw.Document.8\\shell\\open\\ddeexec",
                       nullptr, u"[open]");
  testing::WriteString(t_.registry, kHkeyClassesRoot, u"Zdw.Document.8\\shell\\print", u"Extra",
                       u"x");
  testing::WriteString(t_.registry, kHkeyClassesRoot, u"Zdw.Document.8", u"EditFlags", u"0");
  ASSERT_EQ(Run(130), kSOk);
  EXPECT_FALSE(Exists(u"Zdw.Document.8\\shell\\open\\ddeexec"));
  EXPECT_EQ(Read(u"Zdw.Document.8\\shell\\print", u"Extra"), u"<missing>");
  EXPECT_EQ(Read(u"Zdw.Document.8", u"EditFlags"), u"0");
  EXPECT_EQ(Read(u"Zdw.Document.8\\shell\\open\\command"), u"C:\\Suite\\Bin\\Zdw.exe \"%1\"");
}

TEST_F(AppliedScriptTest, EmbeddingControlTakesOverTheSharedProgIdAndKeepsTheOtherClass) {
  ASSERT_EQ(Run(117), kSOk);
  const Text wordProcessorControl = Read(u"ZDWCONTROL.ZdwCtrlCtrl.1\\CLSID");
  ASSERT_EQ(Run(128), kSOk);
  const Text embeddingControl = Read(u"ZDWCONTROL.ZdwCtrlCtrl.1\\CLSID");
  EXPECT_NE(embeddingControl, wordProcessorControl);
  EXPECT_EQ(Read(u"ZDWCONTROL.ZdwCtrlCtrl.1"), u"Pivra.Control");
  EXPECT_EQ(Read(u"CLSID\\" + wordProcessorControl + u"\\ProgID"), u"ZDWCONTROL.ZdwCtrlCtrl.1");
  EXPECT_TRUE(Exists(u"CLSID\\" + wordProcessorControl + u"\\Implemented Categories"));
  EXPECT_EQ(Read(u"CLSID\\" + embeddingControl + u"\\ProgID"), u"ZDWCONTROL.ZdwCtrlCtrl_Pivra.1");
  EXPECT_EQ(Read(u"CLSID\\" + embeddingControl + u"\\InprocServer32"),
            u"C:\\Suite\\Bin\\PivraCtrl.ocx");
}

// The identifiers in braces that a script's text names, other than the
// system's own (the automation marshaller and the two component categories).
std::vector<std::string> OwnGuids(std::string_view bytes) {
  std::vector<std::string> guids;
  for (std::size_t at = bytes.find('{'); at != std::string_view::npos;
       at = bytes.find('{', at + 1)) {
    const std::string_view guid = bytes.substr(at, 38);
    if (guid.size() < 38 || guid[37] != '}') continue;
    if (guid == "{00020420-0000-0000-C000-000000000046}" || guid.starts_with("{7DD9580")) {
      continue;
    }
    guids.emplace_back(guid);
  }
  return guids;
}

TEST_F(AppliedScriptTest, WordProcessorAndEmbeddingControlsShareNoIdentifier) {
  const std::vector<std::string> wordProcessor = OwnGuids(ScriptBytes(117));
  const std::vector<std::string> embedding = OwnGuids(ScriptBytes(128));
  // Class, property page, six interfaces and the type library.
  EXPECT_GE(wordProcessor.size(), 9u);
  for (const std::string& guid : embedding) {
    EXPECT_EQ(std::count(wordProcessor.begin(), wordProcessor.end(), guid), 0) << guid;
  }
}

// Within each script, the class a ProgID names, the type library and version
// a class or interface names and the AppID a class names are registered.
TEST_F(AppliedScriptTest, IdentifiersNamedByAScriptAreRegisteredByIt) {
  // 121's classes name type libraries that their modules register
  // themselves; 126's class names itself as AppID.
  for (const std::uint16_t id : kScriptIds) {
    SCOPED_TRACE(id);
    t_.memory.Clear();
    ASSERT_EQ(Run(id), kSOk);
    std::size_t checked = 0;
    for (const StoredKey& key : t_.memory.Snapshot()) {
      const Text path(TextView(key.path).substr(kClassesRoot.size()));
      const TextView leaf = LeafOf(path);
      const TextView container = LeafOf(ParentOf(ParentOf(path)));
      for (const StoredValue& value : key.values) {
        const Text data = StringData(value);
        if (value.name.empty() && leaf == u"CLSID") {
          EXPECT_TRUE(Exists(u"CLSID\\" + data)) << Utf16ToUtf8(path);
          ++checked;
        } else if (value.name.empty() && leaf == u"TypeLib" && id != 121) {
          EXPECT_TRUE(Exists(u"TypeLib\\" + data)) << Utf16ToUtf8(path);
          EXPECT_TRUE(container == u"CLSID" || container == u"Interface") << Utf16ToUtf8(path);
          ++checked;
        } else if (value.name == u"Version") {
          EXPECT_TRUE(Exists(u"TypeLib\\" + Read(path) + u"\\" + data)) << Utf16ToUtf8(path);
          ++checked;
        } else if (value.name == u"AppID" && id != 126) {
          EXPECT_TRUE(Exists(u"AppID\\" + data)) << Utf16ToUtf8(path);
          ++checked;
        }
      }
    }
    EXPECT_GT(checked, 0u);
  }
}

TEST_F(AppliedScriptTest, FailingRootBlockKeepsTheEarlierBlocksAndSkipsTheLaterOnes) {
  // The second class's versioned ProgID exists but can only be read, so
  // writing its display name is refused in the third root block.
  testing::WriteString(t_.registry, kHkeyClassesRoot, u"QmrAccessible.QmrAADocumentProxy.2",
                       nullptr, nullptr);
  ASSERT_EQ(t_.registry.Restrict(kHkeyClassesRoot, u"QmrAccessible.QmrAADocumentProxy.2",
                                 FaultInjectingRegistryStore::Restriction::kReadOnly),
            kErrorSuccess);
  EXPECT_EQ(Run(125), HResultFromError(kErrorAccessDenied));
  const Text appId = Read(u"AppID\\QmrAccessible.DLL", u"AppID");
  EXPECT_EQ(Read(u"AppID\\" + appId), u"QmrAccessible");
  const Text firstClass = Read(u"QmrAccessible.QmrAccessibleProxy.1\\CLSID");
  EXPECT_EQ(Read(u"CLSID\\" + firstClass, u"AppID"), appId);
  EXPECT_FALSE(Exists(u"QmrAccessible.QmrAADocumentProxy"));
  EXPECT_FALSE(Exists(u"QmrAccessible.QmrAAParameter.1"));
  EXPECT_FALSE(Exists(u"QmrAccessible.QmrAAParameter"));
}

}  // namespace
}  // namespace tolvane
