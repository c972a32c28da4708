// The shell's association-changed notification.
#pragma once

#include "platform/assoc_notifier.h"

namespace tolvane {

class Win32AssocNotifier final : public AssocNotifier {
 public:
  void NotifyAssocChanged() override;
};

}  // namespace tolvane
