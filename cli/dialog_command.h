// The dialog command: PopupFileAssocListDialog on the command's store, in
// the terminal (Linux) or as the Windows dialog.
#pragma once

#include <string>

#include "cli/commands.h"

namespace tolvane::cli {

CommandOutcome DialogCommand(const CommandArgs& args, const GlobalArgs& global);

// The end of `dialog --help`: the terminal dialog's keys (empty on Windows,
// whose dialog is the system's own).
std::string DialogHelpFooter();

}  // namespace tolvane::cli
