#include "assoc/file_ext_assoc_dialog.h"

#include <initializer_list>

#include "assoc/assoc_dialog_window.h"
#include "assoc/file_ext_association.h"

namespace tolvane {
namespace {

// Reads tokens the way the C library's wide-string tokenizer does, with a
// delimiter set that may change from token to token: a token skips the
// delimiters of its own set, then runs to the next one (which is consumed)
// or to the end.
class WideTokenizer {
 public:
  explicit WideTokenizer(TextView text) : rest_(text) {}

  bool Next(TextView delimiters, TextView* token) {
    const std::size_t start = rest_.find_first_not_of(delimiters);
    if (start == TextView::npos) {
      rest_ = TextView();
      return false;
    }
    rest_.remove_prefix(start);
    const std::size_t end = rest_.find_first_of(delimiters);
    *token = rest_.substr(0, end);
    rest_.remove_prefix(end == TextView::npos ? rest_.size() : end + 1);
    return true;
  }

 private:
  TextView rest_;
};

// The last component of a path: file name and extension, no folders.
TextView ProgramName(TextView path) {
  const std::size_t slash = path.find_last_of(u"\\/:");
  return slash == TextView::npos ? path : path.substr(slash + 1);
}

// Replaces each "%s" of format by the next argument, in order.
Text FormatStatus(TextView format, std::initializer_list<TextView> arguments) {
  Text text;
  auto next = arguments.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's' &&
        next != arguments.end()) {
      text += *next++;
      ++i;
    } else {
      text += format[i];
    }
  }
  return text;
}

}  // namespace

CFileExtAssocDialog::CFileExtAssocDialog(Platform& platform, AssocDialogView& view,
                                         const char16_t* programList)
    : m_strProgramList(ViewOf(programList)), platform_(platform), view_(view) {}

void CFileExtAssocDialog::OnInitDialog() {
  m_comboPrograms.Bind(&view_, kIdProgramCombo);
  FillProgramCombo();
}

void CFileExtAssocDialog::OnDestroy() { DestroyExtensionBoxes(); }

DialogExit CFileExtAssocDialog::HandleEvent(int id, DialogEvent event) {
  if (IsBoxEventId(id)) {
    switch (event) {
      case DialogEvent::kGainedFocus:
        ShowAssociationStatus(id);
        break;
      case DialogEvent::kLostFocus:
        ClearAssociationStatus();
        break;
      case DialogEvent::kClicked:
        CycleExtensionBox();
        break;
      case DialogEvent::kSelectionChanged:
        break;
    }
    return DialogExit::kStayOpen;
  }
  if (id == kIdProgramCombo && event == DialogEvent::kSelectionChanged) {
    const int selection = m_comboPrograms.bound() ? m_comboPrograms.GetCurSel() : -1;
    if (selection >= 0) SelectProgram(static_cast<std::size_t>(selection));
    return DialogExit::kStayOpen;
  }
  if (event != DialogEvent::kClicked) return DialogExit::kStayOpen;
  switch (id) {
    case kIdOk:
      ApplyAssociations();
      return DialogExit::kCloseOk;
    case kIdCancel:
      return DialogExit::kCloseCancel;
    case kIdApply:
      ApplyAssociations();
      break;
    case kIdSelectUnassociated:
      SelectUnassociated();
      break;
    case kIdViewCurrentSettings:
      ShowCurrentSettings();
      break;
    default:
      break;
  }
  return DialogExit::kStayOpen;
}

void CFileExtAssocDialog::FillProgramCombo() {
  m_programs.clear();
  if (!m_comboPrograms.bound()) return;
  m_comboPrograms.ResetContent();
  if (m_strProgramList.empty()) return;
  WideTokenizer tokens(m_strProgramList);
  TextView name;
  bool found = tokens.Next(u"=", &name);
  while (found) {
    TextView extensions;
    if (!tokens.Next(u"|", &extensions)) break;
    m_programs.push_back(ProgramEntry{Text(name), Text(extensions)});
    m_comboPrograms.AddString(name);
    found = tokens.Next(u"=", &name);
  }
  SelectProgram(0);
}

void CFileExtAssocDialog::SelectProgram(std::size_t index) {
  if (!m_comboPrograms.bound() || index >= m_comboPrograms.GetCount()) return;
  // The combo box and m_programs are filled together; guard anyway against a
  // view that holds more items than the dialog put in.
  if (index >= m_programs.size()) return;
  if (m_comboPrograms.GetCurSel() != static_cast<int>(index)) m_comboPrograms.SetCurSel(index);
  m_strExtList = m_programs[index].strExtList;
  DestroyExtensionBoxes();
  BuildExtensionBoxes();
  ShowCurrentSettings();
}

void CFileExtAssocDialog::BuildExtensionBoxes() {
  int cellWidth = 0;
  int cellHeight = 0;
  PixelRect area;
  if (!view_.HasControl(kIdTemplateBox) || !view_.HasControl(kIdExtensionGroup) ||
      !view_.ClientSize(kIdTemplateBox, &cellWidth, &cellHeight) ||
      !view_.WindowRect(kIdExtensionGroup, &area)) {
    return;
  }
  area.left += kBoxAreaInset;
  area.top += kBoxAreaInset;
  area.right -= kBoxAreaInset;
  area.bottom -= kBoxAreaInset;

  PixelRect cell{area.left, area.top, area.left + cellWidth, area.top + cellHeight};
  int nextId = kIdFirstBox;
  WideTokenizer tokens(m_strExtList);
  TextView extension;
  TextView progId;
  while (tokens.Next(u":", &extension) && extension.front() == u'.' && tokens.Next(u";", &progId)) {
    const int id = nextId++;
    const bool created = view_.CreateCheckBox(id, extension, cell);
    cell.left += cellWidth;
    cell.right += cellWidth;
    if (cell.right > area.right) {
      cell = PixelRect{area.left, cell.top + cellHeight, area.left + cellWidth,
                       cell.bottom + cellHeight};
    }
    if (created) {
      m_extBoxes.push_back(
          std::make_unique<ExtensionCheckBox>(view_, id, Text(extension), Text(progId)));
    }
  }
}

void CFileExtAssocDialog::DestroyExtensionBoxes() {
  // The box leaves the array before its window goes: destroying a focused
  // control sends its focus-loss event back into the dialog at once, which
  // walks m_extBoxes.
  while (!m_extBoxes.empty()) {
    std::unique_ptr<ExtensionCheckBox> box = std::move(m_extBoxes.front());
    m_extBoxes.erase(m_extBoxes.begin());
    box.reset();
  }
}

void CFileExtAssocDialog::ShowCurrentSettings() {
  for (const auto& box : m_extBoxes) {
    Text executable;
    BoxState state = BoxState::kUnchecked;
    if (IsExtAssociatedWith(platform_, box->m_strExt.c_str(), box->m_strProgID.c_str())) {
      state = BoxState::kChecked;
    } else if (QueryOpenExecutable(platform_, box->m_strExt.c_str(), &executable)) {
      state = BoxState::kIndeterminate;
    }
    view_.SetCheckState(box->id(), state);
  }
}

void CFileExtAssocDialog::SelectUnassociated() {
  for (const auto& box : m_extBoxes) {
    Text executable;
    if (!QueryOpenExecutable(platform_, box->m_strExt.c_str(), &executable)) {
      view_.SetCheckState(box->id(), BoxState::kChecked);
    }
  }
}

void CFileExtAssocDialog::CycleExtensionBox() {
  ExtensionCheckBox* box = FindBox(view_.FocusedControl());
  if (box == nullptr) return;
  BoxState state = BoxState::kChecked;
  if (view_.CheckState(box->id()) == BoxState::kChecked &&
      !IsExtAssociatedWith(platform_, box->m_strExt.c_str(), box->m_strProgID.c_str())) {
    Text executable;
    state = QueryOpenExecutable(platform_, box->m_strExt.c_str(), &executable)
                ? BoxState::kIndeterminate
                : BoxState::kUnchecked;
  }
  view_.SetCheckState(box->id(), state);
}

void CFileExtAssocDialog::ApplyAssociations() {
  for (const auto& box : m_extBoxes) {
    const char16_t* extension = box->m_strExt.c_str();
    const char16_t* progId = box->m_strProgID.c_str();
    if (IsExtAssociatedWith(platform_, extension, progId)) continue;
    if (view_.CheckState(box->id()) != BoxState::kChecked) continue;
    if (WriteFileExtAssociation(platform_, progId, extension).ok()) {
      platform_.notifier.NotifyAssocChanged();
    }
  }
}

void CFileExtAssocDialog::ShowAssociationStatus(int controlId) {
  ExtensionCheckBox* box = FindBox(controlId);
  if (!view_.HasControl(controlId) || !view_.HasControl(kIdStatusLine) || box == nullptr) return;
  Text extensionExecutable;
  Text progIdExecutable;
  QueryOpenExecutable(platform_, box->m_strExt.c_str(), &extensionExecutable);
  QueryOpenExecutable(platform_, box->m_strProgID.c_str(), &progIdExecutable);
  const TextView extensionProgram = ProgramName(extensionExecutable);
  const TextView progIdProgram = ProgramName(progIdExecutable);
  const TextView extension = box->m_strExt;
  const TextView progId = box->m_strProgID;

  Text status;
  if (IsExtAssociatedWith(platform_, box->m_strExt.c_str(), box->m_strProgID.c_str())) {
    // File name and extension apart, as a path splitter hands them over.
    const std::size_t dot = extensionProgram.find_last_of(u'.');
    const TextView stem = extensionProgram.substr(0, dot);
    const TextView suffix = dot == TextView::npos ? TextView() : extensionProgram.substr(dot);
    status = FormatStatus(kStatusAssociated, {extension, progId, stem, suffix});
  } else if (!extensionProgram.empty() && !progIdProgram.empty()) {
    status = FormatStatus(kStatusChange, {extension, extensionProgram, progId, progIdProgram});
  } else if (!progIdProgram.empty()) {
    status = FormatStatus(kStatusAssociateUnowned, {extension, progId, progIdProgram});
  } else {
    status = FormatStatus(kStatusForce, {progId, extension, progId});
  }
  view_.SetText(kIdStatusLine, status);
}

void CFileExtAssocDialog::ClearAssociationStatus() {
  if (!view_.HasControl(kIdStatusLine)) return;
  if (FindBox(view_.FocusedControl()) == nullptr) view_.SetText(kIdStatusLine, u"");
}

ExtensionCheckBox* CFileExtAssocDialog::FindBox(int id) {
  for (const auto& box : m_extBoxes) {
    if (box->id() == id) return box.get();
  }
  return nullptr;
}

std::int32_t PopupFileAssocListDialog(Platform& platform, AssocDialogWindow& window,
                                      const char16_t* programList) {
  CFileExtAssocDialog dialog(platform, window.view(), programList);
  window.RunModal(dialog);
  return 0;
}

}  // namespace tolvane
