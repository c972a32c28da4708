// The user-interface language of the texts that exist in several languages
// (the failure message, the association dialog): from --lang, else from the
// locale of the environment.
#pragma once

#include <optional>
#include <string_view>

namespace tolvane::cli {

enum class UiLanguage { kEnglish, kChineseTraditional, kJapanese, kKorean, kChineseSimplified };

// en-US, zh-TW, ja-JP, ko-KR, zh-CN (letter case ignored; "_" may stand for
// "-"); nothing for any other tag.
std::optional<UiLanguage> ParseUiLanguageTag(std::string_view tag);

// The language of the first set one of LC_ALL, LC_MESSAGES and LANG (as
// "ko_KR.UTF-8"); English when none is set or names another language.
UiLanguage DefaultUiLanguage();

}  // namespace tolvane::cli
