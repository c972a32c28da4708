#include "platform/win32/win32_text_services.h"

#include <ole2.h>
#include <windows.h>

#include <climits>

#include "platform/win32/wide.h"

namespace tolvane {

ErrorCode Win32TextServices::WidenAnsi(std::string_view bytes, Text* wide) {
  wide->clear();
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return kErrorInvalidParameter;
  const int count = static_cast<int>(bytes.size());
  // An 8-bit code page yields at most one UTF-16 unit per byte.
  std::wstring buffer(bytes.size(), L'\0');
  const int produced =
      ::MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), count, buffer.data(), count);
  if (produced == 0) {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? static_cast<ErrorCode>(error) : kErrorNoUnicodeTranslation;
  }
  *wide = win32::TextOf(buffer.data(), static_cast<std::size_t>(produced));
  return kErrorSuccess;
}

std::uint32_t Win32TextServices::TextToUInt32(const char16_t* text) {
  if (text == nullptr) return 0;
  ULONG value = 0;
  // Some headers declare the text parameter without const; it is only read.
  OLECHAR* input = const_cast<OLECHAR*>(win32::AsWide(text));
  if (FAILED(::VarUI4FromStr(input, 0, 0, &value))) return 0;
  return value;
}

}  // namespace tolvane
