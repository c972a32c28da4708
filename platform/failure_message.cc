#include "platform/failure_message.h"

namespace tolvane {
namespace {

constexpr FailureMessageVariant kVariants[] = {
    {kLanguageEnglishUs, u"Failed to register the program."},
    {kLanguageChineseTraditional, u"Failed to register the program."},
    {kLanguageJapanese, u"Failed to register the program."},
    {kLanguageKorean,
     u"\uD504\uB85C\uADF8\uB7A8 \uB4F1\uB85D\uC5D0 \uC2E4\uD328\uD558\uC600\uC2B5\uB2C8\uB2E4."},
    {kLanguageChineseSimplified, u"\u5E94\u7528\u7A0B\u5E8F\u6CE8\u518C\u5931\u8D25"},
};

constexpr std::uint16_t kPrimaryChinese = 0x04;
constexpr std::uint16_t kPrimaryJapanese = 0x11;
constexpr std::uint16_t kPrimaryKorean = 0x12;
constexpr std::uint16_t kSubChineseSimplified = 0x02;
constexpr std::uint16_t kSubChineseSingapore = 0x04;

}  // namespace

std::span<const FailureMessageVariant> FailureMessageVariants() { return kVariants; }

std::uint16_t FailureMessageLanguage(std::uint16_t uiLanguageId) {
  const std::uint16_t primary = uiLanguageId & 0x3FFu;
  const std::uint16_t sub = uiLanguageId >> 10;
  switch (primary) {
    case kPrimaryKorean:
      return kLanguageKorean;
    case kPrimaryJapanese:
      return kLanguageJapanese;
    case kPrimaryChinese:
      return sub == kSubChineseSimplified || sub == kSubChineseSingapore
                 ? kLanguageChineseSimplified
                 : kLanguageChineseTraditional;
    default:
      return kLanguageEnglishUs;
  }
}

TextView FailureMessageText(std::uint16_t languageId) {
  for (const FailureMessageVariant& variant : kVariants) {
    if (variant.languageId == languageId) return variant.text;
  }
  return kVariants[0].text;
}

}  // namespace tolvane
