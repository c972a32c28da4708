// A registry key as plain data: what a snapshot of a store holds and what a
// hive file writes, with no handle or store behind it.
#pragma once

#include <cstdint>
#include <string>
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

}  // namespace tolvane
