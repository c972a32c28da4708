#include "cli/probe_command.h"

#include <string>

#include "cli/output.h"

namespace tolvane::cli {
namespace {

constexpr char kExport[] = "TolvaneAmIAdministrator";

// Calls the export and says what its answer means.
CommandOutcome Report(TolvaneAmIAdministratorFn answer) {
  CommandOutcome outcome;
  outcome.report.call = std::string(kExport) + "()";
  outcome.report.result = answer();
  outcome.report.meaning = outcome.report.result == 1
                               ? "the caller holds the Administrators group"
                               : "the caller does not hold the Administrators group, or the check "
                                 "failed";
  return outcome;
}

}  // namespace

CommandOutcome RunProbe() { return CallProbeExport(kExport, Report); }

}  // namespace tolvane::cli
