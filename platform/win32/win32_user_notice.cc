#include "platform/win32/win32_user_notice.h"

#include "platform/failure_message.h"
#include "platform/win32/own_module.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_process_paths.h"

namespace tolvane {

bool LoadFailureMessage(HMODULE module, std::uint16_t languageId, std::wstring* text) {
  // Strings are stored in blocks of 16: block id / 16 + 1, each entry a
  // length unit followed by that many units.
  constexpr unsigned kBlockSize = 16;
  HRSRC found = ::FindResourceExW(module, RT_STRING,
                                  MAKEINTRESOURCEW(kFailureMessageId / kBlockSize + 1), languageId);
  if (found == nullptr) return false;
  const DWORD bytes = ::SizeofResource(module, found);
  HGLOBAL loaded = ::LoadResource(module, found);
  const auto* units = static_cast<const wchar_t*>(::LockResource(loaded));
  if (units == nullptr) return false;
  const std::size_t total = bytes / sizeof(wchar_t);
  std::size_t at = 0;
  for (unsigned index = 0; at < total; ++index) {
    const std::size_t length = units[at++];
    if (length > total - at) return false;
    if (index == kFailureMessageId % kBlockSize) {
      if (length == 0) return false;
      text->assign(units + at, length);
      return true;
    }
    at += length;
  }
  return false;
}

void Win32UserNotice::ShowFailureMessage() {
  const std::uint16_t language = FailureMessageLanguage(::GetUserDefaultUILanguage());
  std::wstring text;
  if (!LoadFailureMessage(win32::OwnModule(), language, &text) &&
      !LoadFailureMessage(win32::OwnModule(), kLanguageEnglishUs, &text)) {
    text = win32::WideCopy(FailureMessageText(language));
  }
  Text caption;
  Win32ProcessPaths paths;
  if (!paths.HostExecutablePath(&caption)) caption.clear();
  ::MessageBoxW(nullptr, text.c_str(), win32::WideCopy(caption).c_str(),
                MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace tolvane
