// The failure message on Windows: string 123 of the library's own string
// table in the user-interface language, in a modal message box with OK and
// the exclamation icon, captioned with the host executable's full path.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/user_notice.h"

namespace tolvane {

class Win32UserNotice final : public UserNotice {
 public:
  void ShowFailureMessage() override;
};

// String 123 of module's string table in exactly languageId; false when
// that language has no such string.
bool LoadFailureMessage(HMODULE module, std::uint16_t languageId, std::wstring* text);

}  // namespace tolvane
