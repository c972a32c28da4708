// What the hive reader and writer share: the header line and the way a
// message quotes offending text. Internal to platform/hive.
#pragma once

#include <cstddef>
#include <string>

#include "platform/text.h"

namespace tolvane::hive_text {

inline constexpr TextView kHeader = u"Windows Registry Editor Version 5.00";

// Longest piece of offending text quoted in a message.
inline constexpr std::size_t kExcerptUnits = 40;

// Offending text for a message: UTF-8, shortened when long.
inline std::string Excerpt(TextView text) {
  if (text.size() <= kExcerptUnits) return Utf16ToUtf8(text);
  return Utf16ToUtf8(text.substr(0, kExcerptUnits)) + "...";
}

}  // namespace tolvane::hive_text
