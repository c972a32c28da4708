// The commands of the installer entry points: register-is (RegProductIS)
// and custom-action (_RegProduct, _RegKorvo on an installer session filled
// from the command line).
#pragma once

#include "cli/commands.h"

namespace tolvane::cli {

CommandOutcome RegisterIs(const CommandArgs& args, const GlobalArgs& global);
CommandOutcome CustomAction(const CommandArgs& args, const GlobalArgs& global);

}  // namespace tolvane::cli
