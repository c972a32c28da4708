// The dialog command's window on Windows: the system's dialog from the
// template in the command's own resources.
#include <windows.h>

#include <memory>

#include "assoc/assoc_dialog_window.h"
#include "assoc/file_ext_assoc_dialog.h"
#include "cli/dialog_command.h"
#include "platform/win32/win32_assoc_dialog_window.h"

namespace tolvane::cli {

std::string DialogHelpFooter() { return {}; }

std::string DialogUnavailableReason() { return {}; }

std::int32_t RunAssocDialog(Platform& platform, const char16_t* programList, UiLanguage language,
                            bool languageGiven, const std::function<void()>& /*applied*/,
                            std::string* startError) {
  // The dialog has an English and a Korean version; --lang picks one, else
  // the resource loader does by the user-interface language.
  const std::unique_ptr<AssocDialogWindow> window =
      !languageGiven
          ? MakeToolkitAssocDialogWindow()
          : win32::MakeAssocDialogWindowIn(language == UiLanguage::kKorean
                                               ? MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN)
                                               : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  startError->clear();
  return PopupFileAssocListDialog(platform, *window, programList);
}

}  // namespace tolvane::cli
