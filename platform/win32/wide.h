// The one place where the library's UTF-16 text (char16_t) meets the
// platform's (wchar_t). Both are 16-bit units on Windows, so pointers are
// reinterpreted, never converted.
#pragma once

#include <string>

#include "platform/text.h"

namespace tolvane::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected");

inline const wchar_t* AsWide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
inline wchar_t* AsWide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

// A NUL-terminated copy of a view, for calls that take C strings.
inline std::wstring WideCopy(TextView text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

// The library's text for length units of a platform string.
inline Text TextOf(const wchar_t* text, std::size_t length) {
  return Text(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace tolvane::win32
