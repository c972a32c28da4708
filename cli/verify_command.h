// `tolvane verify GROUP [DIR]`: whether a group is registered as it should
// be. The group's registration runs on a copy-on-write layer over the store
// (nothing is written), and whatever it would change is a difference.
#pragma once

#include "cli/commands.h"

namespace tolvane::cli {

// Exit 0 "registered" when the registration would change nothing; exit 1
// naming every missing key, every value that differs (expected and found)
// and every key or value it would delete.
CommandOutcome VerifyCommand(const CommandArgs& args, const GlobalArgs& global);

}  // namespace tolvane::cli
