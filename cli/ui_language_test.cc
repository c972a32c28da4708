#include "cli/ui_language.h"

#include <gtest/gtest.h>

#include <string_view>

namespace tolvane::cli {
namespace {

TEST(UiLanguageTest, Tags) {
  const std::pair<const char*, std::optional<UiLanguage>> cases[] = {
      {"en-US", UiLanguage::kEnglish},
      {"ko-KR", UiLanguage::kKorean},
      {"KO_kr", UiLanguage::kKorean},
      {"ja-JP", UiLanguage::kJapanese},
      {"zh-TW", UiLanguage::kChineseTraditional},
      {"zh-CN", UiLanguage::kChineseSimplified},
      {"ko", std::nullopt},
      {"ko-KR ", std::nullopt},
      {"fr-FR", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [tag, language] : cases) EXPECT_EQ(ParseUiLanguageTag(tag), language) << tag;
}

// LC_ALL before LC_MESSAGES before LANG; codeset and modifier ignored.
TEST(UiLanguageTest, DefaultFromLocale) {
  struct Case {
    const char* all;
    const char* messages;
    const char* lang;
    UiLanguage expected;
  };
  const Case cases[] = {
      {"", "", "ko_KR.UTF-8", UiLanguage::kKorean},
      {"", "ja_JP.eucJP", "ko_KR.UTF-8", UiLanguage::kJapanese},
      {"zh_CN.GB18030@stroke", "ja_JP", "ko_KR", UiLanguage::kChineseSimplified},
      {"C.UTF-8", "", "ko_KR.UTF-8", UiLanguage::kEnglish},
      {"", "", "", UiLanguage::kEnglish},
  };
  for (const Case& c : cases) {
    const auto lookup = [&c](const char* name) {
      const std::string_view variable(name);
      return variable == "LC_ALL" ? c.all : variable == "LC_MESSAGES" ? c.messages : c.lang;
    };
    EXPECT_EQ(DefaultUiLanguage(lookup), c.expected) << c.all << "|" << c.messages << "|" << c.lang;
  }
}

}  // namespace
}  // namespace tolvane::cli
