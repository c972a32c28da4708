// A registry store layered over another that never writes to it: reads see
// the store beneath, every create, set and delete lands in an in-memory
// layer, and the store beneath stays exactly as it was. The command's dry
// runs and `verify` run the library on it, over a hive or over the system
// registry, and throw the layer away afterwards.
//
// The layer is a MemoryRegistryStore filled lazily, one key at a time: the
// first time a key is reached (opened, created, or passed through on the way
// to one), it and its values are copied from the store beneath; its subkeys
// are copied (as keys still to be filled) only when it is enumerated,
// counted, emptied or deleted. From then on the layer alone answers for that
// key, so a key deleted in the
// layer stays deleted (its subkeys beneath never come back), and handles,
// access rights, enumeration order and error numbers are the in-memory
// store's, which keeps to the system registry's. The store beneath is only
// opened for reading, and for an existing key also with the rights a caller
// asks for, so a key the caller may not write is refused here as it would be
// there.
//
// Every handle this store gives out is one of the layer's. Roots are shared
// by name only: on the system registry HKEY_CLASSES_ROOT is a view of two
// other keys, and a write through one of them is not seen through the others
// here. A key copied into the layer because a path passed through it keeps
// the spelling of that path, which differs from the store beneath only in
// case, and only when the caller's does. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "platform/forwarding_registry_store.h"
#include "platform/memory/memory_registry_store.h"
#include "platform/text.h"

namespace tolvane {

class CopyOnWriteRegistryStore final : public ForwardingRegistryStore {
 public:
  // beneath is borrowed, only read, and must outlive this store.
  explicit CopyOnWriteRegistryStore(RegistryStore& beneath) : ForwardingRegistryStore(beneath) {}

  ErrorCode OpenKey(RegKey parent, const char16_t* subkey, std::uint32_t access,
                    RegKey* result) override;
  ErrorCode CreateKey(RegKey parent, const char16_t* subkey, std::uint32_t access, RegKey* result,
                      bool* created) override;
  ErrorCode QueryValue(RegKey key, const char16_t* name, std::uint32_t* type, void* data,
                       std::uint32_t* byteCount) override;
  ErrorCode SetValue(RegKey key, const char16_t* name, std::uint32_t type, const void* data,
                     std::uint32_t byteCount) override;
  ErrorCode DeleteValue(RegKey key, const char16_t* name) override;
  ErrorCode DeleteKey(RegKey parent, const char16_t* subkey) override;
  ErrorCode DeleteTree(RegKey parent, const char16_t* subkey) override;
  ErrorCode EnumKey(RegKey key, std::uint32_t index, char16_t* name,
                    std::uint32_t* nameUnits) override;
  ErrorCode EnumValue(RegKey key, std::uint32_t index, char16_t* name, std::uint32_t* nameUnits,
                      std::uint32_t* type, void* data, std::uint32_t* byteCount) override;
  ErrorCode QueryInfoKey(RegKey key, std::uint32_t* subkeyCount,
                         std::uint32_t* valueCount) override;
  ErrorCode CloseKey(RegKey key) override;

  // Keys opened or created through this store and not yet closed.
  std::size_t OpenKeyCount() const { return layer_.OpenKeyCount(); }

  // The layer: every key reached so far with what it holds now.
  const MemoryRegistryStore& layer() const { return layer_; }

 private:
  // Where a key lives: its root and its path below it, folded, with single
  // backslashes between the components.
  struct Place {
    RegKey root = kNoKey;
    Text path;
    Text spelled;  // the same path as the caller spelt it
  };

  // The place of parent\subkey; false when parent is none this store knows
  // or the path cannot name a key (the layer then gives the error).
  bool PlaceOf(RegKey parent, const char16_t* subkey, Place* place) const;
  // Settles every key from the root down to place that was not settled
  // yet (Arrive), parents first.
  ErrorCode Reach(const Place& place);
  // Reach for a key used as such: a root is settled when first used, any
  // other key was settled when its handle was opened.
  ErrorCode ReachRoot(RegKey key);
  // One key reached for the first time: unless it was deleted here, a key
  // the store beneath has comes into the layer (if its parent's subkeys
  // were not all copied already) with its values.
  ErrorCode Arrive(RegKey root, const Text& path, TextView spelled);
  ErrorCode CopyValues(RegKey root, const Text& path);
  // Makes every subkey the store beneath has of a key (and that was not
  // deleted here) a key of the layer: before the key is enumerated, counted,
  // emptied or deleted.
  ErrorCode List(RegKey root, const Text& path);
  ErrorCode ListKey(RegKey key);
  // Whether root\path or a key above it was deleted here: nothing beneath
  // it comes from the store beneath any more.
  bool Gone(RegKey root, const Text& path) const;
  // For a key that exists beneath: whether beneath grants `access` on it.
  ErrorCode CheckAccess(const Place& place, std::uint32_t access);

  MemoryRegistryStore layer_;
  // Keys by root and folded path: settled, with every subkey listed, and
  // deleted in the layer.
  std::set<std::pair<RegKey, Text>> filled_;
  std::set<std::pair<RegKey, Text>> listed_;
  std::set<std::pair<RegKey, Text>> gone_;
  Text name_;                                  // a value name being copied, and room
  std::string data_ = std::string(256, '\0');  // its data, and room
  std::map<RegKey, Place> places_;             // the place of each handle given out
};

}  // namespace tolvane
