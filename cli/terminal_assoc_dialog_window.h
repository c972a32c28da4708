// The association dialog as a full-screen terminal window (ncursesw), for
// the tolvane command on Linux. It keeps the controls, ids, texts and
// geometry of template 118 (a dialog unit is 2 of the window's pixels): the
// dialog's logic lays the boxes out in the same grid as on Windows, and the
// screen draws that grid in character cells.
//
// The screen follows the terminal's size (at least 80 x 24, else it says
// what it needs): a wider one widens the box cells to the longest
// extension, a taller one shows more rows of boxes; the rows scroll, the
// focused box always in sight. The keys are TerminalDialogKeys(); the mouse
// clicks every control and its wheel scrolls. The terminal is restored on
// every way out, termination signals included.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "assoc/assoc_dialog_template.h"
#include "assoc/assoc_dialog_window.h"
#include "cli/ui_language.h"

namespace tolvane::cli {

// Why the dialog cannot be shown here (the process has no controlling
// terminal); empty when it can. The dialog draws on the controlling
// terminal, so the command's report may go to a file or pipe.
std::string TerminalUnavailableReason();

// The dialog's keys, as the command's help lists them.
std::string TerminalDialogKeys();

class TerminalAssocDialogWindow : public AssocDialogWindow {
 public:
  // Called after each event the dialog handled (to save applied changes
  // at once, for instance).
  using EventObserver = std::function<void(int id, DialogEvent event)>;

  // English, or Korean for kKorean (the dialog has no other language).
  static std::unique_ptr<TerminalAssocDialogWindow> Create(UiLanguage language,
                                                           EventObserver afterEvent);

  // Why the last RunModal could not start the terminal; empty when it ran.
  virtual const std::string& startError() const = 0;
};

}  // namespace tolvane::cli
