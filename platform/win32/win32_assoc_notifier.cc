#include "platform/win32/win32_assoc_notifier.h"

#include <shlobj.h>
#include <windows.h>

namespace tolvane {

void Win32AssocNotifier::NotifyAssocChanged() {
  ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

}  // namespace tolvane
