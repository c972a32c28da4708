// Text services of the portable build. Widening uses one 8-bit code page
// for the whole process (there is no per-thread ANSI code page here):
// kScriptCodePage unless the host sets another. "D" text converts as decimal
// digits with optional blanks around them and an optional plus sign;
// anything else gives 0.
#pragma once

#include <cstdint>

#include "platform/text_services.h"
#include "platform/unique_handle.h"

namespace tolvane {

class CodePageTextServices final : public TextServices {
 public:
  explicit CodePageTextServices(std::uint32_t codePage = kScriptCodePage) : codePage_(codePage) {}
  CodePageTextServices(const CodePageTextServices&) = delete;
  CodePageTextServices& operator=(const CodePageTextServices&) = delete;

  void SetCodePage(std::uint32_t codePage);
  std::uint32_t codePage() const { return codePage_; }

  ErrorCode WidenAnsi(std::string_view bytes, Text* wide) override;
  std::uint32_t TextToUInt32(const char16_t* text) override;

 private:
  // Opens the conversion for the code page once, on first use, and tells
  // whether the page maps ASCII to itself (then ASCII runs skip the
  // conversion). False when the page has no conversion.
  bool Prepare();

  // An iconv descriptor (kept opaque here).
  struct ConversionTraits {
    using Handle = void*;
    static void* Invalid() { return nullptr; }
    int Close(void* conversion) const;
  };

  std::uint32_t codePage_;
  UniqueHandle<ConversionTraits> conversion_;  // the conversion of codePage_, once opened
  bool asciiCompatible_ = false;
};

}  // namespace tolvane
