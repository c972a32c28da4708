#include "cli/ui_language.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace tolvane::cli {
namespace {

void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
  ::_putenv_s(name, value);
#else
  ::setenv(name, value, 1);
#endif
}

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
  const std::string saved[] = {std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "",
                               std::getenv("LC_MESSAGES") ? std::getenv("LC_MESSAGES") : "",
                               std::getenv("LANG") ? std::getenv("LANG") : ""};
  for (const Case& c : cases) {
    SetEnv("LC_ALL", c.all);
    SetEnv("LC_MESSAGES", c.messages);
    SetEnv("LANG", c.lang);
    EXPECT_EQ(DefaultUiLanguage(), c.expected) << c.all << "|" << c.messages << "|" << c.lang;
  }
  SetEnv("LC_ALL", saved[0].c_str());
  SetEnv("LC_MESSAGES", saved[1].c_str());
  SetEnv("LANG", saved[2].c_str());
}

}  // namespace
}  // namespace tolvane::cli
