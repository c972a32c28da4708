#include "cli/ui_language.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace tolvane::cli {
namespace {

struct LocaleCase {
  const char* lcAll;
  const char* lcMessages;
  const char* lang;
  UiLanguage expected;
};

// The first set variable decides, even when it names another language.
const LocaleCase kLocales[] = {
    {nullptr, nullptr, "ko_KR.UTF-8", UiLanguage::kKorean},
    {nullptr, "zh_TW.Big5", "ko_KR.UTF-8", UiLanguage::kChineseTraditional},
    {"ja_JP.eucJP@x", "ko_KR", "ko_KR", UiLanguage::kJapanese},
    {"de_DE.UTF-8", nullptr, "ko_KR.UTF-8", UiLanguage::kEnglish},
    {"", nullptr, "zh_CN", UiLanguage::kChineseSimplified},
    {nullptr, nullptr, "ko", UiLanguage::kEnglish},
    {nullptr, nullptr, nullptr, UiLanguage::kEnglish},
};

void SetOrUnset(const char* name, const char* value) {
  if (value == nullptr) {
    unsetenv(name);
  } else {
    setenv(name, value, 1);
  }
}

TEST(UiLanguageTest, DefaultFromTheLocaleVariables) {
  const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::string saved[3];
  bool wasSet[3];
  for (int i = 0; i < 3; ++i) {
    const char* value = std::getenv(names[i]);
    wasSet[i] = value != nullptr;
    if (wasSet[i]) saved[i] = value;
  }
  for (const LocaleCase& c : kLocales) {
    SetOrUnset("LC_ALL", c.lcAll);
    SetOrUnset("LC_MESSAGES", c.lcMessages);
    SetOrUnset("LANG", c.lang);
    EXPECT_EQ(DefaultUiLanguage(), c.expected) << (c.lang ? c.lang : "-");
  }
  for (int i = 0; i < 3; ++i) SetOrUnset(names[i], wasSet[i] ? saved[i].c_str() : nullptr);
}

TEST(UiLanguageTest, TagsOfTheOption) {
  EXPECT_EQ(ParseUiLanguageTag("ko-KR"), UiLanguage::kKorean);
  EXPECT_EQ(ParseUiLanguageTag("ZH-cn"), UiLanguage::kChineseSimplified);
  EXPECT_EQ(ParseUiLanguageTag("en-GB"), std::nullopt);
  EXPECT_EQ(ParseUiLanguageTag(""), std::nullopt);
}

}  // namespace
}  // namespace tolvane::cli
