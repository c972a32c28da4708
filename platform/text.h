// Text as the library handles it: UTF-16 code units in char16_t, the same on
// both builds (the Windows build reinterprets wchar_t at its platform edge).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvane {

using Text = std::u16string;
using TextView = std::u16string_view;

// Path and value work uses buffers of this many UTF-16 units: 259 characters
// and a terminator. A text longer than kMaxPathChars does not fit.
inline constexpr std::size_t kPathBufferUnits = 260;
inline constexpr std::size_t kMaxPathChars = kPathBufferUnits - 1;

// Length of a NUL-terminated UTF-16 text; a null pointer has length 0.
inline std::size_t TextLength(const char16_t* text) {
  if (text == nullptr) return 0;
  return std::char_traits<char16_t>::length(text);
}

// A view of a NUL-terminated text; a null pointer gives an empty view.
inline TextView ViewOf(const char16_t* text) {
  return text == nullptr ? TextView() : TextView(text, TextLength(text));
}

// True when the text is null or starts with its terminator.
inline bool IsNullOrEmpty(const char16_t* text) { return text == nullptr || text[0] == u'\0'; }

// Converts UTF-8 to UTF-16 (each byte of an ill-formed sequence becomes
// U+FFFD), and back.
Text Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(TextView utf16);
// Appends the UTF-16 form of utf8 to *out; false at the first ill-formed
// sequence (overlong, surrogate, past U+10FFFF, stray or truncated), for
// readers that refuse such text rather than repair it.
bool Utf8ToUtf16Strict(std::string_view utf8, Text* out);
// Offset of the first ill-formed sequence of utf8 (as Utf8ToUtf16Strict
// judges them), or npos when it has none.
std::size_t FindIllFormedUtf8(std::string_view utf8);

// Whole-text comparison without regard to case, as the system compares
// registry and file names: the one such comparison of the library
// (implemented with the registry's case table in registry_names.cc).
bool EqualsNoCase(TextView a, TextView b);

}  // namespace tolvane
