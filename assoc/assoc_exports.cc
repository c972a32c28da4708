// The exported association operations: the core run on the process-wide
// platform.
#include <memory>

#include "assoc/assoc_dialog_window.h"
#include "assoc/file_ext_association.h"
#include "include/tolvane/tolvane.h"
#include "platform/platform.h"

extern "C" int32_t TOLVANE_CDECL ChangeFileExtAssociation(const TolvaneChar* extension,
                                                          const TolvaneChar* progId) {
  return tolvane::ChangeFileExtAssociation(tolvane::DefaultPlatform(),
                                           reinterpret_cast<const char16_t*>(extension),
                                           reinterpret_cast<const char16_t*>(progId));
}

extern "C" int32_t TOLVANE_CDECL SendAssocChangedNotify(void) {
  return tolvane::SendAssocChangedNotify(tolvane::DefaultPlatform());
}

extern "C" int32_t TOLVANE_CDECL PopupFileAssocListDialog(const TolvaneChar* programList) {
  const std::unique_ptr<tolvane::AssocDialogWindow> window =
      tolvane::MakeToolkitAssocDialogWindow();
  return tolvane::PopupFileAssocListDialog(tolvane::DefaultPlatform(), *window,
                                           reinterpret_cast<const char16_t*>(programList));
}
