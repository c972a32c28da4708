// The association dialog: the user picks one of the suite's programs and
// sees one three-state check box per file-name extension of that program.
// Checked: associate on apply (also shown when the extension already opens
// with the program); indeterminate: opens with another program; unchecked:
// opens with none. Apply only ever adds associations.
//
// The logic here knows no toolkit: it drives an AssocDialogView and is told
// of the user's actions through HandleEvent. Every registry test and write
// goes through the association operations.
//
// Program list format (the caller's only input):
//   Name=.ext:ProgID;.ext:ProgID|Name=.ext:ProgID
// read token by token as the C library's wide-string tokenizer reads it
// (skip leading delimiters, run to the next delimiter or the end).
#pragma once

#include <memory>
#include <vector>

#include "assoc/assoc_dialog_template.h"
#include "assoc/assoc_dialog_view.h"
#include "assoc/assoc_dialog_window.h"
#include "platform/platform.h"

namespace tolvane {

// The status texts (the same under every language of the dialog).
inline constexpr char16_t kStatusAssociated[] = u"현재 %s 확장자는 %s(%s%s)에 연결되어 있습니다.";
inline constexpr char16_t kStatusChange[] =
    u"%s 확장자의 연결 프로그램을 %s 에서 %s(%s)로 변경합니다.";
inline constexpr char16_t kStatusAssociateUnowned[] =
    u"아무 프로그램에도 연결하지 않은 %s 확장자를 %s(%s)에 연결합니다.";
inline constexpr char16_t kStatusForce[] =
    u"%s 형식을 사용하는 프로그램의 설치 여부를 알 수가 없습니다.\n %s 확장자를 %s에 강제로 "
    u"연결합니다.";

// One program of the list: its display name and its extension list as it
// stood in the program list.
struct ProgramEntry {
  Text strName;
  Text strExtList;
};

// A run-time check box of one extension. Owns its control: destroying the
// object destroys the control's window.
class ExtensionCheckBox {
 public:
  ExtensionCheckBox(AssocDialogView& view, int id, Text extension, Text progId)
      : m_strExt(std::move(extension)), m_strProgID(std::move(progId)), view_(view), id_(id) {}
  ~ExtensionCheckBox() { view_.DestroyControl(id_); }
  ExtensionCheckBox(const ExtensionCheckBox&) = delete;
  ExtensionCheckBox& operator=(const ExtensionCheckBox&) = delete;

  int id() const { return id_; }

  Text m_strExt;
  Text m_strProgID;

 private:
  AssocDialogView& view_;
  int id_;
};

// The drop-down list of programs, bound to control 1011 at initialisation.
class ProgramCombo {
 public:
  void Bind(AssocDialogView* view, int id) {
    view_ = view;
    id_ = id;
  }
  bool bound() const { return view_ != nullptr; }
  void ResetContent() { view_->ComboReset(id_); }
  void AddString(TextView item) { view_->ComboAdd(id_, item); }
  std::size_t GetCount() { return view_->ComboCount(id_); }
  int GetCurSel() { return view_->ComboSelection(id_); }
  void SetCurSel(std::size_t index) { view_->ComboSelect(id_, index); }

 private:
  AssocDialogView* view_ = nullptr;
  int id_ = 0;
};

class CFileExtAssocDialog final : public AssocDialogEvents {
 public:
  // programList may be null (an empty list). The view and platform are
  // borrowed for the dialog's life.
  CFileExtAssocDialog(Platform& platform, AssocDialogView& view, const char16_t* programList);
  CFileExtAssocDialog(const CFileExtAssocDialog&) = delete;
  CFileExtAssocDialog& operator=(const CFileExtAssocDialog&) = delete;

  // The window exists: binds the combo box and fills it.
  void OnInitDialog() override;
  // The window is being destroyed: frees every box.
  void OnDestroy() override;
  // Routes one event of control id by the dialog's events table.
  DialogExit HandleEvent(int id, DialogEvent event) override;

  void FillProgramCombo();
  void SelectProgram(std::size_t index);
  void BuildExtensionBoxes();
  void DestroyExtensionBoxes();
  void ShowCurrentSettings();
  void SelectUnassociated();
  void CycleExtensionBox();
  void ApplyAssociations();
  void ShowAssociationStatus(int controlId);
  void ClearAssociationStatus();

  Text m_strExtList;
  Text m_strProgramList;
  std::vector<std::unique_ptr<ExtensionCheckBox>> m_extBoxes;
  std::vector<ProgramEntry> m_programs;
  ProgramCombo m_comboPrograms;

 private:
  ExtensionCheckBox* FindBox(int id);

  Platform& platform_;
  AssocDialogView& view_;
};

}  // namespace tolvane
