// The association dialog as a real Windows dialog: template 118 of the
// library's own resources (the resource loader picks the English or the
// Korean version by the user-interface language), the extension boxes
// created at run time as three-state buttons, and the dialog's messages
// turned into the logic's events.
#include <windows.h>

#include "platform/win32/win32_assoc_dialog_window.h"

#include "assoc/assoc_dialog_template.h"
#include "platform/win32/own_module.h"
#include "platform/win32/wide.h"

namespace tolvane {
namespace {

// Visible, tab stop, three states, focus notifications, and no state change
// of its own when clicked: the dialog sets every state.
constexpr DWORD kBoxStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_3STATE | BS_NOTIFY;

class Win32AssocDialogWindow final : public AssocDialogWindow, private AssocDialogView {
 public:
  // language 0: the resource loader's choice.
  explicit Win32AssocDialogWindow(LANGID language) : language_(language) {}

  AssocDialogView& view() override { return *this; }

  void RunModal(AssocDialogEvents& dialog) override {
    dialog_ = &dialog;
    const HMODULE module = win32::OwnModule();
    const auto param = reinterpret_cast<LPARAM>(this);
    if (language_ == 0) {
      ::DialogBoxParamW(module, MAKEINTRESOURCEW(kAssocDialogTemplate), ::GetActiveWindow(),
                        &DialogProc, param);
    } else if (const auto* dialogTemplate = FindTemplate(module)) {
      ::DialogBoxIndirectParamW(module, dialogTemplate, ::GetActiveWindow(), &DialogProc, param);
    }
    dialog_ = nullptr;
    window_ = nullptr;
  }

 private:
  // The template in the chosen language. A loaded resource lives as long as
  // its module: nothing to free.
  const DLGTEMPLATE* FindTemplate(HMODULE module) const {
    const HRSRC found = ::FindResourceExW(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */,
                                          MAKEINTRESOURCEW(kAssocDialogTemplate), language_);
    const HGLOBAL loaded = found != nullptr ? ::LoadResource(module, found) : nullptr;
    return loaded != nullptr ? static_cast<const DLGTEMPLATE*>(::LockResource(loaded)) : nullptr;
  }

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      ::SetWindowLongPtrW(window, DWLP_USER, lParam);
      auto* self = reinterpret_cast<Win32AssocDialogWindow*>(lParam);
      self->window_ = window;
      self->dialog_->OnInitDialog();
      return TRUE;  // the dialog manager gives the focus to the first tab stop
    }
    auto* self = reinterpret_cast<Win32AssocDialogWindow*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr || self->dialog_ == nullptr) return FALSE;
    switch (message) {
      case WM_COMMAND:
        return self->OnCommand(wParam, reinterpret_cast<HWND>(lParam));
      case WM_DESTROY:
        self->dialog_->OnDestroy();
        return FALSE;
      case WM_NCDESTROY:
        self->window_ = nullptr;
        return FALSE;
      default:
        return FALSE;
    }
  }

  INT_PTR OnCommand(WPARAM wParam, HWND control) {
    // A control's own id is read from its window: the message carries only
    // its low 16 bits.
    const int id = control != nullptr ? ::GetDlgCtrlID(control) : LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    DialogEvent event;
    if (IsBoxEventId(id)) {
      if (code == BN_CLICKED) {
        event = DialogEvent::kClicked;
      } else if (code == BN_SETFOCUS) {
        event = DialogEvent::kGainedFocus;
      } else if (code == BN_KILLFOCUS) {
        event = DialogEvent::kLostFocus;
      } else {
        return FALSE;
      }
    } else if (id == kIdProgramCombo) {
      if (code != CBN_SELCHANGE) return FALSE;
      event = DialogEvent::kSelectionChanged;
    } else if (code == BN_CLICKED) {
      event = DialogEvent::kClicked;
    } else {
      return FALSE;
    }
    switch (dialog_->HandleEvent(id, event)) {
      case DialogExit::kCloseOk:
        ::EndDialog(window_, IDOK);
        break;
      case DialogExit::kCloseCancel:
        ::EndDialog(window_, IDCANCEL);
        break;
      case DialogExit::kStayOpen:
        break;
    }
    return TRUE;
  }

  HWND Control(int id) const { return window_ != nullptr ? ::GetDlgItem(window_, id) : nullptr; }

  bool HasControl(int id) override { return Control(id) != nullptr; }

  bool ClientSize(int id, int* width, int* height) override {
    RECT rect;
    const HWND control = Control(id);
    if (control == nullptr || !::GetClientRect(control, &rect)) return false;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return true;
  }

  bool WindowRect(int id, PixelRect* rect) override {
    RECT bounds;
    const HWND control = Control(id);
    if (control == nullptr || !::GetWindowRect(control, &bounds)) return false;
    ::MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&bounds), 2);
    *rect = PixelRect{bounds.left, bounds.top, bounds.right, bounds.bottom};
    return true;
  }

  bool CreateCheckBox(int id, TextView caption, const PixelRect& rect) override {
    if (window_ == nullptr) return false;
    const std::wstring text = win32::WideCopy(caption);
    const HWND box = ::CreateWindowExW(
        0, L"BUTTON", text.c_str(), kBoxStyle, rect.left, rect.top, rect.right - rect.left,
        rect.bottom - rect.top, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window_, GWLP_HINSTANCE)), nullptr);
    if (box == nullptr) return false;
    ::SendMessageW(box, WM_SETFONT, ::SendMessageW(window_, WM_GETFONT, 0, 0), FALSE);
    return true;
  }

  void DestroyControl(int id) override {
    if (const HWND control = Control(id)) ::DestroyWindow(control);
  }

  BoxState CheckState(int id) override {
    switch (::IsDlgButtonChecked(window_, id)) {
      case BST_CHECKED:
        return BoxState::kChecked;
      case BST_INDETERMINATE:
        return BoxState::kIndeterminate;
      default:
        return BoxState::kUnchecked;
    }
  }

  void SetCheckState(int id, BoxState state) override {
    if (HasControl(id)) ::CheckDlgButton(window_, id, static_cast<UINT>(state));
  }

  void SetText(int id, TextView text) override {
    if (HasControl(id)) ::SetDlgItemTextW(window_, id, win32::WideCopy(text).c_str());
  }

  int FocusedControl() override {
    HWND focus = ::GetFocus();
    if (window_ == nullptr || focus == nullptr || !::IsChild(window_, focus)) return 0;
    // Up to the dialog's own child (the focus may sit in a control's part).
    while (::GetParent(focus) != window_) focus = ::GetParent(focus);
    return ::GetDlgCtrlID(focus);
  }

  LRESULT ComboMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND combo = Control(id);
    return combo != nullptr ? ::SendMessageW(combo, message, wParam, lParam) : CB_ERR;
  }

  void ComboReset(int id) override { ComboMessage(id, CB_RESETCONTENT, 0, 0); }

  void ComboAdd(int id, TextView item) override {
    const std::wstring text = win32::WideCopy(item);
    ComboMessage(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }

  std::size_t ComboCount(int id) override {
    const LRESULT count = ComboMessage(id, CB_GETCOUNT, 0, 0);
    return count > 0 ? static_cast<std::size_t>(count) : 0;
  }

  int ComboSelection(int id) override {
    const LRESULT selection = ComboMessage(id, CB_GETCURSEL, 0, 0);
    return selection >= 0 ? static_cast<int>(selection) : -1;
  }

  void ComboSelect(int id, std::size_t index) override {
    ComboMessage(id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }

  LANGID language_;
  AssocDialogEvents* dialog_ = nullptr;
  HWND window_ = nullptr;
};

}  // namespace

std::unique_ptr<AssocDialogWindow> MakeToolkitAssocDialogWindow() {
  return std::make_unique<Win32AssocDialogWindow>(0);
}

namespace win32 {

std::unique_ptr<AssocDialogWindow> MakeAssocDialogWindowIn(LANGID language) {
  const LANGID korean = MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN);
  return std::make_unique<Win32AssocDialogWindow>(
      PRIMARYLANGID(language) == LANG_KOREAN ? korean
                                             : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
}

}  // namespace win32
}  // namespace tolvane
