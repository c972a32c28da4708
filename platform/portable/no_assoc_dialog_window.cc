// The portable library has no windowing toolkit: its dialog window can
// never be created, so the export shows nothing and changes nothing. The
// tolvane command brings its own terminal window instead.
#include "assoc/assoc_dialog_window.h"

namespace tolvane {
namespace {

class NoAssocDialogWindow final : public AssocDialogWindow, private AssocDialogView {
 public:
  AssocDialogView& view() override { return *this; }
  void RunModal(AssocDialogEvents&) override {}

 private:
  bool HasControl(int) override { return false; }
  bool ClientSize(int, int*, int*) override { return false; }
  bool WindowRect(int, PixelRect*) override { return false; }
  bool CreateCheckBox(int, TextView, const PixelRect&) override { return false; }
  void DestroyControl(int) override {}
  BoxState CheckState(int) override { return BoxState::kUnchecked; }
  void SetCheckState(int, BoxState) override {}
  void SetText(int, TextView) override {}
  int FocusedControl() override { return 0; }
  void ComboReset(int) override {}
  void ComboAdd(int, TextView) override {}
  std::size_t ComboCount(int) override { return 0; }
  int ComboSelection(int) override { return -1; }
  void ComboSelect(int, std::size_t) override {}
};

}  // namespace

std::unique_ptr<AssocDialogWindow> MakeToolkitAssocDialogWindow() {
  return std::make_unique<NoAssocDialogWindow>();
}

}  // namespace tolvane
