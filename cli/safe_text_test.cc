#include "cli/safe_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace tolvane::cli {
namespace {

TEST(SafeTextTest, EscapesControlCharactersAndKeepsLetters) {
  const std::pair<std::string, std::string> kCases[] = {
      {"E\x1b[2J\r\n\a", "E\\x1b[2J\\x0d\\x0a\\x07"},
      {std::string("a\0b\x7f", 4), "a\\x00b\\x7f"},
      {"\xc2\x9b\xc2\x85 \xc2\xa0\xed\x95\x9c", "\\u009b\\u0085 \xc2\xa0\xed\x95\x9c"},
      {"C:\\x1b", "C:\\x1b"},
  };
  for (const auto& [text, shown] : kCases) EXPECT_EQ(TerminalSafe(text), shown) << shown;
}

TEST(SafeTextTest, FindsTheFirstByteThatIsNotUtf8) {
  const std::pair<std::string, std::size_t> kCases[] = {
      {".a\xff", 2},       {"\xed\x95\x9c\xf0\x9f\x98\x80", std::string::npos},
      {"\xc0\xaf", 0},     {"x\xe0\x80\xaf", 1},
      {"\xed\xa0\x80", 0}, {"\xf4\x90\x80\x80", 0},
      {"ok\xe2\x82", 2},   {"\xc3\xa9\x80", 2},
  };
  for (const auto& [text, at] : kCases) EXPECT_EQ(FirstInvalidUtf8(text), at) << text.size();
}

TEST(SafeTextTest, CommandLineWordsKeepUnpairedSurrogatesToBeRefused) {
  const std::pair<std::u16string, std::size_t> kCases[] = {
      {u"a\xD800"
       u"b",
       1},
      {u"\xDC00", 0},
      {u"\xD83D\xDE00\xD83D", 4},
      {u"\xD55C\xD83D\xDE00", std::string::npos}};
  for (const auto& [word, at] : kCases) EXPECT_EQ(FirstInvalidUtf8(ArgumentUtf8(word)), at) << at;
}

}  // namespace
}  // namespace tolvane::cli
