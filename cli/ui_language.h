// The user-interface language of the texts that exist in several languages
// (the failure message, the association dialog), chosen with --lang or from
// the locale of the environment.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

namespace tolvane::cli {

enum class UiLanguage { kEnglish, kChineseTraditional, kJapanese, kKorean, kChineseSimplified };

// en-US, zh-TW, ja-JP, ko-KR or zh-CN, in any letter case, with '-' or '_'
// between language and region; nothing for any other tag.
std::optional<UiLanguage> ParseUiLanguageTag(std::string_view tag);

// The language of the locale: the first non-empty of LC_ALL, LC_MESSAGES
// and LANG, without its ".codeset" and "@modifier" (ko_KR.UTF-8 is Korean);
// English for anything else.
UiLanguage DefaultUiLanguage();

// The same, with the variables read through lookup (null for one not set).
UiLanguage DefaultUiLanguage(const std::function<const char*(const char* name)>& lookup);

}  // namespace tolvane::cli
