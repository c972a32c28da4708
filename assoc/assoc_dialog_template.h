// Dialog template 118: its control ids, and its controls as constant data:
// what the terminal window builds its controls from, and what the template
// in the library's resources (platform/win32/assoc_dialog.rc) holds,
// control for control, in both of its languages. A test reads the
// resources against this table. The window front ends include this and
// assoc_dialog_window.h, never the dialog's logic.
#pragma once

namespace tolvane {

// Control ids of dialog template 118.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdApply = 1001;
inline constexpr int kIdSelectUnassociated = 1004;
inline constexpr int kIdViewCurrentSettings = 1005;
inline constexpr int kIdExtensionGroup = 1008;
inline constexpr int kIdStatusLine = 1009;
inline constexpr int kIdProgramCombo = 1011;
inline constexpr int kIdTemplateBox = 1100;
inline constexpr int kIdFirstBox = 1101;
// Box events answer for these ids only (at most 1000 boxes per program).
inline constexpr int kIdLastBoxEvent = 2100;
inline constexpr int kAssocDialogTemplate = 118;

// The box area is the group box shrunk by this many pixels on every side.
inline constexpr int kBoxAreaInset = 20;

// Whether id belongs to the range whose box events the dialog answers.
inline bool IsBoxEventId(int id) { return id >= kIdTemplateBox && id <= kIdLastBoxEvent; }

enum class DialogControlKind {
  kDefaultButton,
  kButton,
  kLabel,
  kCombo,
  kCheckBox,
  kGroup,
  kStatus
};

struct DialogTemplateControl {
  int id;  // -1: a label no event names
  DialogControlKind kind;
  const char16_t* english;
  const char16_t* korean;
  int x, y, width, height;  // dialog units
  bool visible;
};

// In template (and tab) order.
inline constexpr DialogTemplateControl kAssocDialogControls[] = {
    {kIdOk, DialogControlKind::kDefaultButton, u"OK(&D)", u"확인(&D)", 226, 6, 46, 19, true},
    {kIdCancel, DialogControlKind::kButton, u"Cancel", u"취소", 226, 28, 46, 19, true},
    {kIdApply, DialogControlKind::kButton, u"Apply(&A)", u"적용(&A)", 226, 50, 46, 19, true},
    {-1, DialogControlKind::kLabel, u"Program(&P):", u"프로그램(&P):", 7, 8, 41, 8, true},
    {kIdProgramCombo, DialogControlKind::kCombo, u"", u"", 51, 6, 170, 172, true},
    {kIdSelectUnassociated, DialogControlKind::kButton,
     u"Select all file extensions without association(&L)",
     u"연결된 프로그램이 없는 모든 확장자를 선택(&L)", 7, 123, 180, 19, true},
    {kIdViewCurrentSettings, DialogControlKind::kButton, u"View Current Settings(&C)",
     u"현재 설정보기(&C)", 188, 123, 85, 19, true},
    {kIdTemplateBox, DialogControlKind::kCheckBox, u".", u".", 18, 41, 44, 16, false},
    {kIdExtensionGroup, DialogControlKind::kGroup, u"File Extension To Link", u"연결할 확장자", 7,
     26, 214, 91, true},
    {kIdStatusLine, DialogControlKind::kStatus, u"", u"", 7, 151, 265, 30, true},
};

}  // namespace tolvane
