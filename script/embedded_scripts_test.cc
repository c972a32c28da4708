// The registrar scripts the library carries: their stored bytes, and how the
// portable build serves them by id.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/portable/embedded_resources.h"
#include "platform/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/portable/code_page_text_services.h"
#include "platform/portable/embedded_module_resources.h"
#include "tests/test_platform.h"
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
    EXPECT_EQ(Occurrences(text, expected.text), expected.occurrences)
        << Utf16ToUtf8(expected.text);
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
  EXPECT_EQ(resources.LoadRegistryScript(paths.ownModule, 129, &bytes),
            kErrorResourceNameNotFound);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(resources.LoadRegistryScript(u"C:\\Suite\\Bin\\Zdw.exe", 130, &bytes),
            kErrorModNotFound);
}
#endif

}  // namespace
}  // namespace tolvane
