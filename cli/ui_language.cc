#include "cli/ui_language.h"

#include <cctype>
#include <cstdlib>

namespace tolvane::cli {
namespace {

struct TagLanguage {
  std::string_view tag;
  UiLanguage language;
};
constexpr TagLanguage kTags[] = {
    {"en-us", UiLanguage::kEnglish},           {"zh-tw", UiLanguage::kChineseTraditional},
    {"ja-jp", UiLanguage::kJapanese},          {"ko-kr", UiLanguage::kKorean},
    {"zh-cn", UiLanguage::kChineseSimplified},
};

bool SameTag(std::string_view given, std::string_view known) {
  if (given.size() != known.size()) return false;
  for (std::size_t i = 0; i < given.size(); ++i) {
    const char c = given[i] == '_'
                       ? '-'
                       : static_cast<char>(std::tolower(static_cast<unsigned char>(given[i])));
    if (c != known[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<UiLanguage> ParseUiLanguageTag(std::string_view tag) {
  for (const TagLanguage& known : kTags) {
    if (SameTag(tag, known.tag)) return known.language;
  }
  return std::nullopt;
}

UiLanguage DefaultUiLanguage() {
  return DefaultUiLanguage([](const char* name) -> const char* { return std::getenv(name); });
}

UiLanguage DefaultUiLanguage(const std::function<const char*(const char* name)>& lookup) {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = lookup(name);
    if (value == nullptr || *value == '\0') continue;
    std::string_view locale(value);
    locale = locale.substr(0, locale.find_first_of(".@"));
    return ParseUiLanguageTag(locale).value_or(UiLanguage::kEnglish);
  }
  return UiLanguage::kEnglish;
}

}  // namespace tolvane::cli
