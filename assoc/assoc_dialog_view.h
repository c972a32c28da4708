// What the association dialog's logic needs of the window that shows it:
// controls addressed by id, their states, texts, rectangles and the
// keyboard focus. The Windows dialog and the terminal front end each
// implement it, so one logic drives both (and the tests, through a fake).
//
// Contract: geometry is in the view's own pixels, in the dialog's client
// coordinates. A call naming an id the view does not hold does nothing and
// answers false, 0 or an empty value. A view may report an event from
// inside DestroyControl, as the Windows toolkit does when the destroyed
// control held the focus (its focus loss); it reports nothing from inside
// any other call.
#pragma once

#include <cstddef>

#include "platform/text.h"

namespace tolvane {

// The three states of a three-state check box, with the numbers the
// Windows button control uses for them.
enum class BoxState { kUnchecked = 0, kChecked = 1, kIndeterminate = 2 };

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

class AssocDialogView {
 public:
  virtual ~AssocDialogView() = default;

  virtual bool HasControl(int id) = 0;
  // The control's client area size (its width and height in pixels).
  virtual bool ClientSize(int id, int* width, int* height) = 0;
  // The control's window rectangle in the dialog's client coordinates.
  virtual bool WindowRect(int id, PixelRect* rect) = 0;

  // Creates a visible, tab-stop, three-state check box that notifies focus
  // changes and leaves its state to the dialog, with the dialog's font.
  // False when the control could not be created.
  virtual bool CreateCheckBox(int id, TextView caption, const PixelRect& rect) = 0;
  virtual void DestroyControl(int id) = 0;

  virtual BoxState CheckState(int id) = 0;
  virtual void SetCheckState(int id, BoxState state) = 0;
  virtual void SetText(int id, TextView text) = 0;
  // The id of the dialog's control that holds the keyboard focus; 0 when
  // none does.
  virtual int FocusedControl() = 0;

  // Drop-down list operations on combo box id.
  virtual void ComboReset(int id) = 0;
  virtual void ComboAdd(int id, TextView item) = 0;
  virtual std::size_t ComboCount(int id) = 0;
  // The selected item's index; -1 when nothing is selected.
  virtual int ComboSelection(int id) = 0;
  virtual void ComboSelect(int id, std::size_t index) = 0;
};

}  // namespace tolvane
