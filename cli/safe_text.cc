#include "cli/safe_text.h"

#include <cstdio>

#include "platform/text.h"

namespace tolvane::cli {
namespace {

std::string Escape(const char* format, unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string TerminalSafe(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (byte < 0x20 || byte == 0x7f) {
      out += Escape("\\x%02x", byte);
    } else if (byte == 0xc2 && i + 1 < utf8.size() &&
               static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(utf8[i + 1]) <= 0x9f) {
      out += Escape("\\u%04x", static_cast<unsigned char>(utf8[++i]));
    } else {
      out += utf8[i];
    }
  }
  return out;
}

std::size_t FirstInvalidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xbf;  // the range of the second byte
    if (lead < 0x80) {
      length = 1;
    } else if (lead >= 0xc2 && lead <= 0xdf) {
      length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
      length = 3;
      if (lead == 0xe0) low = 0xa0;   // overlong
      if (lead == 0xed) high = 0x9f;  // surrogates
    } else if (lead >= 0xf0 && lead <= 0xf4) {
      length = 4;
      if (lead == 0xf0) low = 0x90;   // overlong
      if (lead == 0xf4) high = 0x8f;  // above U+10FFFF
    } else {
      return i;
    }
    if (i + length > text.size()) return i;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xbf)) return i;
    }
    i += length;
  }
  return std::string_view::npos;
}

std::string ArgumentUtf8(std::u16string_view text) {
  std::string utf8;
  std::size_t from = 0;
  for (std::size_t k = 0; k <= text.size(); ++k) {
    const bool surrogate = k < text.size() && text[k] >= 0xD800 && text[k] <= 0xDFFF;
    if (surrogate && text[k] <= 0xDBFF && k + 1 < text.size() && text[k + 1] >= 0xDC00 &&
        text[k + 1] <= 0xDFFF) {
      ++k;  // a pair: converted with the text around it
      continue;
    }
    if (!surrogate && k < text.size()) continue;
    utf8 += Utf16ToUtf8(text.substr(from, k - from));
    if (surrogate) {
      utf8 += static_cast<char>(0xE0 | (text[k] >> 12));
      utf8 += static_cast<char>(0x80 | ((text[k] >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (text[k] & 0x3F));
    }
    from = k + 1;
  }
  return utf8;
}

}  // namespace tolvane::cli
