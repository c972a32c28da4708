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
// counted, emptied or deleted. What has been copied is kept on a tree of
// marks beside the layer, one per key reached, so that a call on a key
// reached before costs one lookup per path component. From then on the
// layer alone answers for that key, so a key deleted in the layer stays
// deleted (its subkeys beneath never come back), and handles,
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
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

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
  // What the layer knows of one key it has reached (or listed, or deleted),
  // found from its parent by folded name. Marks are never freed while the
  // store lives, so a handle's mark stays valid after its key is deleted.
  struct Mark {
    RegKey root = kNoKey;
    Mark* parent = nullptr;  // null for a root
    TextView name;           // folded, kept by children_; empty for a root
    bool filled = false;     // the key and its values came into the layer (if beneath has it)
    bool absent = false;     // filled, and beneath has no such key (so none below it either)
    // (Keys below an absent key get no marks: their handles carry the absent
    // key's, as everything beneath them is the layer's alone; and deleting
    // an absent key hides nothing.)
    bool listed = false;        // every subkey beneath became a key of the layer
    bool gone = false;          // deleted here: nothing beneath it comes from beneath any more
    std::uint32_t granted = 0;  // writing rights beneath is known to grant
  };
  // A mark's place: its parent and its folded name. One table for every
  // mark's children; the names it holds are kept in names_.
  struct Place {
    const Mark* parent;
    TextView name;
    bool operator==(const Place&) const = default;
  };
  struct PlaceHash {
    std::size_t operator()(const Place& p) const {
      return std::hash<TextView>()(p.name) ^ (reinterpret_cast<std::uintptr_t>(p.parent) >> 4);
    }
  };
  Mark* Child(const Mark& parent, TextView folded) const;
  // A lasting copy of a folded name, for a new mark.
  TextView Keep(TextView folded);

  // The mark parent\subkey leads to, every key on the way settled (its
  // values copied the first time it is reached), parents first; null in
  // *mark when parent is none this store knows or the path cannot name a
  // key (the layer then gives the error).
  ErrorCode Reach(RegKey parent, const char16_t* subkey, Mark** mark);
  Mark* RootMark(RegKey root);
  // Reach for a key used as such: a root is settled when first used, any
  // other key was settled when its handle was opened.
  ErrorCode ReachRoot(RegKey key);
  // One key reached for the first time: unless it was deleted here, a key
  // the store beneath has comes into the layer (if its parent's subkeys
  // were not all copied already) with its values.
  ErrorCode Arrive(Mark& mark, TextView spelled);
  ErrorCode CopyRootValues(RegKey root);
  ErrorCode CopyValues(RegKey from, RegKey to);
  // Makes every subkey the store beneath has of a key (and that was not
  // deleted here) a key of the layer: before the key is enumerated,
  // counted, emptied or deleted.
  ErrorCode List(Mark& mark);
  ErrorCode ListKey(RegKey key);
  // Whether the key or one above it was deleted here.
  static bool Hidden(const Mark& mark);
  // The key's folded path below its root.
  static Text PathOf(const Mark& mark);
  // For a key that exists beneath: whether beneath grants `access` on it.
  ErrorCode CheckAccess(Mark& mark, std::uint32_t access);

  MemoryRegistryStore layer_;
  std::deque<Mark> marks_;  // every mark, roots first among them
  std::unordered_map<Place, Mark*, PlaceHash> children_;
  // The marks' names, in blocks that never move.
  std::vector<std::unique_ptr<char16_t[]>> names_;
  std::size_t namesLeft_ = 0;  // units free at the end of the last block
  std::map<RegKey, Mark*> roots_;
  // The mark of each handle given out, by its place in the layer's table.
  std::vector<Mark*> places_;
  Mark* PlaceOf(RegKey key) const;
  void Remember(RegKey key, Mark* mark);
  Text folded_;                                // a path component being looked up
  Text name_;                                  // a value name being copied, and room
  std::string data_ = std::string(256, '\0');  // its data, and room
};

}  // namespace tolvane
