#include "platform/text.h"

#include "platform/registry_names.h"

namespace tolvane {

Text Utf8ToUtf16(std::string_view utf8) {
  Text out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  const std::size_t n = utf8.size();
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(utf8[k]); };
  while (i < n) {
    unsigned char lead = byte(i);
    char32_t cp = 0xFFFD;
    std::size_t len = 1;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      len = 2;
    } else if ((lead & 0xF0) == 0xE0) {
      len = 3;
    } else if ((lead & 0xF8) == 0xF0) {
      len = 4;
    }
    if (len > 1) {
      bool ok = i + len <= n;
      char32_t value = lead & (0x7F >> len);
      for (std::size_t k = 1; ok && k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
          ok = false;
        } else {
          value = (value << 6) | (byte(i + k) & 0x3F);
        }
      }
      static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
      if (ok && value >= kMinimum[len] && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF)) {
        cp = value;
      } else {
        cp = 0xFFFD;
        len = 1;
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
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

bool EqualsNoCase(TextView a, TextView b) { return RegistryNamesEqual(a, b); }

}  // namespace tolvane
