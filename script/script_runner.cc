#include "script/script_runner.h"

namespace tolvane {

// The script engine is not built yet: every script run fails as
// "not implemented" rather than pretending to have registered anything.
HResult RunScriptResource(Platform& /*platform*/, const ReplacementMap& /*map*/,
                          TextView /*modulePath*/, std::uint16_t /*id*/) {
  return kENotImpl;
}

}  // namespace tolvane
