#include "cli/ui_language.h"

#include <cstdlib>
#include <string>

namespace tolvane::cli {
namespace {

struct LanguageTag {
  std::string_view tag;
  UiLanguage language;
};

constexpr LanguageTag kLanguageTags[] = {
    {"en-us", UiLanguage::kEnglish},
    {"zh-tw", UiLanguage::kChineseTraditional},
    {"ja-jp", UiLanguage::kJapanese},
    {"ko-kr", UiLanguage::kKorean},
    {"zh-cn", UiLanguage::kChineseSimplified},
};

}  // namespace

std::optional<UiLanguage> ParseUiLanguageTag(std::string_view tag) {
  std::string folded(tag);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == '_') c = '-';
  }
  for (const LanguageTag& entry : kLanguageTags) {
    if (folded == entry.tag) return entry.language;
  }
  return std::nullopt;
}

UiLanguage DefaultUiLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    // "ko_KR.UTF-8@euro": the language and territory only.
    const std::string_view locale(value);
    return ParseUiLanguageTag(locale.substr(0, locale.find_first_of(".@")))
        .value_or(UiLanguage::kEnglish);
  }
  return UiLanguage::kEnglish;
}

}  // namespace tolvane::cli
