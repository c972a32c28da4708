// The platform's text services: the calling thread's ANSI code page, the
// OLE text-to-number conversion and the platform's comparison without
// regard to case.
#pragma once

#include "platform/text_services.h"

namespace tolvane {

class Win32TextServices final : public TextServices {
 public:
  ErrorCode WidenAnsi(std::string_view bytes, Text* wide) override;
  std::uint32_t TextToUInt32(const char16_t* text) override;
};

}  // namespace tolvane
