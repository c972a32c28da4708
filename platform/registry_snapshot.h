// Reading whole key trees through the RegistryStore interface, for the
// command's query and export on any store (a hive file's in-memory store or
// the system registry).
#pragma once

#include <vector>

#include "platform/memory/memory_registry_store.h"  // StoredKey, StoredValue
#include "platform/registry_store.h"
#include "platform/text.h"

namespace tolvane {

// A key a tree read passed over: its path and the store's code.
struct UnreadKey {
  Text path;
  ErrorCode code;
};

// root\path and every key beneath it, depth first, parents before children,
// siblings in registry name order (as CompareRegistryNames sorts them);
// each key's values in the store's enumeration order. Paths are spelled as
// the store keeps the names. Answers 0, 2 when the key is missing, or the
// store's code for a key that cannot be read; *keys is then empty. With
// unread, a key beneath root\path that cannot be opened or listed (access
// denied, a name too long to enumerate) is passed over and named there
// instead, and the rest is read. Every key opened is closed again.
ErrorCode ReadRegistryTree(RegistryStore& store, RegKey root, TextView path,
                           std::vector<StoredKey>* keys, std::vector<UnreadKey>* unread = nullptr);

// Every root's tree in the order of the predefined roots; a root itself
// appears only when it holds values, and a root the store cannot list (one
// the platform does not have) is passed over.
ErrorCode ReadWholeRegistry(RegistryStore& store, std::vector<StoredKey>* keys,
                            std::vector<UnreadKey>* unread = nullptr);

}  // namespace tolvane
