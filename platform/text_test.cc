#include "platform/text.h"

#include <gtest/gtest.h>

#include "platform/root_keys.h"

namespace tolvane {
namespace {

TEST(TextTest, Utf8RoundTripsThroughUtf16) {
  const std::string samples[] = {"", "plain", "기본값", "emoji \xF0\x9F\x98\x80 end", "é\t\"\\"};
  for (const std::string& s : samples) EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s);
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), Text(u"\xD83D\xDE00"));
  // Broken sequences become the replacement character, never read past the end.
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), Text(u"a\xFFFD"));
  EXPECT_EQ(Utf8ToUtf16("\xE0\x80\x80"), Text(u"\xFFFD\xFFFD\xFFFD"));
}

TEST(TextTest, CaseFoldingComparesLettersOnly) {
  EXPECT_TRUE(EqualsNoCase(u"Software\\CLASSES", u"software\\classes"));
  EXPECT_TRUE(EqualsNoCase(u"ÄÖÜ", u"äöü"));
  EXPECT_TRUE(EqualsNoCase(u"ΣΟΦΙΑ", u"σοφια"));
  EXPECT_FALSE(EqualsNoCase(u"a[", u"a{"));
  EXPECT_FALSE(EqualsNoCase(u"abc", u"abcd"));
  EXPECT_FALSE(EqualsNoCase(u"한글", u"한국"));
}

TEST(RootKeysTest, NamesAndShortFormsResolve) {
  RegKey root = kNoKey;
  Text sub;
  ASSERT_TRUE(SplitRootedPath(u"HKCR\\.zdw\\", &root, &sub));
  EXPECT_EQ(root, kHkeyClassesRoot);
  EXPECT_EQ(sub, u".zdw");
  ASSERT_TRUE(SplitRootedPath(u"hkey_current_user", &root, &sub));
  EXPECT_EQ(root, kHkeyCurrentUser);
  EXPECT_TRUE(sub.empty());
  EXPECT_FALSE(SplitRootedPath(u"HKEY_NOWHERE\\x", &root, &sub));
  EXPECT_EQ(RootKeyName(kHkeyLocalMachine), u"HKEY_LOCAL_MACHINE");
  EXPECT_TRUE(RootKeyName(kNoKey).empty());
}

}  // namespace
}  // namespace tolvane
