#include "registration/path_buffer.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

Text Collapse(TextView text) {
  PathBuffer buffer;
  EXPECT_TRUE(buffer.Assign(text));
  CollapseParentSegments(buffer);
  return Text(buffer.view());
}

TEST(CollapseParentSegmentsTest, RemovesOneComponentPerParentSegment) {
  struct Case {
    const char16_t* input;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"C:\\Suite\\Bin\\..\\", u"C:\\Suite\\"},
      {u"C:\\Suite\\Bin\\..", u"C:\\Suite"},
      {u"C:\\a\\..\\b\\..\\c", u"C:\\c"},
      // A parent segment right after a removed one starts at the new search
      // start and ends the collapsing.
      {u"C:\\a\\b\\..\\..\\c", u"C:\\a\\..\\c"},
      // The match does not look past the two dots.
      {u"C:\\a\\..x", u"C:x"},
      // Nothing to remove before the "\..": the text stays as it is.
      {u"C:\\..\\x", u"C:\\..\\x"},
      {u"a\\..\\b", u"a\\..\\b"},
      {u"\\..\\x", u"\\..\\x"},
      {u"C:\\Suite\\Bin", u"C:\\Suite\\Bin"},
      {u"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Collapse(c.input), Text(c.expected)) << Utf16ToUtf8(c.input);
  }
}

TEST(TrailingBackslashTest, EnsureAndStripTouchOnlyOneUnit) {
  PathBuffer text;
  ASSERT_TRUE(text.Assign(u"C:\\Suite\\Bin"));
  ASSERT_TRUE(EnsureTrailingBackslash(text));
  EXPECT_EQ(text.view(), u"C:\\Suite\\Bin\\");
  ASSERT_TRUE(EnsureTrailingBackslash(text));
  EXPECT_EQ(text.view(), u"C:\\Suite\\Bin\\");

  ASSERT_TRUE(text.Assign(u"C:\\Suite\\\\"));
  StripTrailingBackslash(text);
  EXPECT_EQ(text.view(), u"C:\\Suite\\");

  ASSERT_TRUE(text.Assign(u""));
  StripTrailingBackslash(text);
  ASSERT_TRUE(EnsureTrailingBackslash(text));
  EXPECT_EQ(text.view(), u"");
}

TEST(PathBufferTest, RefusesTextThatDoesNotFitAndKeepsTheOldText) {
  PathBuffer text;
  const Text full(kMaxPathChars, u'x');
  EXPECT_TRUE(text.Assign(full));
  EXPECT_EQ(text.size(), kMaxPathChars);
  EXPECT_FALSE(text.Append(u"y"));
  EXPECT_EQ(text.view(), full);
  EXPECT_FALSE(EnsureTrailingBackslash(text));
  EXPECT_EQ(text.view(), full);
  EXPECT_FALSE(text.Assign(Text(kMaxPathChars + 1, u'z')));
  EXPECT_EQ(text.view(), full);
}

TEST(ExpandAppTokenTest, ReplacesEveryExactTokenOnce) {
  struct Case {
    const char16_t* value;
    const char16_t* directory;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"${App}\\Zdw.exe,1", u"C:\\Suite\\Bin", u"C:\\Suite\\Bin\\Zdw.exe,1"},
      {u"${App}\\a ${App}\\b", u"D:", u"D:\\a D:\\b"},
      {u"${app}\\x", u"D:", u"${app}\\x"},
      {u"no token", u"D:", u"no token"},
      // A directory holding the token is not expanded again.
      {u"${App}|${App}", u"${App}", u"${App}|${App}"},
      {u"${App", u"D:", u"${App"},
      {u"", u"D:", u""},
  };
  for (const Case& c : cases) {
    PathBuffer out;
    ASSERT_TRUE(ExpandAppToken(c.value, c.directory, &out)) << Utf16ToUtf8(c.value);
    EXPECT_EQ(out.view(), Text(c.expected)) << Utf16ToUtf8(c.value);
  }
}

TEST(ExpandAppTokenTest, ResultThatDoesNotFitIsRefused) {
  const Text directory(200, u'd');
  PathBuffer out;
  EXPECT_FALSE(ExpandAppToken(u"${App}${App}", directory, &out));
  EXPECT_TRUE(out.empty());
  const Text fits(kMaxPathChars - 6, u'v');
  EXPECT_TRUE(ExpandAppToken(fits + u"${App}", u"123456", &out));
  EXPECT_EQ(out.size(), kMaxPathChars);
}

}  // namespace
}  // namespace tolvane
