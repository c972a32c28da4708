// The toolkit's modal window in which the association dialog runs. The
// Windows build creates it from dialog template 118 of the library's own
// resources; the tolvane command on Linux draws it in a terminal.
//
// Contract: RunModal shows the window on the calling thread and returns
// when it is closed. Once the window's controls exist it calls
// dialog.OnInitDialog(); it reports each of the user's actions through
// dialog.HandleEvent() and closes as soon as that answers a DialogExit
// other than kStayOpen; it calls dialog.OnDestroy() while the controls
// still exist. When the window cannot be created nothing of the dialog is
// called and RunModal returns at once. The view it hands out addresses the
// window's controls and lives as long as the window object.
#pragma once

#include <cstdint>
#include <memory>

#include "assoc/assoc_dialog_view.h"
#include "platform/platform.h"

namespace tolvane {

// What happened to a control, as the front ends report it.
enum class DialogEvent { kClicked, kSelectionChanged, kGainedFocus, kLostFocus };
// What the front end does after an event.
enum class DialogExit { kStayOpen, kCloseOk, kCloseCancel };

// The dialog as its window sees it: the three calls of the contract above.
class AssocDialogEvents {
 public:
  virtual ~AssocDialogEvents() = default;
  virtual void OnInitDialog() = 0;
  virtual DialogExit HandleEvent(int id, DialogEvent event) = 0;
  virtual void OnDestroy() = 0;
};

class AssocDialogWindow {
 public:
  virtual ~AssocDialogWindow() = default;
  virtual AssocDialogView& view() = 0;
  virtual void RunModal(AssocDialogEvents& dialog) = 0;
};

// The window of the build's own toolkit: on Windows the dialog of template
// 118, picked in the user-interface language; the portable library has no
// windowing toolkit, so its window can never be created.
std::unique_ptr<AssocDialogWindow> MakeToolkitAssocDialogWindow();

// Shows the association dialog for programList (null: an empty list) in
// window and returns 0 once it is closed, whether by OK or by Cancel.
std::int32_t PopupFileAssocListDialog(Platform& platform, AssocDialogWindow& window,
                                      const char16_t* programList);

}  // namespace tolvane
