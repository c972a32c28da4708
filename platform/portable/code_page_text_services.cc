#include "platform/portable/code_page_text_services.h"

#include <errno.h>
#include <iconv.h>

#include <memory>
#include <string>

namespace tolvane {
namespace {

// The iconv name of a Windows code page number.
std::string IconvName(std::uint32_t codePage) {
  switch (codePage) {
    case 65001:
      return "UTF-8";
    case 20127:
      return "ASCII";
    case 28591:
      return "ISO-8859-1";
    default:
      return "CP" + std::to_string(codePage);
  }
}

}  // namespace

ErrorCode CodePageTextServices::WidenAnsi(std::string_view bytes, Text* wide) {
  wide->clear();
  if (bytes.empty()) return kErrorInvalidParameter;
  iconv_t cd = ::iconv_open("UTF-16LE", IconvName(codePage_).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return kErrorInvalidParameter;
  std::unique_ptr<void, int (*)(iconv_t)> owner(cd, ::iconv_close);
  std::string out(bytes.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  if (::iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
    return kErrorNoUnicodeTranslation;
  }
  const std::size_t produced = out.size() - outLeft;
  wide->resize(produced / 2);
  for (std::size_t i = 0; i < wide->size(); ++i) {
    (*wide)[i] = static_cast<char16_t>(static_cast<unsigned char>(out[2 * i]) |
                                       (static_cast<unsigned char>(out[2 * i + 1]) << 8));
  }
  return kErrorSuccess;
}

std::uint32_t CodePageTextServices::TextToUInt32(const char16_t* text) {
  if (text == nullptr) return 0;
  TextView view = ViewOf(text);
  auto isBlank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  while (!view.empty() && isBlank(view.front())) view.remove_prefix(1);
  while (!view.empty() && isBlank(view.back())) view.remove_suffix(1);
  // The platform's conversion takes a leading plus sign too; a minus sign
  // can only give an out-of-range number, which converts to 0.
  if (!view.empty() && view.front() == u'+') view.remove_prefix(1);
  if (view.empty()) return 0;
  std::uint64_t value = 0;
  for (const char16_t c : view) {
    if (c < u'0' || c > u'9') return 0;
    value = value * 10 + static_cast<std::uint64_t>(c - u'0');
    if (value > 0xFFFFFFFFull) return 0;
  }
  return static_cast<std::uint32_t>(value);
}

bool CodePageTextServices::EqualNoCase(const char16_t* a, const char16_t* b) {
  return EqualsNoCase(ViewOf(a), ViewOf(b));
}

}  // namespace tolvane
