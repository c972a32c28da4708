// An in-memory registry with the semantics of the system registry: the
// predefined roots, names compared without regard to case, the platform's
// error numbers, access rights checked against each handle, enumeration by
// index in name order. It is the portable build's registry (loaded from and
// saved to a hive file by the host) and the store beneath every unit test;
// the tests' recording and fault injection live in decorators over it
// (tests/fault_injecting_registry_store.h), not here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/memory/key_tree.h"
#include "platform/registry_store.h"
#include "platform/stored_key.h"
#include "platform/text.h"

namespace tolvane {

class MemoryRegistryStore final : public RegistryStore {
 public:
  MemoryRegistryStore();
  ~MemoryRegistryStore() override;
  MemoryRegistryStore(const MemoryRegistryStore&) = delete;
  MemoryRegistryStore& operator=(const MemoryRegistryStore&) = delete;

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

  // Keys opened or created and not yet closed.
  std::size_t OpenKeyCount() const { return openHandles_; }

  // The place in the handle table of a key this store gave out: small and
  // dense (a closed key's place is reused), so a store built on this one can
  // keep something per handle in a plain list. kNoSlot for a value no
  // handle of this store can have.
  static constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);
  static std::size_t HandleSlot(RegKey key);

  // Grows with every call that changed a key or value: a key made, a value
  // added or given other data or another type, anything deleted, Clear. A
  // write that leaves everything as it was (a value set to what it holds, a
  // create of an existing key, a delete of something missing) leaves it as
  // it was, so a caller that noted it knows whether there is anything to
  // save without comparing contents.
  std::uint64_t Revision() const { return revision_; }

  // The most units the full paths of all keys may add up to. A hive file
  // names every key by its full path, so this bounds the file and every
  // listing of the store: many deep keys (a short file can name millions
  // of levels) are refused with kErrorNotEnoughMemory rather than held.
  // kMaxPathUnits unless set; whoever fills the store from an input (a hive
  // file) sets it from the input's size, so that the cost follows the input.
  // Lowering it below what the store holds refuses only new keys.
  static constexpr std::size_t kMaxPathUnits = std::size_t{1} << 25;
  void SetPathUnitLimit(std::size_t units) { pathUnitLimit_ = units; }
  std::size_t PathUnitLimit() const { return pathUnitLimit_; }

  // Every key below the roots, depth first, parents before children,
  // siblings ordered by lower-cased name; values in the order first
  // written. A root appears only when it holds values.
  std::vector<StoredKey> Snapshot() const;
  // The same for root\path and everything beneath it; 2 when it is missing.
  ErrorCode SnapshotTree(RegKey root, TextView path, std::vector<StoredKey>* keys) const;
  // Hands visitor what Snapshot would hold, key by key, in the same order,
  // reading the keys in place. False when the visitor stopped it.
  bool VisitKeys(StoredKeyVisitor& visitor) const;

  // Removes every key and value; open handles become handles on deleted
  // keys.
  void Clear();

 private:
  // An open handle: the key it holds (kept alive even once deleted) and the
  // rights it was opened with. A free slot holds no node.
  struct Handle {
    KeyNode* node = nullptr;
    std::uint32_t access = 0;
  };

  KeyNode* RootNode(RegKey root);
  // Resolves a handle or root; null and *code set when it is not usable.
  KeyNode* Resolve(RegKey key, std::uint32_t* access, ErrorCode* code);
  RegKey NewHandle(KeyNode* node, std::uint32_t access);
  // The key subkey names beneath from, or null with *code set (2 when a
  // component is missing, or the path's own fault).
  KeyNode* Walk(KeyNode* from, const char16_t* subkey, ErrorCode* code);
  // Folds name into the scratch buffer and answers it; a name longer than
  // any stored value name has none.
  FoldedName Fold(TextView name);
  KeyNode* AddChild(KeyNode* parent, TextView name, const FoldedName& folded);
  // Deletes node's subkeys and values and marks it deleted; every subkey
  // no handle holds goes back to the arena.
  void DeleteSubtree(KeyNode& node);
  // Deletes a key no longer in its parent's list with its subtree, and gives
  // it back unless a handle holds it.
  void Drop(KeyNode* node);
  // Removes node from its parent (which it must have) and drops it.
  void Detach(KeyNode* node);
  // Visits node (when includeSelf) and its subtree; *path holds node's full
  // path and is left so.
  bool Visit(const KeyNode& node, Text* path, bool includeSelf, StoredKeyVisitor& visitor) const;

  KeyNodeArena arena_;
  std::vector<KeyNode> roots_;  // one per predefined root, never resized
  // Handle values are kFirstHandle + 4 * slot; freed slots are reused, so
  // opening and closing keys allocates nothing once the table has grown.
  std::vector<Handle> handles_;
  std::vector<std::size_t> freeSlots_;
  std::size_t openHandles_ = 0;
  std::uint64_t revision_ = 0;
  std::size_t pathUnits_ = 0;  // of every key below the roots
  std::size_t pathUnitLimit_ = kMaxPathUnits;
  std::unique_ptr<char16_t[]> folded_;  // scratch for the name being looked up
};

}  // namespace tolvane
