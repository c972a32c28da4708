// Hive operations applied to a store, one after another. Internal to
// platform/hive.
#pragma once

#include "platform/hive/hive_format.h"

namespace tolvane::hive_text {

// Applies operations one after another. The key of the last key operation
// stays open for the values after it, and for a later key operation naming
// the same key; the applier remembers which key that is, so the operation
// that named it need not outlive its turn.
class HiveApplier {
 public:
  explicit HiveApplier(RegistryStore &store) : store_(store), current_(store) {}

  // Applies op; on failure kStore (the store refused it, with its line) or
  // kMalformed (a value operation with no key to act on).
  Status Apply(const HiveOperation &op);

 private:
  RegistryStore &store_;
  ScopedKey current_;
  bool open_ = false;  // current_ holds the key root_\path_
  RegKey root_ = kNoKey;
  Text path_;
};

}  // namespace tolvane::hive_text
