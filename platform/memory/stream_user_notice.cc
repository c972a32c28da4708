#include "platform/memory/stream_user_notice.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

namespace tolvane {
namespace {

// A line to out: on a Windows console through the console's wide call
// (narrow text would go through the console's code page and come out as
// question marks), elsewhere as UTF-8 bytes.
void WriteLine(std::FILE* out, const std::string& utf8) {
#ifdef _WIN32
  const auto console = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(out)));
  DWORD mode = 0;
  if (console != INVALID_HANDLE_VALUE && ::GetConsoleMode(console, &mode)) {
    std::fflush(out);
    const Text units = Utf8ToUtf16(utf8);
    const std::wstring wide(units.begin(), units.end());
    DWORD written = 0;
    ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
#endif
  std::fputs(utf8.c_str(), out);
  std::fflush(out);
}

}  // namespace

void StreamUserNotice::ShowFailureMessage() {
  shown_.push_back(Utf16ToUtf8(FailureMessageText(language_)));
  if (!held_) ShowNotices(out_, in_, {shown_.back()}, waitForEnter_);
}

void ShowNotices(std::FILE* out, std::FILE* in, const std::vector<std::string>& texts,
                 bool waitForEnter) {
  for (const std::string& text : texts) {
    if (out != nullptr) WriteLine(out, text + (waitForEnter ? " [Enter]" : "") + "\n");
    if (!waitForEnter || in == nullptr) continue;
    for (int c = std::fgetc(in); c != EOF && c != '\n'; c = std::fgetc(in)) {
    }
  }
}

}  // namespace tolvane
