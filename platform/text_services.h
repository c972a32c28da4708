// The platform's text services used by the script engine.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/status_codes.h"
#include "platform/text.h"

namespace tolvane {

// The 8-bit code page the registrar scripts are written in (their Korean
// display texts): what the portable build widens with unless told another,
// and the ANSI code page the Windows tests run under.
inline constexpr std::uint32_t kScriptCodePage = 949;

class TextServices {
 public:
  virtual ~TextServices() = default;
  // Widens 8-bit text with the calling thread's ANSI code page. Answers 0
  // and the UTF-16 text, or the platform's error number (an empty input, or
  // text the code page cannot convert, fails).
  virtual ErrorCode WidenAnsi(std::string_view bytes, Text* wide) = 0;
  // The text-to-unsigned-32-bit conversion used for "D" values (locale 0,
  // no flags). Answers 0 for text it does not accept.
  virtual std::uint32_t TextToUInt32(const char16_t* text) = 0;
};

}  // namespace tolvane
