// The association dialog window of the Windows build, for callers that
// choose its language themselves (the tolvane command's --lang).
#pragma once

#include <windows.h>

#include <memory>

#include "assoc/assoc_dialog_window.h"

namespace tolvane::win32 {

// The dialog from the version of template 118 in language (Korean, or
// English for any other); MakeToolkitAssocDialogWindow leaves the choice
// to the resource loader.
std::unique_ptr<AssocDialogWindow> MakeAssocDialogWindowIn(LANGID language);

}  // namespace tolvane::win32
