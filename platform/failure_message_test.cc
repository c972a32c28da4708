#include "platform/failure_message.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(FailureMessageTest, UserInterfaceLanguagePicksVariant) {
  const std::pair<std::uint16_t, std::uint16_t> cases[] = {
      {0x0412, kLanguageKorean},
      {0x0411, kLanguageJapanese},
      {0x0804, kLanguageChineseSimplified},
      {0x1004, kLanguageChineseSimplified},
      {0x0404, kLanguageChineseTraditional},
      {0x0C04, kLanguageChineseTraditional},
      {0x0409, kLanguageEnglishUs},
      {0x0809, kLanguageEnglishUs},
      {0x0407, kLanguageEnglishUs},
      {0x0000, kLanguageEnglishUs},
  };
  for (const auto& [ui, variant] : cases) EXPECT_EQ(FailureMessageLanguage(ui), variant) << ui;
}

}  // namespace
}  // namespace tolvane
