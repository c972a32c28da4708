// The shell's association-changed notification.
#pragma once

namespace tolvane {

class AssocNotifier {
 public:
  virtual ~AssocNotifier() = default;
  // Tells the shell to re-read file associations (SHCNE_ASSOCCHANGED, flags
  // 0, no items). No result; never fails visibly.
  virtual void NotifyAssocChanged() = 0;
};

}  // namespace tolvane
