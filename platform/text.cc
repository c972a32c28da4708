#include "platform/text.h"

namespace tolvane {

namespace {

// Decodes the well-formed UTF-8 sequence at bytes[i] into *cp and answers
// its length; 0 for an overlong form, a surrogate, a value past U+10FFFF, a
// stray or truncated sequence.
std::size_t DecodeSequence(std::string_view bytes, std::size_t i, char32_t* cp) {
  const auto lead = static_cast<unsigned char>(bytes[i]);
  std::size_t length = 0;
  if (lead < 0x80) {
    *cp = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    *cp = lead & 0x1F;
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    *cp = lead & 0x0F;
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    *cp = lead & 0x07;
    length = 4;
  } else {
    return 0;
  }
  if (i + length > bytes.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(bytes[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    *cp = (*cp << 6) | (next & 0x3F);
  }
  if ((length == 3 && *cp < 0x800) || (length == 4 && (*cp < 0x10000 || *cp > 0x10FFFF)) ||
      (*cp >= 0xD800 && *cp <= 0xDFFF)) {
    return 0;
  }
  return length;
}

void AppendUtf16(char32_t cp, Text* out) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out->push_back(static_cast<char16_t>(cp));
  }
}

}  // namespace

Text Utf8ToUtf16(std::string_view utf8) {
  Text out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const std::size_t length = DecodeSequence(utf8, i, &cp);
    AppendUtf16(length == 0 ? 0xFFFD : cp, &out);
    i += length == 0 ? 1 : length;
  }
  return out;
}

bool Utf8ToUtf16Strict(std::string_view utf8, Text* out) {
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const std::size_t length = DecodeSequence(utf8, i, &cp);
    if (length == 0) return false;
    AppendUtf16(cp, out);
    i += length;
  }
  return true;
}

std::size_t FindIllFormedUtf8(std::string_view utf8) {
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const std::size_t length = DecodeSequence(utf8, i, &cp);
    if (length == 0) return i;
    i += length;
  }
  return std::string_view::npos;
}

std::string Utf16ToUtf8(TextView utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace tolvane
