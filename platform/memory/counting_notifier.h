// The association-changed notification of the portable build: there is no
// shell to tell, so it counts how often it was sent.
#pragma once

#include <cstddef>

#include "platform/assoc_notifier.h"

namespace tolvane {

class CountingNotifier final : public AssocNotifier {
 public:
  void NotifyAssocChanged() override { ++count_; }
  std::size_t count() const { return count_; }
  void Reset() { count_ = 0; }

 private:
  std::size_t count_ = 0;
};

}  // namespace tolvane
