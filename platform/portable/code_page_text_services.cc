#include "platform/portable/code_page_text_services.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <bit>
#include <string>

#include "platform/registry_names.h"

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

// The length of the run of ASCII bytes bytes starts with: sixteen bytes
// at a time while none has its high bit set, then byte by byte.
std::size_t AsciiRun(std::string_view bytes) {
  std::size_t i = 0;
  for (; i + 16 <= bytes.size(); i += 16) {
    unsigned char any = 0;
    for (std::size_t k = 0; k < 16; ++k) any |= static_cast<unsigned char>(bytes[i + k]);
    if ((any & 0x80) != 0) break;
  }
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
  return i;
}

}  // namespace

int CodePageTextServices::ConversionTraits::Close(void* conversion) const {
  return ::iconv_close(static_cast<iconv_t>(conversion));
}

void CodePageTextServices::SetCodePage(std::uint32_t codePage) {
  if (codePage == codePage_) return;
  conversion_.Reset();
  codePage_ = codePage;
}

namespace {

// Converts bytes with cd (reset first) and appends the UTF-16 units to
// *wide; false when the bytes do not convert.
bool Convert(iconv_t cd, std::string_view bytes, Text* wide) {
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  const std::size_t start = wide->size();
  // Room for two units per byte: more than any code page produces.
  const std::size_t room = 2 * bytes.size() + 2;
  wide->resize(start + room);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char* out = reinterpret_cast<char*>(wide->data() + start);
  std::size_t outLeft = room * sizeof(char16_t);
  const std::size_t done = ::iconv(cd, &in, &inLeft, &out, &outLeft);
  wide->resize(start + room - outLeft / sizeof(char16_t));
  return done != static_cast<std::size_t>(-1) && inLeft == 0;
}

}  // namespace

bool CodePageTextServices::Prepare() {
  if (conversion_) return true;
  // The host's byte order: the units are written straight into the text.
  const iconv_t cd =
      ::iconv_open(std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE",
                   IconvName(codePage_).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  conversion_.Reset(cd);
  std::string ascii(128, '\0');
  for (std::size_t i = 0; i < ascii.size(); ++i) ascii[i] = static_cast<char>(i);
  Text wide;
  asciiCompatible_ = Convert(cd, ascii, &wide) && wide.size() == ascii.size();
  for (std::size_t i = 0; asciiCompatible_ && i < wide.size(); ++i) {
    asciiCompatible_ = wide[i] == static_cast<char16_t>(i);
  }
  return true;
}

ErrorCode CodePageTextServices::WidenAnsi(std::string_view bytes, Text* wide) {
  wide->clear();
  if (bytes.empty()) return kErrorInvalidParameter;
  if (!Prepare()) return kErrorInvalidParameter;
  const auto cd = static_cast<iconv_t>(conversion_.get());
  if (!asciiCompatible_) {
    if (Convert(cd, bytes, wide)) return kErrorSuccess;
    wide->clear();
    return kErrorNoUnicodeTranslation;
  }
  // ASCII runs are copied unit for unit; each other run goes through the
  // conversion, taking along the byte after each byte above 0x7F, which a
  // double-byte page may use as the second half of a character.
  wide->reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t start = i;
    i += AsciiRun(bytes.substr(i));
    const std::size_t at = wide->size();
    wide->resize(at + (i - start));
    char16_t* out = wide->data() + at;
    for (std::size_t k = start; k < i; ++k) *out++ = static_cast<char16_t>(bytes[k]);
    if (i == bytes.size()) break;
    const std::size_t high = i;
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) >= 0x80) i += 2;
    i = std::min(i, bytes.size());
    if (!Convert(cd, bytes.substr(high, i - high), wide)) {
      wide->clear();
      return kErrorNoUnicodeTranslation;
    }
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

}  // namespace tolvane
