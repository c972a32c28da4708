// The dialog command: PopupFileAssocListDialog on the command's store, in
// the terminal (Linux) or as the Windows dialog.
#pragma once

#include "cli/commands.h"

namespace tolvane::cli {

CommandOutcome DialogCommand(const CommandArgs& args, const GlobalArgs& global);

}  // namespace tolvane::cli
