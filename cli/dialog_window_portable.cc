// The dialog command's window on the portable build: the terminal.
#include <memory>

#include "assoc/file_ext_assoc_dialog.h"
#include "cli/dialog_command.h"
#include "cli/terminal_assoc_dialog_window.h"

namespace tolvane::cli {

std::string DialogHelpFooter() { return TerminalDialogKeys(); }

std::string DialogUnavailableReason() { return TerminalUnavailableReason(); }

std::int32_t RunAssocDialog(Platform& platform, const char16_t* programList, UiLanguage language,
                            bool /*languageGiven*/, const std::function<void()>& applied,
                            std::string* startError) {
  const auto window = TerminalAssocDialogWindow::Create(language, [&](int id, DialogEvent event) {
    if (event == DialogEvent::kClicked && (id == kIdApply || id == kIdOk)) applied();
  });
  const std::int32_t result = PopupFileAssocListDialog(platform, *window, programList);
  *startError = window->startError();
  return result;
}

}  // namespace tolvane::cli
