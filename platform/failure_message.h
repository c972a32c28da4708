// String 123, the one message the library shows: "Failed to register the
// program." in the five languages the library carries. The Windows build
// holds the same texts in its string table; the portable build shows them
// from here.
#pragma once

#include <cstdint>
#include <span>

#include "platform/text.h"

namespace tolvane {

inline constexpr std::uint16_t kFailureMessageId = 123;

// Windows language identifiers of the five variants.
inline constexpr std::uint16_t kLanguageEnglishUs = 1033;
inline constexpr std::uint16_t kLanguageChineseTraditional = 1028;
inline constexpr std::uint16_t kLanguageJapanese = 1041;
inline constexpr std::uint16_t kLanguageKorean = 1042;
inline constexpr std::uint16_t kLanguageChineseSimplified = 2052;

struct FailureMessageVariant {
  std::uint16_t languageId;
  const char16_t* text;
};

// The variants, English (United States) first.
std::span<const FailureMessageVariant> FailureMessageVariants();

// Which variant serves a user interface language: Korean, Japanese and
// Chinese by their primary language (Chinese of the mainland and Singapore
// simplified, every other Chinese traditional), anything else English.
std::uint16_t FailureMessageLanguage(std::uint16_t uiLanguageId);

// The text of the variant of languageId (any of the five; English for
// anything else).
TextView FailureMessageText(std::uint16_t languageId);

}  // namespace tolvane
