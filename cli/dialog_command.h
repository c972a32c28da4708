// The dialog command: PopupFileAssocListDialog on the command's store, in
// the terminal (Linux) or as the Windows dialog.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "cli/commands.h"
#include "cli/ui_language.h"
#include "platform/platform.h"

namespace tolvane::cli {

CommandOutcome DialogCommand(const CommandArgs& args, const GlobalArgs& global);

// The end of `dialog --help`: the terminal dialog's keys (empty on Windows,
// whose dialog is the system's own).
std::string DialogHelpFooter();

// What differs between the builds' dialogs, in a file of each build
// (dialog_window_portable.cc, dialog_window_win32.cc):
//
// Why the dialog cannot be shown here (no terminal); empty when it can.
// Asked before the store is opened, so that nothing is touched in vain.
std::string DialogUnavailableReason();

// Shows the dialog on platform and answers PopupFileAssocListDialog's
// result. The dialog is in language when languageGiven, else in the user's
// (as the build tells it). applied is told after each click on Apply or OK
// that the window reports (the terminal's does; the system's dialog not).
// *startError says why the window could not start; empty when it ran.
std::int32_t RunAssocDialog(Platform& platform, const char16_t* programList, UiLanguage language,
                            bool languageGiven, const std::function<void()>& applied,
                            std::string* startError);

}  // namespace tolvane::cli
