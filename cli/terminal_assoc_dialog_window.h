// The association dialog as a full-screen terminal window (ncursesw), for
// the tolvane command on Linux. It keeps the controls, ids, texts and
// geometry of template 118: a dialog unit is 2 of the window's pixels, a
// character cell 7 pixels wide and 16 high, so the dialog fills 80 columns
// by 25 lines (a title line and the client area) and the extension boxes
// fall into the same grid as on Windows.
//
// Keys: Tab and Shift+Tab move the focus in template order (the boxes
// last); Space presses the focused control (a box cycles, the program list
// takes the next program); Up and Down choose a program while the list has
// the focus; the access keys of the labels (Alt+letter, or the letter
// alone) press their buttons, and that of the program label focuses the
// list; Escape cancels; Enter is OK. The terminal is restored on every way
// out, termination signals included.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "assoc/assoc_dialog_window.h"
#include "assoc/file_ext_assoc_dialog.h"
#include "cli/ui_language.h"

namespace tolvane::cli {

// Why the dialog cannot be shown here (the process has no controlling
// terminal); empty when it can. The dialog draws on the controlling
// terminal, so the command's report may go to a file or pipe.
std::string TerminalUnavailableReason();

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
