// The command's process on Windows: the wide command line, binary standard
// streams, and consoles written in UTF-16.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>

#include "cli/process.h"
#include "cli/safe_text.h"
#include "platform/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace tolvane::cli {

void PrepareStandardStreams() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::vector<std::string> CommandLineWords(int /*argc*/, char** /*argv*/) {
  std::vector<std::string> words;
  int count = 0;
  const win32::UniqueLocalMemory list(::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (list.get() == nullptr) return words;
  const auto* wide = static_cast<const LPWSTR*>(list.get());
  for (int i = 0; i < count; ++i) {
    const wchar_t* word = wide[i];
    words.push_back(ArgumentUtf8(win32::TextOf(word, std::wcslen(word))));
  }
  return words;
}

bool CommandLineIsUtf16() { return true; }

bool WriteToConsole(std::FILE* stream, std::string_view utf8, bool* written) {
  const HANDLE handle = ::GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode)) {
    return false;
  }
  std::fflush(stream);
  const std::wstring wide = win32::WideCopy(Utf8ToUtf16(utf8));
  std::size_t done = 0;
  *written = true;
  while (done < wide.size()) {
    DWORD chunkWritten = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
    if (!::WriteConsoleW(handle, wide.data() + done, chunk, &chunkWritten, nullptr) ||
        chunkWritten == 0) {
      *written = false;
      break;
    }
    done += chunkWritten;
  }
  return true;
}

bool IsTerminal(int descriptor) {
  DWORD mode = 0;
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
  return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

}  // namespace tolvane::cli
