// A registry key as plain data: what a snapshot of a store holds and what a
// hive file writes, with no handle or store behind it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace tolvane {

// A value as stored: its name (empty: the default value), type and raw bytes.
struct StoredValue {
  Text name;
  std::uint32_t type = 0;
  std::string data;
};

// One key with its full path ("HKEY_CLASSES_ROOT\.zdw") and its values.
struct StoredKey {
  Text path;
  std::vector<StoredValue> values;
};

// Receives a store's keys one at a time, in the order and shape a snapshot
// lists them, where a copy of them all is not wanted (a save writes each key
// as it is reached). The views are valid only during the call.
class StoredKeyVisitor {
 public:
  virtual ~StoredKeyVisitor() = default;
  // A key by its full path; its values follow, then the next key. False
  // stops the walk.
  virtual bool Key(TextView path) = 0;
  virtual bool Value(TextView name, std::uint32_t type, std::string_view data) = 0;
};

}  // namespace tolvane
