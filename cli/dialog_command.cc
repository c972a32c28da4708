#include "cli/dialog_command.h"

#include <memory>

#include "assoc/assoc_dialog_window.h"
#include "assoc/file_ext_assoc_dialog.h"
#include "cli/output.h"
#include "cli/ui_language.h"

#ifdef _WIN32
#include "platform/win32/win32_assoc_dialog_window.h"
#else
#include "cli/terminal_assoc_dialog_window.h"
#endif

namespace tolvane::cli {
namespace {}  // namespace

std::string DialogHelpFooter() {
#ifdef _WIN32
  return {};
#else
  return TerminalDialogKeys();
#endif
}

CommandOutcome DialogCommand(const CommandArgs& args, const GlobalArgs& global) {
  const UiLanguage language = global.lang;
#ifndef _WIN32
  // Checked before the store is opened: without a terminal nothing is touched.
  if (const std::string reason = TerminalUnavailableReason(); !reason.empty())
    return ToolErrorOutcome(reason);
#endif
  std::string error;
  std::unique_ptr<Host> host = OpenHost(global.host, true, &error);
  if (!host) return ToolErrorOutcome(error);

  std::string saveError;
#ifdef _WIN32
  // The dialog has an English and a Korean version; --lang picks one, else
  // the resource loader does by the user-interface language.
  const std::unique_ptr<AssocDialogWindow> window =
      !global.langGiven
          ? MakeToolkitAssocDialogWindow()
          : win32::MakeAssocDialogWindowIn(language == UiLanguage::kKorean
                                               ? MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN)
                                               : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
#else
  // What Apply writes is saved at once, so that it survives whatever ends
  // the dialog afterwards.
  const auto window = TerminalAssocDialogWindow::Create(language, [&](int id, DialogEvent event) {
    if (event == DialogEvent::kClicked && (id == kIdApply || id == kIdOk) && saveError.empty()) {
      host->Commit(&saveError);
    }
  });
#endif
  const Text programList = args.programList ? Utf8ToUtf16(*args.programList) : Text();
  const std::int32_t result = PopupFileAssocListDialog(
      host->platform(), *window, args.programList ? programList.c_str() : nullptr);
#ifndef _WIN32
  if (!window->startError().empty()) return ToolErrorOutcome(window->startError());
#endif

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
