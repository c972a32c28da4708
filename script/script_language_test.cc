#include "script/script_language.h"
#include "platform/root_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::TestPlatform;

// The bytes of a converted value, for exact comparison.
std::vector<std::uint8_t> BytesOf(const ConvertedValue& value) {
  const auto* p = static_cast<const std::uint8_t*>(value.data());
  return std::vector<std::uint8_t>(p, p + value.byteCount());
}

// Every token of text until the first failure; the failure (or 0 when the
// text ended cleanly after a token) goes to *status.
std::vector<Text> Tokens(const char16_t* text, ReplacementMap& map, HResult* status) {
  ScriptParser parser{map, text};
  std::vector<Text> tokens;
  TokenBuffer token;
  while (true) {
    *status = ReadToken(parser, token);
    if (Failed(*status)) break;
    tokens.emplace_back(token);
    SkipBlanks(parser);
    if (*parser.cursor == u'\0') break;
  }
  return tokens;
}

class ScriptLanguageTest : public ::testing::Test {
 protected:
  TestPlatform t_;
  ReplacementMap map_;
};

TEST_F(ScriptLanguageTest, ReadsTokens) {
  struct Case {
    const char16_t* text;
    std::vector<Text> tokens;
    HResult status;
  };
  const Case cases[] = {
      {u"a b\tc\r\nd", {u"a", u"b", u"c", u"d"}, kSOk},
      {u"  HKCR\r\n{\r\n}\r\n", {u"HKCR", u"{", u"}"}, kSOk},
      {u"'two words' next", {u"two words", u"next"}, kSOk},
      {u"'it''s'", {u"it's"}, kSOk},
      {u"'''x'''", {u"'x'"}, kSOk},
      {u"'' x", {u"", u"x"}, kSOk},
      {u"'quoted'rest", {u"quoted", u"rest"}, kSOk},
      {u"'{ = %' }", {u"{ = %", u"}"}, kSOk},
      // Only blanks separate unquoted tokens.
      {u"Name='x' {a}", {u"Name='x'", u"{a}"}, kSOk},
      {u"a'b c", {u"a'b", u"c"}, kSOk},
      // Vertical tab and form feed are token characters.
      {u"a\vb\fc d", {u"a\vb\fc", u"d"}, kSOk},
      {u"'open", {}, kDispEException},
      {u"x 'it''", {u"x"}, kDispEException},
      {u"", {}, kDispEException},
      {u" \t\r\n", {}, kDispEException},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.text));
    HResult status = 0;
    EXPECT_EQ(Tokens(c.text, map_, &status), c.tokens);
    EXPECT_EQ(status, c.status);
  }
}

TEST_F(ScriptLanguageTest, TokenLengthLimit) {
  for (const bool quoted : {false, true}) {
    for (const std::size_t units : {kMaxTokenUnits, kMaxTokenUnits + 1}) {
      SCOPED_TRACE(units);
      Text body(units, u'x');
      Text text = quoted ? u"'" + body + u"' after" : body + u" after";
      ScriptParser parser{map_, text.c_str()};
      TokenBuffer token;
      if (units <= kMaxTokenUnits) {
        ASSERT_EQ(ReadToken(parser, token), kSOk);
        EXPECT_EQ(Text(token), body);
        ASSERT_EQ(ReadToken(parser, token), kSOk);
        EXPECT_EQ(Text(token), u"after");
      } else {
        EXPECT_EQ(ReadToken(parser, token), kDispEException);
      }
    }
  }
  // A quoted apostrophe pair counts as one unit of the token.
  Text text = u"'" + Text(kMaxTokenUnits - 1, u'x') + u"'''";
  ScriptParser parser{map_, text.c_str()};
  TokenBuffer token;
  ASSERT_EQ(ReadToken(parser, token), kSOk);
  EXPECT_EQ(TextLength(token), kMaxTokenUnits);
  EXPECT_EQ(token[kMaxTokenUnits - 1], u'\'');
}

TEST_F(ScriptLanguageTest, ExpandsReplacements) {
  ASSERT_EQ(map_.Add(u"PATH", u"C:\\Suite\\Bin\\"), kSOk);
  ASSERT_EQ(map_.Add(u"QUOTE", u"it's"), kSOk);
  ASSERT_EQ(map_.Add(u"LOOP", u"%PATH%"), kSOk);
  ASSERT_EQ(map_.Add(u"EMPTY", u""), kSOk);
  const Text name31(31, u'N');
  const Text name32(32, u'N');
  ASSERT_EQ(map_.Add(name31.c_str(), u"thirty-one"), kSOk);
  ASSERT_EQ(map_.Add(name32.c_str(), u"thirty-two"), kSOk);

  struct Case {
    Text text;
    Text expanded;
    HResult status;
  };
  const Case cases[] = {
      {u"'%PATH%Zdw.exe \"%%1\"'", u"'C:\\Suite\\Bin\\Zdw.exe \"%1\"'", kSOk},
      {u"%path%%Path%", u"C:\\Suite\\Bin\\C:\\Suite\\Bin\\", kSOk},
      {u"100%%", u"100%", kSOk},
      {u"%%PATH%%", u"%PATH%", kSOk},
      {u"%LOOP%", u"%PATH%", kSOk},  // an inserted value is not scanned again
      // A value inside a quoted token has its apostrophes doubled, so the
      // token reads back whole; anywhere else it goes in unchanged.
      {u"'%QUOTE%'", u"'it''s'", kSOk},
      {u"'a''%QUOTE%' '%QUOTE%'", u"'a''it''s' 'it''s'", kSOk},
      {u"%QUOTE% x'%QUOTE% 'a'%QUOTE% 'a' %QUOTE%", u"it's x'it's 'a'it's 'a' it's", kSOk},
      {u"a%EMPTY%b", u"ab", kSOk},
      {u"", u"", kSOk},
      {u"%" + name31 + u"%", u"thirty-one", kSOk},
      {u"%" + name32 + u"%", u"", kEFail},
      {u"%PATH", u"", kDispEException},
      {u"trailing %", u"", kDispEException},
      {u"%MISSING%", u"", kDispEException},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.text));
    ExpandedText expanded;
    EXPECT_EQ(ExpandReplacements(c.text.c_str(), map_, &expanded), c.status);
    if (c.status == kSOk) {
      ASSERT_NE(expanded.c_str(), nullptr);
      EXPECT_EQ(Text(expanded.c_str()), c.expanded);
      EXPECT_EQ(expanded.view(), c.expanded);
    } else {
      EXPECT_EQ(expanded.c_str(), nullptr);
    }
  }
}

TEST_F(ScriptLanguageTest, ExpansionBufferGrowsByDoubling) {
  struct Initial {
    std::size_t input;
    std::size_t capacity;
  };
  for (const Initial c :
       {Initial{0, 1000}, Initial{49, 1000}, Initial{50, 100}, Initial{3000, 6000}}) {
    std::size_t capacity = 0;
    ASSERT_TRUE(InitialExpansionCapacity(c.input, &capacity));
    EXPECT_EQ(capacity, c.capacity) << c.input;
  }

  struct Growth {
    std::size_t capacity;
    std::size_t length;
    bool ok;
    std::size_t grown;
  };
  const Growth growths[] = {
      {100, 98, true, 100},  // 98 units and the terminator fit with room to spare
      {100, 99, true, 200},
      {1000, 3000, true, 4000},
      {kMaxDoublableCapacity, kMaxDoublableCapacity, true, 2 * kMaxDoublableCapacity},
      {kMaxDoublableCapacity + 1, kMaxDoublableCapacity + 1, false, 0},
  };
  for (const Growth& g : growths) {
    std::size_t grown = 0;
    EXPECT_EQ(GrowExpansionCapacity(g.capacity, g.length, &grown), g.ok) << g.capacity;
    if (g.ok) {
      EXPECT_EQ(grown, g.grown) << g.capacity;
    }
  }

  // A short script starts at 1000 units; a long value doubles it twice.
  const Text big(3000, u'v');
  ASSERT_EQ(map_.Add(u"BIG", big.c_str()), kSOk);
  ExpandedText expanded;
  ASSERT_EQ(ExpandReplacements(u"%BIG%!", map_, &expanded), kSOk);
  EXPECT_EQ(expanded.capacity, 4000u);
  EXPECT_EQ(expanded.view(), big + u"!");
}

TEST_F(ScriptLanguageTest, FindsRootKeysAndValueTypes) {
  for (const RootKeyEntry& entry : kRootKeys) {
    EXPECT_EQ(FindRootKey(entry.shortName), entry.key);
    EXPECT_EQ(FindRootKey(entry.full), entry.key);
  }
  EXPECT_EQ(FindRootKey(u"hkey_local_machine"), kHkeyLocalMachine);
  EXPECT_EQ(FindRootKey(u"hkdd"), kHkeyDynData);
  EXPECT_EQ(FindRootKey(u"hkcc"), kHkeyCurrentConfig);
  for (const char16_t* other : {u"HKCRX", u"HK", u"", u"{", u"HKEY_CLASSES"}) {
    EXPECT_FALSE(FindRootKey(other).has_value()) << Utf16ToUtf8(other);
  }

  EXPECT_EQ(FindValueType(u"s"), ValueKind::kString);
  EXPECT_EQ(FindValueType(u"M"), ValueKind::kMultiString);
  EXPECT_EQ(FindValueType(u"d"), ValueKind::kNumber);
  EXPECT_EQ(FindValueType(u"B"), ValueKind::kBytes);
  for (const char16_t* other : {u"SZ", u"x", u"", u"=", u"e"}) {
    EXPECT_FALSE(FindValueType(other).has_value()) << Utf16ToUtf8(other);
  }
}

TEST_F(ScriptLanguageTest, ConvertsValuesToExactBytes) {
  using Bytes = std::vector<std::uint8_t>;
  struct Case {
    ValueKind kind;
    Text text;
    HResult status;
    std::uint32_t type;
    Bytes bytes;
  };
  const Case cases[] = {
      {ValueKind::kString, u"ab", kSOk, kRegSz, {0x61, 0, 0x62, 0, 0, 0}},
      {ValueKind::kString, u"", kSOk, kRegSz, {0, 0}},
      {ValueKind::kString, u"\xD55C", kSOk, kRegSz, {0x5C, 0xD5, 0, 0}},
      {ValueKind::kNumber, u"1234", kSOk, kRegDword, {0xD2, 0x04, 0, 0}},
      {ValueKind::kNumber, u"4294967295", kSOk, kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}},
      {ValueKind::kNumber, u"4294967296", kSOk, kRegDword, {0, 0, 0, 0}},
      {ValueKind::kNumber, u"twelve", kSOk, kRegDword, {0, 0, 0, 0}},
      {ValueKind::kBytes, u"0aFF", kSOk, kRegBinary, {0x0A, 0xFF}},
      {ValueKind::kBytes, u"0g", kSOk, kRegBinary, {0x00}},
      {ValueKind::kBytes, u"zz9A", kSOk, kRegBinary, {0x00, 0x9A}},
      {ValueKind::kBytes, u"", kSOk, kRegBinary, {}},
      {ValueKind::kBytes, u"abc", kEFail, 0, {}},
      {ValueKind::kMultiString,
       u"a\\0b\\0c",
       kSOk,
       kRegMultiSz,
       {0x61, 0, 0, 0, 0x62, 0, 0, 0, 0x63, 0, 0, 0, 0, 0}},
      {ValueKind::kMultiString, u"a\\0\\0b", kSOk, kRegMultiSz, {0x61, 0, 0, 0, 0, 0}},
      {ValueKind::kMultiString, u"\\0a", kSOk, kRegMultiSz, {0, 0}},
      {ValueKind::kMultiString, u"a\\0", kSOk, kRegMultiSz, {0x61, 0, 0, 0, 0, 0}},
      {ValueKind::kMultiString, u"", kSOk, kRegMultiSz, {0, 0}},
      {ValueKind::kMultiString,
       u"a\\b",
       kSOk,
       kRegMultiSz,
       {0x61, 0, 0x5C, 0, 0x62, 0, 0, 0, 0, 0}},
      {ValueKind::kMultiString, u"x\\", kSOk, kRegMultiSz, {0x78, 0, 0x5C, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.text));
    ConvertedValue value;
    ASSERT_EQ(ConvertValue(t_.text, c.kind, c.text.c_str(), &value), c.status);
    if (c.status != kSOk) continue;
    EXPECT_EQ(value.type(), c.type);
    EXPECT_EQ(BytesOf(value), c.bytes);
  }
}

TEST_F(ScriptLanguageTest, ConvertsLargeValues) {
  // 300 bytes do not fit the local buffer of a "B" value.
  Text hex;
  for (int i = 0; i < 300; ++i) hex += (i % 2 == 0) ? u"7f" : u"A0";
  ConvertedValue bytes;
  ASSERT_EQ(ConvertValue(t_.text, ValueKind::kBytes, hex.c_str(), &bytes), kSOk);
  ASSERT_EQ(bytes.byteCount(), 300u);
  const auto* b = static_cast<const std::uint8_t*>(bytes.data());
  EXPECT_EQ(b[0], 0x7F);
  EXPECT_EQ(b[1], 0xA0);
  EXPECT_EQ(b[299], 0xA0);

  // Multi-strings of 126 and 127 units, at the local buffer's edge and past it.
  for (const std::size_t units : {126u, 127u, 1000u}) {
    const Text piece(units - 3, u'q');
    const Text text = piece + u"\\0z";
    ConvertedValue multi;
    ASSERT_EQ(ConvertValue(t_.text, ValueKind::kMultiString, text.c_str(), &multi), kSOk);
    const Text expected = piece + Text(1, u'\0') + u"z" + Text(2, u'\0');
    ASSERT_EQ(multi.byteCount(), 2 * expected.size()) << units;
    const auto* m = static_cast<const std::uint8_t*>(multi.data());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(m[2 * i] | (m[2 * i + 1] << 8), expected[i]) << units << " at " << i;
    }
  }
}

}  // namespace
}  // namespace tolvane
