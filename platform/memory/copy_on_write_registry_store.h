// A registry store layered over another that never writes to it: reads see
// the store beneath, every create, set and delete lands in an in-memory
// layer, and the store beneath stays exactly as it was. The command's dry
// runs and `verify` run the library on it, over a hive or over the system
// registry, and throw the layer away afterwards.
//
// The layer is a MemoryRegistryStore filled lazily, one key at a time: the
// first time a key is reached (opened, created, or passed through on the way
// to one), its values are copied from the store beneath and its subkeys are
// made in the layer as empty keys, to be filled in their turn when reached.
// From then on the layer alone answers for that key, so a key deleted in the
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
// here. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
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
  };

  // The place of parent\subkey; false when parent is none this store knows
  // or the path cannot name a key (the layer then gives the error).
  bool PlaceOf(RegKey parent, const char16_t* subkey, Place* place) const;
  // Fills every key from the root down to place that was not reached yet.
  ErrorCode Reach(const Place& place);
  // Reach for a key used as such: a root is filled when first used, any
  // other key was filled when its handle was opened.
  ErrorCode ReachRoot(RegKey key);
  // Copies one key's values and subkey names from beneath into the layer.
  ErrorCode Fill(RegKey root, const Text& path);
  // For a key that exists beneath: whether beneath grants `access` on it.
  ErrorCode CheckAccess(const Place& place, std::uint32_t access);

  MemoryRegistryStore layer_;
  std::set<std::pair<RegKey, Text>> reached_;  // root and folded path of each filled key
  std::map<RegKey, Place> places_;             // the place of each handle given out
};

}  // namespace tolvane
