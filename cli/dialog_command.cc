#include "cli/dialog_command.h"

#include <memory>

#include "cli/output.h"
#include "cli/ui_language.h"

namespace tolvane::cli {

CommandOutcome DialogCommand(const CommandArgs& args, const GlobalArgs& global) {
  // Checked before the store is opened: without a window nothing is touched.
  if (const std::string reason = DialogUnavailableReason(); !reason.empty())
    return ToolErrorOutcome(reason);
  std::string error;
  std::unique_ptr<Host> host = OpenHost(global.host, true, &error);
  if (!host) return ToolErrorOutcome(error);

  // What Apply writes is saved at once, so that it survives whatever ends
  // the dialog afterwards.
  std::string saveError;
  const auto applied = [&] {
    if (saveError.empty()) host->Commit(&saveError);
  };
  const Text programList = args.programList ? Utf8ToUtf16(*args.programList) : Text();
  std::string startError;
  const std::int32_t result =
      RunAssocDialog(host->platform(), args.programList ? programList.c_str() : nullptr,
                     global.lang, global.langGiven, applied, &startError);
  if (!startError.empty()) return ToolErrorOutcome(startError);

  CommandOutcome outcome;
  outcome.report.call = "PopupFileAssocListDialog(" +
                        (args.programList ? "\"" + *args.programList + "\"" : std::string("null")) +
                        ")";
  outcome.report.result = result;
  outcome.report.meaning = "the dialog was closed (OK and Cancel are not told apart)";
  outcome.report.notifications = host->notifications();
  outcome.report.changes = host->changes();
  outcome.report.dryRun = host->dryRun();
  if (!saveError.empty() || !host->Commit(&saveError)) return ToolErrorOutcome(saveError);
  return outcome;
}

}  // namespace tolvane::cli
