// What the engine relies on from TextServices, one table per rule, run
// against the build's own implementation: code-page widening and digit
// conversion natively, the platform's calls under Wine. A row that passes on
// one and fails on the other is a difference the portable build must not
// have.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::NativeTextServices;

TEST(TextServicesContract, NumbersConvertAsTheRegistrarDoes) {
  NativeTextServices text;
  const struct {
    const char16_t* text;
    std::uint32_t value;
  } kCases[] = {
      {u"0", 0},          {u"42", 42},  {u"007", 7},  {u"4294967295", 4294967295u},
      {u"4294967296", 0}, {u" 5", 5},   {u"5 ", 5},   {u"+5", 5},
      {u"0x10", 0},       {u"-5", 0},   {u"12ab", 0}, {u"", 0},
      {u"  ", 0},         {nullptr, 0},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(text.TextToUInt32(c.text), c.value) << (c.text ? Utf16ToUtf8(c.text) : "null");
  }
}

TEST(TextServicesContract, NamesCompareWithoutRegardToCase) {
  NativeTextServices text;
  const struct {
    const char16_t* a;
    const char16_t* b;
    bool equal;
  } kCases[] = {
      {u"HKCR", u"hkcr", true},
      {u"ForceRemove", u"FORCEREMOVE", true},
      {u"\u00C4rger", u"\u00E4RGER", true},
      {u"\u0416", u"\u0436", true},
      {u"PATH", u"PAT", false},
      {u"Val", u"Va1", false},
      {u"", u"", true},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal) << Utf16ToUtf8(c.a) << " " << Utf16ToUtf8(c.b);
  }
}

TEST(TextServicesContract, WideningUsesTheScriptCodePage) {
  NativeTextServices text;
  const struct {
    std::string bytes;
    bool widens;
    Text wide;
  } kCases[] = {
      {"HKCR\r\n{ }", true, u"HKCR\r\n{ }"},
      {"\xC7\xD1\xB1\xDB 2007", true, u"\uD55C\uAE00 2007"},
      {"", false, u""},
  };
  for (const auto& c : kCases) {
    Text wide = u"stale";
    EXPECT_EQ(text.WidenAnsi(c.bytes, &wide) == kErrorSuccess, c.widens) << c.bytes;
    EXPECT_EQ(wide, c.wide) << c.bytes;
  }
}

}  // namespace
}  // namespace tolvane
